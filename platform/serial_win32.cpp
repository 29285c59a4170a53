// The Win32 serial communication services behind the component's own names: the calls go to
// the system as they are, with a table in between that maps the component's handles and
// OVERLAPPED records onto native ones.
//
// - A device or an event of the component is a number of ours (never reused), so a stale handle
//   fails with ERROR_INVALID_HANDLE instead of reaching an object the system has reused it for.
// - The component's OVERLAPPED may move or be read while a request goes on; the system's must
//   stay put. So every transfer gets a native OVERLAPPED of its own, kept with the event it
//   signals until the request has ended (a wait for the event, or GetOverlappedResult, copies the
//   outcome into the component's record); closing the event first cancels a request still going.
// - WaitCommEvent and the wait for it or the stop event are one call here. A wait cancelled by the
//   stop event stays pending with the device (the system owns its record) and is taken up by the
//   next wait; SetCommMask ends it, as on Windows, with an empty event set.
// - A device that fails the event wait outright (a USB adapter pulled out) is reported once as
//   EV_ERR with CE_IOE, as the POSIX layer reports a hang-up; the thread then waits only for its
//   stop event instead of spinning on a wait that fails at once.
#include "platform/SerialServices.h"

namespace platform {
namespace {
// The component's names for what windows.h defines as macros, taken before it is included, so
// that neither shadows the other below (their values are the same).
constexpr HANDLE kInvalidHandle = INVALID_HANDLE_VALUE;
constexpr DWORD kWaitObject0 = WAIT_OBJECT_0;
constexpr DWORD kWaitTimeout = WAIT_TIMEOUT;
constexpr DWORD kWaitFailed = WAIT_FAILED;
constexpr DWORD kErrorInvalidHandle = ERROR_INVALID_HANDLE;
constexpr DWORD kErrorInvalidParameter = ERROR_INVALID_PARAMETER;
constexpr DWORD kErrorIoPending = ERROR_IO_PENDING;
constexpr DWORD kErrorIoIncomplete = ERROR_IO_INCOMPLETE;
constexpr DWORD kErrorFileNotFound = ERROR_FILE_NOT_FOUND;
constexpr DWORD kErrorDeviceNotConnected = ERROR_DEVICE_NOT_CONNECTED;
constexpr DWORD kCeIoe = CE_IOE;
constexpr DWORD kEvErr = EV_ERR;
} // namespace
} // namespace platform

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <variant>

// The system's invalid handle, taken outside our namespace, whose HANDLE is another type.
static const ::HANDLE kNativeInvalid = INVALID_HANDLE_VALUE;

namespace platform {

namespace {

// The one place where the system's error codes become the component's: they are Windows codes
// already; only the many ways a removed device shows are folded into one that the device link
// recognises as "gone".
platform::DWORD FromSystem(::DWORD error) {
    switch (error) {
    case ERROR_BAD_COMMAND:      // a USB serial driver whose device was removed
    case ERROR_DEV_NOT_EXIST:    // the network or device no longer exists
    case 433: // ERROR_NO_SUCH_DEVICE (not in every windows.h)
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
        return kErrorDeviceNotConnected;
    case ERROR_PATH_NOT_FOUND: // "\\.\COMn" of a port that does not exist
        return kErrorFileNotFound;
    default:
        return static_cast<platform::DWORD>(error);
    }
}

thread_local platform::DWORD tLastError = 0;

bool Fail(platform::DWORD code) {
    tLastError = code;
    return false;
}
bool FailSystem() {
    return Fail(FromSystem(::GetLastError()));
}

// One transfer under way: the native record the system fills, and the component's to copy the
// outcome into.
struct Transfer {
    ::HANDLE Device = nullptr;
    ::OVERLAPPED Native{};
    platform::OVERLAPPED* Mine = nullptr;
};

struct Event {
    explicit Event(::HANDLE h) : Native(h) {}
    ~Event() {
        Cancel();
        ::CloseHandle(Native);
    }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Ends a transfer still going on (its buffer is about to go away) and drops it.
    void Cancel() {
        if (!Pending) return;
        ::DWORD n = 0;
        ::CancelIoEx(Pending->Device, &Pending->Native);
        ::GetOverlappedResult(Pending->Device, &Pending->Native, &n, TRUE);
        Pending.reset();
    }

