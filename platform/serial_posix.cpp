// Stands in, on Linux, for the Win32 serial communication services (CreateFileA, SetCommState,
// WaitCommEvent, overlapped ReadFile/WriteFile, ...) with termios2, poll, eventfd and ioctls.
//
// How the Windows behaviour is reached:
// - The receive queue is ours: whoever calls in (the event wait, a read, a queue query) first
//   moves what the kernel holds into it, up to the queue size of SetupComm. Arrivals into it
//   raise EV_RXCHAR, EV_RXFLAG (the event character) and EV_RX80FULL exactly once, as the
//   Windows driver does; the kernel keeps what does not fit. Zero bytes are dropped here when
//   the DCB asks for it; parity/framing errors and breaks are read from the kernel's byte marks
//   (PARMRK), so a bad byte can be replaced with the error character.
// - Overlapped requests start without blocking and, when they cannot finish at once, are
//   carried on by whoever waits for their event (WaitForSingleObject, GetOverlappedResult).
// - The line is set with ioctl(TCSETS2) and BOTHER, so any rate works and a pseudo-terminal's
//   coercion of the character format cannot fail the call; mark and space parity use CMSPAR.
// - The device is opened O_NONBLOCK with VMIN=1: an empty read is EAGAIN, never a false end of
//   file. Exclusive: an advisory lock (which also holds against ourselves and root) plus
//   TIOCEXCL, cleared again with TIOCNXCL before closing, as the flag outlives the descriptor.
// - Before closing, pending output is discarded, so a stuck line cannot hold close() for the
//   driver's closing timeout.
// - Modem lines are sampled every 50 ms while a wait asks for their events; pseudo-terminals
//   have none (ENOTTY): all lines read off and line control does nothing.
// - A hang-up (the device gone, the pty's other side closed) is reported once as EV_ERR with
//   CE_IOE; the descriptor is not polled again, so the wait sleeps until it is cancelled.
#include "platform/ProgramDir.h"
#include "platform/SerialServices.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <variant>