    // Copies the outcome of the attached transfer into the component's record, when it has
    // ended (or, with `wait`, once it has). False while it goes on.
    bool Finish(bool wait) {
        if (!Pending) return true;
        ::DWORD n = 0;
        platform::DWORD status = 0;
        if (!::GetOverlappedResult(Pending->Device, &Pending->Native, &n, wait ? TRUE : FALSE)) {
            const ::DWORD error = ::GetLastError();
            if (error == ERROR_IO_INCOMPLETE) return false;
            status = FromSystem(error);
        }
        Pending->Mine->Internal = status;
        Pending->Mine->InternalHigh = n;
        Pending.reset();
        return true;
    }

    const ::HANDLE Native;
    std::mutex M;
    std::unique_ptr<Transfer> Pending;
};

struct Device {
    explicit Device(::HANDLE h) : Native(h) { WaitRecord.hEvent = ::CreateEventW(nullptr, TRUE, TRUE, nullptr); }
    ~Device() {
        if (WaitPending) {
            ::DWORD n = 0;
            ::CancelIoEx(Native, &WaitRecord);
            ::GetOverlappedResult(Native, &WaitRecord, &n, TRUE);
        }
        ::CloseHandle(Native);
        if (WaitRecord.hEvent) ::CloseHandle(WaitRecord.hEvent);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    const ::HANDLE Native;
    // The event wait's own record and mask variable: the system writes them until it ends.
    ::OVERLAPPED WaitRecord{};
    ::DWORD WaitMask = 0;
    bool WaitPending = false; // only the event thread touches these three

    std::mutex M;
    bool Gone = false;          // the event wait failed outright: the device went away
    platform::DWORD GoneErrors = 0; // CE_IOE until ClearCommError has reported it
};

class Win32Services final : public ISerialServices {
public:
    platform::DWORD GetLastError() override { return tLastError; }
    void SetLastError(platform::DWORD code) override { tLastError = code; }

    platform::HANDLE CreateFileA(const std::string& fileName) override {
        const ::HANDLE h = ::CreateFileA(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_OVERLAPPED, nullptr);
        if (h == kNativeInvalid) {
            FailSystem();
            return kInvalidHandle;
        }
        return Add(std::make_shared<Device>(h));
    }

    bool CloseHandle(platform::HANDLE handle) override {
        std::lock_guard lock(FMutex);
        // The object goes when its last user lets it go (a wait on another thread may hold it).
        return FObjects.erase(handle) == 1 || Fail(kErrorInvalidHandle);
    }

    bool SetupComm(platform::HANDLE device, platform::DWORD inQueue, platform::DWORD outQueue) override {
        auto d = Dev(device);
        return d && (::SetupComm(d->Native, inQueue, outQueue) || FailSystem());
    }

    bool SetCommState(platform::HANDLE device, const platform::DCB& dcb) override {
        auto d = Dev(device);
        if (!d) return false;
        ::DCB n{};
        n.DCBlength = sizeof n;
        n.BaudRate = dcb.BaudRate;
        n.fBinary = dcb.fBinary;
        n.fParity = dcb.fParity;
        n.fOutxCtsFlow = dcb.fOutxCtsFlow;
        n.fOutxDsrFlow = dcb.fOutxDsrFlow;
        n.fDtrControl = dcb.fDtrControl;
        n.fDsrSensitivity = dcb.fDsrSensitivity;
        n.fTXContinueOnXoff = dcb.fTXContinueOnXoff;
        n.fOutX = dcb.fOutX;
        n.fInX = dcb.fInX;
        n.fErrorChar = dcb.fErrorChar;
        n.fNull = dcb.fNull;
        n.fRtsControl = dcb.fRtsControl;
        n.fAbortOnError = dcb.fAbortOnError;
        n.XonLim = dcb.XonLim;
        n.XoffLim = dcb.XoffLim;
        n.ByteSize = dcb.ByteSize;
        n.Parity = dcb.Parity;
        n.StopBits = dcb.StopBits;
        n.XonChar = dcb.XonChar;
        n.XoffChar = dcb.XoffChar;
        n.ErrorChar = dcb.ErrorChar;
        n.EofChar = dcb.EofChar;
        n.EvtChar = dcb.EvtChar;
        return ::SetCommState(d->Native, &n) || FailSystem();
    }