namespace platform {

DWORD WinErrorFromErrno(int err) {
    switch (err) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
    case ENXIO:
    case ENODEV:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EAGAIN:
        return ERROR_ACCESS_DENIED;
    case EINVAL:
    case ENOTTY:
    case ERANGE:
        return ERROR_INVALID_PARAMETER;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EIO:
    case EPIPE:
        return ERROR_IO_DEVICE;
    case ETIMEDOUT:
        return ERROR_TIMEOUT;
    case ECANCELED:
        return ERROR_OPERATION_ABORTED;
    case EOPNOTSUPP:
        return ERROR_NOT_SUPPORTED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

namespace {

using Clock = std::chrono::steady_clock;

thread_local DWORD tLastError = 0;

bool Fail(DWORD code) {
    tLastError = code;
    return false;
}
bool FailErrno() {
    return Fail(WinErrorFromErrno(errno));
}

// How often modem lines and kernel error counters are sampled while a wait asks for them, and
// how often an unfinished transfer looks at the queue the event wait may have filled.
constexpr int kSampleMs = 50;
constexpr int kTransferSliceMs = 20;
constexpr int kTxEmptySampleMs = 10;

// The longest time limit a transfer keeps. The all-ones limits (a timeout of -1) times a byte
// count reach beyond what the clock can add without overflowing, and mean no practical limit.
constexpr std::uint64_t kLongestLimitMs = std::uint64_t{1} << 40; // about 35 years

Clock::time_point After(Clock::time_point from, std::uint64_t ms) {
    return from + std::chrono::milliseconds(static_cast<std::int64_t>(std::min(ms, kLongestLimitMs)));
}

// Milliseconds from `now` until `end`, rounded up, but at most `cap`.
int MsUntil(Clock::time_point end, Clock::time_point now, int cap) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
    return static_cast<int>(std::min<std::int64_t>(cap, left));
}

struct Device {
    explicit Device(int f) : fd(f) {}
    ~Device() {
        if (wakeFd >= 0) ::close(wakeFd);
        if (fd >= 0) {
            // TIOCEXCL outlives the descriptor; output still queued would hold close() for the
            // driver's closing timeout on a stuck line.
            ::ioctl(fd, TIOCNXCL);
            ::ioctl(fd, TCFLSH, TCOFLUSH);
            ::close(fd); // also releases the advisory lock
        }
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    const int fd;
    int wakeFd = -1; // wakes a wait: new mask, data written, queue room freed

    std::mutex m;
    std::deque<char> rx;
    DWORD inQueue = 4096;
    DCB dcb;
    COMMTIMEOUTS timeouts;
    DWORD mask = 0;
    unsigned maskGeneration = 0;
    DWORD events = 0; // raised and not yet reported
    DWORD errors = 0; // CE_ flags pending for ClearCommError
    bool hungUp = false;
    bool modemLines = true; // false: the device has none (a pseudo-terminal)
    DWORD lastModem = 0;
    bool countersKnown = false;
    serial_icounter_struct counters{};
    bool txPending = false;
    bool waiting = false; // a WaitCommEvent sleeps in poll
    unsigned abortGeneration = 0;
    bool rx80Raised = false;
    int markState = 0; // progress through a PARMRK mark: 0 none, 1 after \377, 2 after \377\0

    void Wake() {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto r = ::write(wakeFd, &one, sizeof one);
    }

    void AddByte(char c) {
        if (dcb.fNull && c == 0) return;
        rx.push_back(c);
        events |= EV_RXCHAR;
        if (dcb.EvtChar == c) events |= EV_RXFLAG;
        if (!rx80Raised && rx.size() * 5 >= static_cast<std::size_t>(inQueue) * 4) {
            rx80Raised = true;
            events |= EV_RX80FULL;
        }
    }

    // A byte the kernel marked as received with a parity or framing error.
    void AddBadByte(char c) {
        errors |= CE_RXPARITY;
        events |= EV_ERR;
        AddByte(dcb.fErrorChar ? dcb.ErrorChar : c);
    }

    void Parse(const char* data, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            const char c = data[i];
            switch (markState) {
            case 0:
                if (c == '\377')
                    markState = 1;
                else
                    AddByte(c);
                break;
            case 1:
                if (c == '\377') {
                    AddByte(c);
                    markState = 0;
                } else if (c == 0) {
                    markState = 2;
                } else { // cannot happen with PARMRK; keep the bytes
                    AddByte('\377');
                    AddByte(c);
                    markState = 0;
                }
                break;
            default:
                if (c == 0) {
                    errors |= CE_BREAK;
                    events |= EV_BREAK;
                } else {
                    AddBadByte(c);
                }
                markState = 0;
                break;
            }
        }
    }

    void HangUp() {
        if (hungUp) return;
        hungUp = true;
        errors |= CE_IOE;
        events |= EV_ERR;
    }

    // Moves what the kernel holds into the receive queue (caller holds m).
    void Drain() {
        if (hungUp) return;
        char buf[512];
        while (rx.size() < inQueue) {
            const std::size_t room = std::min(sizeof buf, static_cast<std::size_t>(inQueue) - rx.size());
            const ssize_t n = ::read(fd, buf, room);
            if (n > 0) {
                Parse(buf, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) break;
            HangUp(); // EIO after a hang-up, or an end of file
            break;
        }
        WakeWaiter();
    }

    // Bytes or line changes that another thread found must reach a wait that sleeps in poll:
    // the kernel has nothing left to wake it with.
    void WakeWaiter() {
        if (waiting && (events & mask)) Wake();
    }

    std::size_t Take(char* out, std::size_t n) {
        const std::size_t k = std::min(n, rx.size());
        std::copy_n(rx.begin(), k, out);
        rx.erase(rx.begin(), rx.begin() + static_cast<std::ptrdiff_t>(k));
        if (rx.size() * 5 < static_cast<std::size_t>(inQueue) * 4) rx80Raised = false;
        if (k > 0) Wake(); // room for what the kernel still holds
        return k;
    }

    // Samples modem lines and kernel error counters into events (caller holds m).
    void Sample() {
        if (hungUp) return;
        if (modemLines) {
            int bits = 0;
            if (::ioctl(fd, TIOCMGET, &bits) == 0) {
                DWORD now = 0;
                if (bits & TIOCM_CTS) now |= MS_CTS_ON;
                if (bits & TIOCM_DSR) now |= MS_DSR_ON;
                if (bits & TIOCM_RI) now |= MS_RING_ON;
                if (bits & TIOCM_CD) now |= MS_RLSD_ON;
                const DWORD changed = now ^ lastModem;
                if (changed & MS_CTS_ON) events |= EV_CTS;
                if (changed & MS_DSR_ON) events |= EV_DSR;
                if (changed & MS_RLSD_ON) events |= EV_RLSD;
                if ((changed & MS_RING_ON) && (now & MS_RING_ON)) events |= EV_RING;
                lastModem = now;
            } else if (errno == ENOTTY) {
                modemLines = false;
            }
        }
        serial_icounter_struct c{};
        if (::ioctl(fd, TIOCGICOUNT, &c) == 0) {
            if (countersKnown) {
                DWORD e = 0;
                if (c.frame != counters.frame) e |= CE_FRAME;
                if (c.parity != counters.parity && dcb.fParity) e |= CE_RXPARITY;
                if (c.overrun != counters.overrun) e |= CE_OVERRUN;
                if (c.buf_overrun != counters.buf_overrun) e |= CE_RXOVER;
                if (c.brk != counters.brk) {
                    e |= CE_BREAK;
                    events |= EV_BREAK;
                }
                if (e & ~CE_BREAK) events |= EV_ERR;
                errors |= e;
            }
            counters = c;
            countersKnown = true;
        }
        WakeWaiter();
    }
};

struct Pending {
    std::shared_ptr<Device> dev;
    OVERLAPPED* ov = nullptr;
    bool write = false;
    char* rbuf = nullptr;
    const char* wbuf = nullptr;
    std::size_t count = 0;
    std::size_t moved = 0;
    bool hasDeadline = false;
    Clock::time_point deadline{};
    DWORD interval = 0; // read: the longest gap between bytes (0: none)
    Clock::time_point lastByte{};
    unsigned abortGeneration = 0;
    bool firstByteOnly = false; // read: return as soon as anything arrived
};

struct Event {
    explicit Event(int f) : fd(f) {}
    ~Event() {
        delete pending;
        ::close(fd);
    }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    const int fd;
    std::mutex m;
    Pending* pending = nullptr; // owned; the transfer its waiters carry on
};

void Signal(int fd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto r = ::write(fd, &one, sizeof one);
}

void Clear(int fd) {
    std::uint64_t v = 0;
    while (::read(fd, &v, sizeof v) > 0) {
    }
}

class PosixServices final : public ISerialServices {
public:
    DWORD GetLastError() override { return tLastError; }
    void SetLastError(DWORD code) override { tLastError = code; }

    HANDLE CreateFileA(const std::string& fileName) override;
    bool CloseHandle(HANDLE handle) override;
    bool SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) override;
    bool SetCommState(HANDLE device, const DCB& dcb) override;
    bool GetCommState(HANDLE device, DCB& dcb) override;
    bool SetCommTimeouts(HANDLE device, const COMMTIMEOUTS& timeouts) override;
    bool GetCommTimeouts(HANDLE device, COMMTIMEOUTS& timeouts) override;
    bool SetCommMask(HANDLE device, DWORD mask) override;
    DWORD WaitCommEvent(HANDLE device, DWORD& events, HANDLE cancel) override;
    bool ReadFile(HANDLE device, void* buffer, DWORD count, DWORD& done, OVERLAPPED& overlapped) override;
    bool WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD& done,
                   OVERLAPPED& overlapped) override;
    bool GetOverlappedResult(HANDLE device, OVERLAPPED& overlapped, DWORD& done, bool wait) override;
    bool ClearCommError(HANDLE device, DWORD& errors, COMSTAT* stat) override;
    bool GetCommModemStatus(HANDLE device, DWORD& modemStat) override;
    bool PurgeComm(HANDLE device, DWORD flags) override;
    bool EscapeCommFunction(HANDLE device, DWORD function) override;
    HANDLE CreateEventA(bool manualReset, bool initialState) override;
    bool SetEvent(HANDLE event) override;
    bool ResetEvent(HANDLE event) override;
    DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds) override;

private:
    using Object = std::variant<std::shared_ptr<Device>, std::shared_ptr<Event>>;