    bool GetCommState(platform::HANDLE device, platform::DCB& dcb) override {
        auto d = Dev(device);
        if (!d) return false;
        ::DCB n{};
        n.DCBlength = sizeof n;
        if (!::GetCommState(d->Native, &n)) return FailSystem();
        dcb = platform::DCB{};
        dcb.DCBlength = n.DCBlength;
        dcb.BaudRate = n.BaudRate;
        dcb.fBinary = n.fBinary;
        dcb.fParity = n.fParity;
        dcb.fOutxCtsFlow = n.fOutxCtsFlow;
        dcb.fOutxDsrFlow = n.fOutxDsrFlow;
        dcb.fDtrControl = n.fDtrControl;
        dcb.fDsrSensitivity = n.fDsrSensitivity;
        dcb.fTXContinueOnXoff = n.fTXContinueOnXoff;
        dcb.fOutX = n.fOutX;
        dcb.fInX = n.fInX;
        dcb.fErrorChar = n.fErrorChar;
        dcb.fNull = n.fNull;
        dcb.fRtsControl = n.fRtsControl;
        dcb.fAbortOnError = n.fAbortOnError;
        dcb.XonLim = n.XonLim;
        dcb.XoffLim = n.XoffLim;
        dcb.ByteSize = n.ByteSize;
        dcb.Parity = n.Parity;
        dcb.StopBits = n.StopBits;
        dcb.XonChar = n.XonChar;
        dcb.XoffChar = n.XoffChar;
        dcb.ErrorChar = n.ErrorChar;
        dcb.EofChar = n.EofChar;
        dcb.EvtChar = n.EvtChar;
        return true;
    }

    bool SetCommTimeouts(platform::HANDLE device, const platform::COMMTIMEOUTS& t) override {
        auto d = Dev(device);
        if (!d) return false;
        ::COMMTIMEOUTS n{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                         t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
        return ::SetCommTimeouts(d->Native, &n) || FailSystem();
    }

    bool GetCommTimeouts(platform::HANDLE device, platform::COMMTIMEOUTS& t) override {
        auto d = Dev(device);
        if (!d) return false;
        ::COMMTIMEOUTS n{};
        if (!::GetCommTimeouts(d->Native, &n)) return FailSystem();
        t = {n.ReadIntervalTimeout, n.ReadTotalTimeoutMultiplier, n.ReadTotalTimeoutConstant,
             n.WriteTotalTimeoutMultiplier, n.WriteTotalTimeoutConstant};
        return true;
    }

    bool SetCommMask(platform::HANDLE device, platform::DWORD mask) override {
        auto d = Dev(device);
        return d && (::SetCommMask(d->Native, mask) || FailSystem());
    }

    platform::DWORD WaitCommEvent(platform::HANDLE device, platform::DWORD& events, platform::HANDLE cancel) override {
        events = 0;
        auto d = Dev(device);
        auto stop = Find<Event>(cancel);
        if (!d || !stop) {
            tLastError = kErrorInvalidHandle;
            return kWaitFailed;
        }
        bool gone = false;
        {
            std::lock_guard lock(d->M);
            gone = d->Gone;
        }
        if (gone) {
            // Reported already: nothing more comes from this device; wait for the stop.
            if (::WaitForSingleObject(stop->Native, INFINITE) == WAIT_OBJECT_0) return kWaitObject0;
            FailSystem();
            return kWaitFailed;
        }
        if (!d->WaitPending) {
            ::ResetEvent(d->WaitRecord.hEvent);
            d->WaitMask = 0;
            if (::WaitCommEvent(d->Native, &d->WaitMask, &d->WaitRecord)) {
                events = d->WaitMask;
                return kWaitObject0 + 1;
            }
            const ::DWORD error = ::GetLastError();
            if (error != ERROR_IO_PENDING) return Lost(*d, events);
            d->WaitPending = true;
        }
        const ::HANDLE handles[2] = {stop->Native, d->WaitRecord.hEvent};
        const ::DWORD woke = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0) return kWaitObject0; // the wait stays pending
        if (woke != WAIT_OBJECT_0 + 1) {
            FailSystem();
            return kWaitFailed;
        }
        d->WaitPending = false;
        ::DWORD n = 0;
        if (!::GetOverlappedResult(d->Native, &d->WaitRecord, &n, FALSE)) return Lost(*d, events);
        events = d->WaitMask;
        return kWaitObject0 + 1;
    }

    bool ReadFile(platform::HANDLE device, void* buffer, platform::DWORD count, platform::DWORD& done,
                  platform::OVERLAPPED& overlapped) override {
        return Start(device, overlapped, done, [&](::HANDLE h, ::DWORD& n, ::OVERLAPPED* o) {
            return ::ReadFile(h, buffer, count, &n, o);
        });
    }

    bool WriteFile(platform::HANDLE device, const void* buffer, platform::DWORD count, platform::DWORD& done,
                   platform::OVERLAPPED& overlapped) override {
        return Start(device, overlapped, done, [&](::HANDLE h, ::DWORD& n, ::OVERLAPPED* o) {
            return ::WriteFile(h, buffer, count, &n, o);
        });
    }

    bool GetOverlappedResult(platform::HANDLE /*device*/, platform::OVERLAPPED& overlapped, platform::DWORD& done,
                             bool wait) override {
        done = 0;
        auto ev = Find<Event>(overlapped.hEvent);
        if (!ev) return Fail(kErrorInvalidHandle);
        {
            std::lock_guard lock(ev->M);
            if (!ev->Finish(wait)) return Fail(kErrorIoIncomplete);
        }
        done = static_cast<platform::DWORD>(overlapped.InternalHigh);
        if (overlapped.Internal != 0) return Fail(static_cast<platform::DWORD>(overlapped.Internal));
        return true;
    }

    bool ClearCommError(platform::HANDLE device, platform::DWORD& errors, platform::COMSTAT* stat) override {
        errors = 0;
        auto d = Dev(device);
        if (!d) return false;
        {
            std::lock_guard lock(d->M);
            if (d->Gone) {
                // The device is gone: its hang-up once, then nothing.
                errors = d->GoneErrors;
                d->GoneErrors = 0;
                if (stat) *stat = platform::COMSTAT{};
                return true;
            }
        }
        ::DWORD e = 0;
        ::COMSTAT s{};
        if (!::ClearCommError(d->Native, &e, &s)) return FailSystem();
        errors = e;
        if (stat) {
            stat->cbInQue = s.cbInQue;
            stat->cbOutQue = s.cbOutQue;
        }
        return true;
    }

    bool GetCommModemStatus(platform::HANDLE device, platform::DWORD& modemStat) override {
        modemStat = 0;
        auto d = Dev(device);
        if (!d) return false;
        ::DWORD s = 0;
        if (!::GetCommModemStatus(d->Native, &s)) return FailSystem();
        modemStat = s;
        return true;
    }

    bool PurgeComm(platform::HANDLE device, platform::DWORD flags) override {
        auto d = Dev(device);
        return d && (::PurgeComm(d->Native, flags) || FailSystem());
    }

    bool EscapeCommFunction(platform::HANDLE device, platform::DWORD function) override {
        auto d = Dev(device);
        return d && (::EscapeCommFunction(d->Native, function) || FailSystem());
    }