    HANDLE Add(Object object) {
        std::lock_guard lock(FMutex);
        const HANDLE h = FNext++;
        FObjects.emplace(h, std::move(object));
        return h;
    }
    template <typename T> std::shared_ptr<T> Find(HANDLE h) {
        std::lock_guard lock(FMutex);
        const auto it = FObjects.find(h);
        if (it == FObjects.end()) return nullptr;
        if (auto* p = std::get_if<std::shared_ptr<T>>(&it->second)) return *p;
        return nullptr;
    }
    std::shared_ptr<Device> Dev(HANDLE h) {
        auto d = Find<Device>(h);
        if (!d) tLastError = ERROR_INVALID_HANDLE;
        return d;
    }

    // Carries a transfer on: with `block`, until it ends; without, as far as it can at once.
    // True when it has ended (its OVERLAPPED then holds the outcome and its event is set).
    static bool Drive(Pending& p, int eventFd, bool block);
    static void Complete(Pending& p, int eventFd, DWORD status);
    // Attaches a transfer to its event (replacing any earlier one) or clears it.
    void Attach(HANDLE event, Pending* pending);
    // The start ReadFile and WriteFile share: finds the device and the OVERLAPPED's event,
    // drops the event's earlier transfer and clears its signal, marks the OVERLAPPED pending and
    // makes the new transfer of `count` bytes. Null (last error set) when a handle is wrong.
    std::unique_ptr<Pending> BeginTransfer(HANDLE device, OVERLAPPED& overlapped, DWORD count,
                                           std::shared_ptr<Event>& ev);

    std::mutex FMutex;
    HANDLE FNext = 0x100;
    std::map<HANDLE, Object> FObjects;
};

// Where a Windows device name leads: COMn to the dosdevices link next to the program when one
// exists (even a dangling one: that is "file not found", never real hardware), else to
// /dev/ttyS<n-1>; a path given as such is taken as it is.
std::string DevicePath(std::string name) {
    if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
    if (!name.empty() && name[0] == '/') return name;
    if (name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
        (name[2] == 'M' || name[2] == 'm')) {
        const std::string digits = name.substr(3);
        if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
            digits.size() < 6 && digits[0] != '0') {
            const int n = std::stoi(digits);
            const auto link = ProgramDir() / "dosdevices" / ("com" + digits);
            struct stat st {};
            if (::lstat(link.c_str(), &st) == 0) return link.string();
            return "/dev/ttyS" + std::to_string(n - 1);
        }
    }
    return {};
}

HANDLE PosixServices::CreateFileA(const std::string& fileName) {
    const std::string path = DevicePath(fileName);
    if (path.empty()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // A device node with no hardware behind it is a missing device.
        Fail(errno == EIO ? ERROR_FILE_NOT_FOUND : WinErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) {
        ::close(fd);
        Fail(ERROR_INVALID_FUNCTION); // not a serial device
        return INVALID_HANDLE_VALUE;
    }
    // The lock holds against every opener, ourselves and root included; TIOCEXCL also keeps
    // out programs that do not lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        Fail(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    auto dev = std::make_shared<Device>(fd);
    if (::ioctl(fd, TIOCEXCL) != 0) {
        FailErrno();
        return INVALID_HANDLE_VALUE;
    }
    dev->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (dev->wakeFd < 0) {
        FailErrno();
        return INVALID_HANDLE_VALUE;
    }
    // Raw from the start: no echo, no line editing, VMIN=1 so an empty read is EAGAIN.
    tio.c_iflag = PARMRK;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::ioctl(fd, TCSETS2, &tio) != 0) {
        FailErrno();
        return INVALID_HANDLE_VALUE;
    }
    dev->dcb.BaudRate = tio.c_ospeed;
    int bits = 0;
    if (::ioctl(fd, TIOCMGET, &bits) != 0 && errno == ENOTTY) dev->modemLines = false;
    return Add(dev);
}

bool PosixServices::CloseHandle(HANDLE handle) {
    Object object;
    {
        std::lock_guard lock(FMutex);
        const auto it = FObjects.find(handle);
        if (it == FObjects.end()) return Fail(ERROR_INVALID_HANDLE);
        object = std::move(it->second);
        FObjects.erase(it);
    }
    if (auto* ev = std::get_if<std::shared_ptr<Event>>(&object)) {
        std::lock_guard lock((*ev)->m);
        delete (*ev)->pending;
        (*ev)->pending = nullptr;
    }
    // The device closes when the last user lets go of it (normally right here).
    return true;
}

bool PosixServices::SetupComm(HANDLE device, DWORD inQueue, DWORD /*outQueue*/) {
    auto dev = Dev(device);
    if (!dev) return false;
    std::lock_guard lock(dev->m);
    // The kernel's own buffers carry the output; the input size bounds our receive queue.
    dev->inQueue = std::max<DWORD>(inQueue, 16);
    dev->Wake();
    return true;
}