    platform::HANDLE CreateEventA(bool manualReset, bool initialState) override {
        const ::HANDLE h = ::CreateEventW(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr);
        if (!h) {
            FailSystem();
            return kInvalidHandle;
        }
        return Add(std::make_shared<Event>(h));
    }

    bool SetEvent(platform::HANDLE event) override {
        auto ev = Find<Event>(event);
        if (!ev) return Fail(kErrorInvalidHandle);
        return ::SetEvent(ev->Native) || FailSystem();
    }

    bool ResetEvent(platform::HANDLE event) override {
        auto ev = Find<Event>(event);
        if (!ev) return Fail(kErrorInvalidHandle);
        return ::ResetEvent(ev->Native) || FailSystem();
    }

    platform::DWORD WaitForSingleObject(platform::HANDLE event, platform::DWORD milliseconds) override {
        auto ev = Find<Event>(event);
        if (!ev) {
            tLastError = kErrorInvalidHandle;
            return kWaitFailed;
        }
        const ::DWORD r = ::WaitForSingleObject(ev->Native, milliseconds);
        if (r == WAIT_OBJECT_0) {
            std::lock_guard lock(ev->M);
            ev->Finish(false);
            return kWaitObject0;
        }
        if (r == WAIT_TIMEOUT) return kWaitTimeout;
        FailSystem();
        return kWaitFailed;
    }

private:
    using Object = std::variant<std::shared_ptr<Device>, std::shared_ptr<Event>>;

    platform::HANDLE Add(Object object) {
        std::lock_guard lock(FMutex);
        const platform::HANDLE h = FNext++;
        FObjects.emplace(h, std::move(object));
        return h;
    }
    template <typename T> std::shared_ptr<T> Find(platform::HANDLE h) {
        std::lock_guard lock(FMutex);
        const auto it = FObjects.find(h);
        if (it == FObjects.end()) return nullptr;
        if (auto* p = std::get_if<std::shared_ptr<T>>(&it->second)) return *p;
        return nullptr;
    }
    std::shared_ptr<Device> Dev(platform::HANDLE h) {
        auto d = Find<Device>(h);
        if (!d) tLastError = kErrorInvalidHandle;
        return d;
    }

    // The event wait failed outright: the device went away. Reported once, as a line error.
    platform::DWORD Lost(Device& d, platform::DWORD& events) {
        std::lock_guard lock(d.M);
        d.Gone = true;
        d.GoneErrors |= kCeIoe;
        events = kEvErr;
        return kWaitObject0 + 1;
    }

    // ReadFile and WriteFile: a native record of the transfer's own is attached to the event of
    // the component's OVERLAPPED, replacing (and first ending) an earlier one.
    template <class Call>
    bool Start(platform::HANDLE device, platform::OVERLAPPED& overlapped, platform::DWORD& done, Call call) {
        done = 0;
        auto d = Dev(device);
        if (!d) return false;
        auto ev = Find<Event>(overlapped.hEvent);
        if (!ev) return Fail(kErrorInvalidParameter);
        std::lock_guard lock(ev->M);
        ev->Cancel();
        auto t = std::make_unique<Transfer>();
        t->Device = d->Native;
        t->Native.hEvent = ev->Native;
        t->Mine = &overlapped;
        overlapped.Internal = kErrorIoPending;
        overlapped.InternalHigh = 0;
        ::DWORD n = 0;
        if (call(d->Native, n, &t->Native)) {
            // Completed at once (the event is signalled too).
            overlapped.Internal = 0;
            overlapped.InternalHigh = n;
            done = n;
            return true;
        }
        const ::DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            overlapped.Internal = FromSystem(error);
            return Fail(FromSystem(error));
        }
        ev->Pending = std::move(t);
        return Fail(kErrorIoPending);
    }

    std::mutex FMutex;
    std::map<platform::HANDLE, Object> FObjects;
    platform::HANDLE FNext = 0x1000;
};

} // namespace

std::shared_ptr<ISerialServices> SystemSerialServices() {
    static const std::shared_ptr<ISerialServices> services = std::make_shared<Win32Services>();
    return services;
}

} // namespace platform