bool PosixServices::SetCommState(HANDLE device, const DCB& dcb) {
    auto dev = Dev(device);
    if (!dev) return false;
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS || dcb.fDtrControl > DTR_CONTROL_HANDSHAKE ||
        dcb.fRtsControl > RTS_CONTROL_TOGGLE || ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar))
        return Fail(ERROR_INVALID_PARAMETER);

    std::lock_guard lock(dev->m);
    termios2 tio{};
    if (::ioctl(dev->fd, TCGETS2, &tio) != 0) return FailErrno();
    tio.c_iflag = PARMRK;
    if (dcb.fParity) tio.c_iflag |= INPCK;
    if (dcb.fOutX) tio.c_iflag |= IXON;
    if (dcb.fInX) tio.c_iflag |= IXOFF;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tcflag_t c = CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    c |= kSizes[dcb.ByteSize - 5];
    if (dcb.StopBits != ONESTOPBIT) c |= CSTOPB; // one and a half is what CSTOPB gives with 5 bits
    switch (dcb.Parity) {
    case ODDPARITY:
        c |= PARENB | PARODD;
        break;
    case EVENPARITY:
        c |= PARENB;
        break;
    case MARKPARITY:
        c |= PARENB | PARODD | CMSPAR;
        break;
    case SPACEPARITY:
        c |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) c |= CRTSCTS;
    tio.c_cflag = c;
    tio.c_ispeed = dcb.BaudRate;
    tio.c_ospeed = dcb.BaudRate;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    if (::ioctl(dev->fd, TCSETS2, &tio) != 0) return FailErrno();
    // Read back: a pseudo-terminal may coerce the format (accepted), but a UART that cannot
    // make the rate must not pass silently.
    termios2 back{};
    if (::ioctl(dev->fd, TCGETS2, &back) != 0) return FailErrno();
    // (A device with modem lines is a real UART; a pseudo-terminal has none.)
    if (dev->modemLines && back.c_ospeed != 0) {
        const double ratio = static_cast<double>(back.c_ospeed) / static_cast<double>(dcb.BaudRate);
        if (ratio < 0.97 || ratio > 1.03) return Fail(ERROR_INVALID_PARAMETER);
    }
    // DTR and RTS follow their control fields, as SetCommState does on Windows. Handshake and
    // toggle have no termios meaning beyond CRTSCTS; the line is raised for them.
    if (dev->modemLines) {
        int dtr = TIOCM_DTR;
        int rts = TIOCM_RTS;
        if (::ioctl(dev->fd, dcb.fDtrControl == DTR_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &dtr) != 0 &&
            errno != ENOTTY)
            return FailErrno();
        if (dcb.fRtsControl != RTS_CONTROL_HANDSHAKE &&
            ::ioctl(dev->fd, dcb.fRtsControl == RTS_CONTROL_DISABLE ? TIOCMBIC : TIOCMBIS, &rts) != 0 &&
            errno != ENOTTY)
            return FailErrno();
    }
    dev->dcb = dcb;
    return true;
}

bool PosixServices::GetCommState(HANDLE device, DCB& dcb) {
    auto dev = Dev(device);
    if (!dev) return false;
    std::lock_guard lock(dev->m);
    dcb = dev->dcb;
    return true;
}

bool PosixServices::SetCommTimeouts(HANDLE device, const COMMTIMEOUTS& timeouts) {
    auto dev = Dev(device);
    if (!dev) return false;
    std::lock_guard lock(dev->m);
    dev->timeouts = timeouts;
    return true;
}

bool PosixServices::GetCommTimeouts(HANDLE device, COMMTIMEOUTS& timeouts) {
    auto dev = Dev(device);
    if (!dev) return false;
    std::lock_guard lock(dev->m);
    timeouts = dev->timeouts;
    return true;
}

bool PosixServices::SetCommMask(HANDLE device, DWORD mask) {
    auto dev = Dev(device);
    if (!dev) return false;
    std::lock_guard lock(dev->m);
    dev->mask = mask;
    dev->events = 0;
    ++dev->maskGeneration;
    // A fresh baseline, so lines that are already on are no change.
    dev->Sample();
    dev->events = 0;
    dev->Wake();
    return true;
}

DWORD PosixServices::WaitCommEvent(HANDLE device, DWORD& events, HANDLE cancel) {
    events = 0;
    auto dev = Dev(device);
    auto stop = Find<Event>(cancel);
    if (!dev || !stop) {
        tLastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    unsigned generation = 0;
    {
        std::lock_guard lock(dev->m);
        generation = dev->maskGeneration;
    }
    for (;;) {
        pollfd fds[3] = {{stop->fd, POLLIN, 0}, {dev->wakeFd, POLLIN, 0}, {dev->fd, POLLIN, 0}};
        nfds_t nfds = 2;
        int timeout = -1;
        {
            std::lock_guard lock(dev->m);
            dev->waiting = false;
            if (dev->maskGeneration != generation) return WAIT_OBJECT_0 + 1; // new mask: nothing
            dev->Drain();
            const DWORD ready = dev->events & dev->mask;
            if (ready) {
                events = ready;
                dev->events &= ~ready;
                return WAIT_OBJECT_0 + 1;
            }
            if (!dev->hungUp) {
                if (dev->rx.size() < dev->inQueue) nfds = 3;
                const bool lines = dev->modemLines && (dev->mask & (EV_CTS | EV_DSR | EV_RLSD | EV_RING));
                const bool counters = dev->countersKnown && (dev->mask & (EV_ERR | EV_BREAK));
                if (lines || counters) timeout = kSampleMs;
                if (dev->txPending && (dev->mask & EV_TXEMPTY)) {
                    int queued = 0;
                    if (::ioctl(dev->fd, TIOCOUTQ, &queued) != 0 || queued == 0) {
                        dev->txPending = false;
                        dev->events |= EV_TXEMPTY;
                        continue;
                    }
                    timeout = timeout < 0 ? kTxEmptySampleMs : std::min(timeout, kTxEmptySampleMs);
                }
            }
            dev->waiting = true;
        }
        const int r = ::poll(fds, nfds, timeout);
        if (r < 0) {
            if (errno == EINTR) continue;
            FailErrno();
            return WAIT_FAILED;
        }
        if (fds[0].revents) {
            std::lock_guard lock(dev->m);
            dev->waiting = false;
            return WAIT_OBJECT_0;
        }
        if (fds[1].revents) Clear(dev->wakeFd);
        std::lock_guard lock(dev->m);
        if (nfds == 3 && (fds[2].revents & (POLLHUP | POLLERR | POLLNVAL))) {
            // Whatever is still readable goes into the queue first; then the device is done.
            dev->Drain();
            dev->HangUp();
        }
        if (r == 0) dev->Sample();
    }
}

void PosixServices::Complete(Pending& p, int eventFd, DWORD status) {
    p.ov->Internal = status;
    p.ov->InternalHigh = p.moved;
    Signal(eventFd);
}

bool PosixServices::Drive(Pending& p, int eventFd, bool block) {
    Device& dev = *p.dev;
    for (;;) {
        int waitMs = kTransferSliceMs;
        {
            std::lock_guard lock(dev.m);
            if (dev.abortGeneration != p.abortGeneration) {
                Complete(p, eventFd, ERROR_OPERATION_ABORTED);
                return true;
            }
            if (p.write) {
                while (p.moved < p.count) {
                    const ssize_t n = ::write(dev.fd, p.wbuf + p.moved, p.count - p.moved);
                    if (n > 0) {
                        p.moved += static_cast<std::size_t>(n);
                        dev.txPending = true;
                        dev.Wake();
                        continue;
                    }
                    if (n < 0 && errno == EINTR) continue;
                    if (n < 0 && errno == EAGAIN) break;
                    dev.HangUp();
                    Complete(p, eventFd, WinErrorFromErrno(n < 0 ? errno : EIO));
                    return true;
                }
                if (p.moved == p.count) {
                    Complete(p, eventFd, 0);
                    return true;
                }
            } else {
                dev.Drain();
                const std::size_t k = dev.Take(p.rbuf + p.moved, p.count - p.moved);
                if (k > 0) p.lastByte = Clock::now();
                p.moved += k;
                if (p.moved == p.count || (p.firstByteOnly && p.moved > 0)) {
                    Complete(p, eventFd, 0);
                    return true;
                }
                if (dev.hungUp) {
                    Complete(p, eventFd, p.moved > 0 ? 0 : ERROR_IO_DEVICE);
                    return true;
                }
                if (p.interval > 0 && p.moved > 0) {
                    const auto gapEnd = After(p.lastByte, p.interval);
                    const auto now = Clock::now();
                    if (now >= gapEnd) {
                        Complete(p, eventFd, 0);
                        return true;
                    }
                    waitMs = MsUntil(gapEnd, now, waitMs);
                }
            }
            if (p.hasDeadline) {
                const auto now = Clock::now();
                // A limit that ran out ends the transfer with what was moved: no failure.
                if (now >= p.deadline) {
                    Complete(p, eventFd, 0);
                    return true;
                }
                waitMs = MsUntil(p.deadline, now, waitMs);
            }
        }
        if (!block) return false;
        pollfd fd{dev.fd, static_cast<short>(p.write ? POLLOUT : POLLIN), 0};
        ::poll(&fd, 1, std::max(waitMs, 1));
    }
}

void PosixServices::Attach(HANDLE event, Pending* pending) {
    auto ev = Find<Event>(event);
    if (!ev) {
        delete pending;
        return;
    }
    std::lock_guard lock(ev->m);
    delete ev->pending;
    ev->pending = pending;
}

std::unique_ptr<Pending> PosixServices::BeginTransfer(HANDLE device, OVERLAPPED& overlapped, DWORD count,
                                                      std::shared_ptr<Event>& ev) {
    auto dev = Dev(device);
    if (!dev) return nullptr;
    ev = Find<Event>(overlapped.hEvent);
    if (!ev) {
        tLastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    Attach(overlapped.hEvent, nullptr);
    Clear(ev->fd);
    overlapped.Internal = ERROR_IO_PENDING;
    overlapped.InternalHigh = 0;

    auto p = std::make_unique<Pending>();
    p->dev = std::move(dev);
    p->ov = &overlapped;
    p->count = count;
    return p;
}

bool PosixServices::ReadFile(HANDLE device, void* buffer, DWORD count, DWORD& done, OVERLAPPED& overlapped) {
    done = 0;
    std::shared_ptr<Event> ev;
    auto p = BeginTransfer(device, overlapped, count, ev);
    if (!p) return false;
    p->rbuf = static_cast<char*>(buffer);
    Device* const dev = p->dev.get();
    COMMTIMEOUTS t;
    {
        std::lock_guard lock(dev->m);
        t = dev->timeouts;
        p->abortGeneration = dev->abortGeneration;
        dev->Drain();
        p->moved = dev->Take(p->rbuf, count);
        if (p->moved == 0 && dev->hungUp) return Fail(ERROR_IO_DEVICE);
    }
    const bool immediate = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                           t.ReadTotalTimeoutConstant == 0;
    if (immediate || p->moved == count) {
        Complete(*p, ev->fd, 0);
        done = static_cast<DWORD>(p->moved);
        return true;
    }
    const auto now = Clock::now();
    p->lastByte = now;
    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD) {
        // Windows' "return at once with anything, else wait up to the constant for one byte".
        if (p->moved > 0) {
            Complete(*p, ev->fd, 0);
            done = static_cast<DWORD>(p->moved);
            return true;
        }
        p->firstByteOnly = true;
        p->hasDeadline = true;
        p->deadline = After(now, t.ReadTotalTimeoutConstant);
    } else {
        const std::uint64_t total =
            static_cast<std::uint64_t>(t.ReadTotalTimeoutMultiplier) * count + t.ReadTotalTimeoutConstant;
        p->hasDeadline = total > 0;
        p->deadline = After(now, total);
        p->interval = t.ReadIntervalTimeout == MAXDWORD ? 0 : t.ReadIntervalTimeout;
    }
    Attach(overlapped.hEvent, p.release());
    return Fail(ERROR_IO_PENDING);
}

bool PosixServices::WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD& done,
                              OVERLAPPED& overlapped) {
    done = 0;
    std::shared_ptr<Event> ev;
    auto p = BeginTransfer(device, overlapped, count, ev);
    if (!p) return false;
    p->write = true;
    p->wbuf = static_cast<const char*>(buffer);
    Device* const dev = p->dev.get();
    COMMTIMEOUTS t;
    {
        std::lock_guard lock(dev->m);
        if (dev->hungUp) return Fail(ERROR_IO_DEVICE);
        t = dev->timeouts;
        p->abortGeneration = dev->abortGeneration;
    }
    const std::uint64_t total =
        static_cast<std::uint64_t>(t.WriteTotalTimeoutMultiplier) * count + t.WriteTotalTimeoutConstant;
    p->hasDeadline = total > 0;
    p->deadline = After(Clock::now(), total);
    if (Drive(*p, ev->fd, false)) {
        done = static_cast<DWORD>(p->moved);
        if (p->ov->Internal != 0) return Fail(static_cast<DWORD>(p->ov->Internal));
        return true;
    }
    Attach(overlapped.hEvent, p.release());
    return Fail(ERROR_IO_PENDING);
}

DWORD PosixServices::WaitForSingleObject(HANDLE event, DWORD milliseconds) {
    auto ev = Find<Event>(event);
    if (!ev) {
        tLastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    {
        // A transfer attached to the event is carried on by its waiter.
        std::lock_guard lock(ev->m);
        if (ev->pending) {
            if (Drive(*ev->pending, ev->fd, milliseconds != 0)) {
                delete ev->pending;
                ev->pending = nullptr;
            }
        }
    }
    pollfd p{ev->fd, POLLIN, 0};
    for (;;) {
        const int r = ::poll(&p, 1, milliseconds == INFINITE ? -1 : static_cast<int>(milliseconds));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            FailErrno();
            return WAIT_FAILED;
        }
        return r == 0 ? WAIT_TIMEOUT : WAIT_OBJECT_0;
    }
}

bool PosixServices::GetOverlappedResult(HANDLE /*device*/, OVERLAPPED& overlapped, DWORD& done, bool wait) {
    done = 0;
    auto ev = Find<Event>(overlapped.hEvent);
    if (!ev) return Fail(ERROR_INVALID_HANDLE);
    if (WaitForSingleObject(overlapped.hEvent, wait ? INFINITE : 0) != WAIT_OBJECT_0)
        return Fail(ERROR_IO_INCOMPLETE);
    done = static_cast<DWORD>(overlapped.InternalHigh);
    if (overlapped.Internal != 0) return Fail(static_cast<DWORD>(overlapped.Internal));
    return true;
}

bool PosixServices::ClearCommError(HANDLE device, DWORD& errors, COMSTAT* stat) {
    errors = 0;
    auto dev = Dev(device);
    if (!dev) return false;
    std::lock_guard lock(dev->m);
    dev->Drain();
    dev->Sample();
    errors = dev->errors;
    dev->errors = 0;
    if (stat) {
        stat->cbInQue = static_cast<DWORD>(dev->rx.size());
        int queued = 0;
        stat->cbOutQue =
            (!dev->hungUp && ::ioctl(dev->fd, TIOCOUTQ, &queued) == 0) ? static_cast<DWORD>(queued) : 0;
    }
    return true;
}

bool PosixServices::GetCommModemStatus(HANDLE device, DWORD& modemStat) {
    modemStat = 0;
    auto dev = Dev(device);
    if (!dev) return false;
    int bits = 0;
    if (::ioctl(dev->fd, TIOCMGET, &bits) != 0) {
        if (errno == ENOTTY) return true; // a pseudo-terminal: no lines, all off
        return FailErrno();
    }
    if (bits & TIOCM_CTS) modemStat |= MS_CTS_ON;
    if (bits & TIOCM_DSR) modemStat |= MS_DSR_ON;
    if (bits & TIOCM_RI) modemStat |= MS_RING_ON;
    if (bits & TIOCM_CD) modemStat |= MS_RLSD_ON;
    return true;
}

bool PosixServices::PurgeComm(HANDLE device, DWORD flags) {
    auto dev = Dev(device);
    if (!dev) return false;
    if (flags & ~(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR))
        return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(dev->m);
    // Pending transfers end, when next carried on, as aborted.
    if (flags & (PURGE_TXABORT | PURGE_RXABORT)) ++dev->abortGeneration;
    // A device that hung up has nothing left to discard.
    if (dev->hungUp) {
        if (flags & PURGE_RXCLEAR) dev->rx.clear();
        return true;
    }
    if (flags & PURGE_TXCLEAR) {
        if (::ioctl(dev->fd, TCFLSH, TCOFLUSH) != 0) return FailErrno();
        dev->txPending = false;
    }
    if (flags & PURGE_RXCLEAR) {
        if (::ioctl(dev->fd, TCFLSH, TCIFLUSH) != 0) return FailErrno();
        dev->rx.clear();
        dev->markState = 0;
        dev->rx80Raised = false;
        dev->Wake();
    }
    return true;
}

bool PosixServices::EscapeCommFunction(HANDLE device, DWORD function) {
    auto dev = Dev(device);
    if (!dev) return false;
    int request = 0;
    int bits = 0;
    switch (function) {
    case SETDTR:
        request = TIOCMBIS, bits = TIOCM_DTR;
        break;
    case CLRDTR:
        request = TIOCMBIC, bits = TIOCM_DTR;
        break;
    case SETRTS:
        request = TIOCMBIS, bits = TIOCM_RTS;
        break;
    case CLRRTS:
        request = TIOCMBIC, bits = TIOCM_RTS;
        break;
    case SETBREAK:
        if (::ioctl(dev->fd, TIOCSBRK) != 0) return FailErrno();
        return true;
    case CLRBREAK:
        if (::ioctl(dev->fd, TIOCCBRK) != 0) return FailErrno();
        return true;
    case SETXOFF:
        if (::ioctl(dev->fd, TCXONC, TCOOFF) != 0) return FailErrno();
        return true;
    case SETXON:
        if (::ioctl(dev->fd, TCXONC, TCOON) != 0) return FailErrno();
        return true;
    default:
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (::ioctl(dev->fd, static_cast<unsigned long>(request), &bits) != 0) {
        if (errno == ENOTTY) return true; // a pseudo-terminal has no lines to drive
        return FailErrno();
    }
    return true;
}

HANDLE PosixServices::CreateEventA(bool /*manualReset*/, bool initialState) {
    const int fd = ::eventfd(initialState ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
        FailErrno();
        return INVALID_HANDLE_VALUE;
    }
    return Add(std::make_shared<Event>(fd));
}

bool PosixServices::SetEvent(HANDLE event) {
    auto ev = Find<Event>(event);
    if (!ev) return Fail(ERROR_INVALID_HANDLE);
    Signal(ev->fd);
    return true;
}

bool PosixServices::ResetEvent(HANDLE event) {
    auto ev = Find<Event>(event);
    if (!ev) return Fail(ERROR_INVALID_HANDLE);
    Clear(ev->fd);
    return true;
}

} // namespace

std::shared_ptr<ISerialServices> SystemSerialServices() {
    static const std::shared_ptr<ISerialServices> services = std::make_shared<PosixServices>();
    return services;
}

} // namespace platform
