#pragma once
// An in-memory serial device layer for tests: devices exist by name, received bytes and line
// events are injected by the test, and any call can be told to fail with a chosen Windows
// error, so every failure path of the port component can be reached without hardware.
#include "platform/SerialServices.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

enum class Call {
    CreateFileA,
    CloseHandle,
    SetupComm,
    SetCommState,
    GetCommState,
    SetCommTimeouts,
    GetCommTimeouts,
    SetCommMask,
    WaitCommEvent,
    ReadFile,
    WriteFile,
    GetOverlappedResult,
    ClearCommError,
    GetCommModemStatus,
    PurgeComm,
    EscapeCommFunction,
    CreateEventA,
    SetEvent,
    ResetEvent,
    WaitForSingleObject
};
const char* CallName(Call call);

class FakeSerialServices : public platform::ISerialServices {
public:
    using DWORD = platform::DWORD;
    using HANDLE = platform::HANDLE;

    // A device that CreateFileA can open, by its name without the "\\.\" prefix ("COM3").
    void AddDevice(const std::string& name);
    // The next `times` calls of `call` fail with `error` (times < 0: every call from now on).
    void FailNext(Call call, DWORD error, int times = 1);
    void ClearFailures();
    // From now on reads and writes do not complete at once: they pend until waited for.
    void SetPendTransfers(bool pend);

    // Bytes arrive on a device: queued, and EV_RXCHAR (EV_RXFLAG for the event character)
    // raised, together with `alsoEvents` (one wake-up for all).
    void Receive(const std::string& name, const std::string& bytes, DWORD alsoEvents = 0);
    // Raises line events (EV_ flags) on a device.
    void RaiseEvents(const std::string& name, DWORD events);
    void SetModemStatus(const std::string& name, DWORD status);
    // Line errors (CE_ flags) that the next ClearCommError reports.
    void SetLineErrors(const std::string& name, DWORD errors);
    // The device goes away as a pulled adapter does: an open handle reports the hang-up once
    // (EV_ERR with CE_IOE), its reads and writes fail with ERROR_IO_DEVICE and it cannot be
    // opened, until it is plugged in again.
    void Unplug(const std::string& name);
    void Plug(const std::string& name);
    // Writes at most this many bytes per write from now on (a write limit that runs out).
    void SetWriteLimit(const std::string& name, DWORD limit);

    // What was written to a device, everything so far.
    std::string Written(const std::string& name) const;
    // What was written to a device since the last TakeWritten for it.
    std::string TakeWritten(const std::string& name);
    std::vector<Call> Calls() const;
    int CountOf(Call call) const;
    void ClearCalls();
    bool IsOpen(const std::string& name) const;
    platform::DCB LastDCB(const std::string& name) const;
    platform::COMMTIMEOUTS LastTimeouts(const std::string& name) const;
    DWORD InQueue(const std::string& name) const;
    DWORD OutQueue(const std::string& name) const;
    DWORD Mask(const std::string& name) const;
    // The EscapeCommFunction functions, in order.
    std::vector<DWORD> Escapes(const std::string& name) const;
    // Handles (devices and events) still open.
    int OpenHandles() const;
    // Blocks until a WaitCommEvent waits on the device.
    void WaitUntilWaiting(const std::string& name);
    // Blocks until `count` WaitCommEvent calls have begun waiting on the device in all.
    void WaitForWaits(const std::string& name, int count);

    DWORD GetLastError() override;
    void SetLastError(DWORD code) override;
    HANDLE CreateFileA(const std::string& fileName) override;
    bool CloseHandle(HANDLE handle) override;
    bool SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) override;
    bool SetCommState(HANDLE device, const platform::DCB& dcb) override;
    bool GetCommState(HANDLE device, platform::DCB& dcb) override;
    bool SetCommTimeouts(HANDLE device, const platform::COMMTIMEOUTS& timeouts) override;
    bool GetCommTimeouts(HANDLE device, platform::COMMTIMEOUTS& timeouts) override;
    bool SetCommMask(HANDLE device, DWORD mask) override;
    DWORD WaitCommEvent(HANDLE device, DWORD& events, HANDLE cancel) override;
    bool ReadFile(HANDLE device, void* buffer, DWORD count, DWORD& done,
                  platform::OVERLAPPED& overlapped) override;
    bool WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD& done,
                   platform::OVERLAPPED& overlapped) override;
    bool GetOverlappedResult(HANDLE device, platform::OVERLAPPED& overlapped, DWORD& done,
                             bool wait) override;
    bool ClearCommError(HANDLE device, DWORD& errors, platform::COMSTAT* stat) override;
    bool GetCommModemStatus(HANDLE device, DWORD& modemStat) override;
    bool PurgeComm(HANDLE device, DWORD flags) override;
    bool EscapeCommFunction(HANDLE device, DWORD function) override;
    HANDLE CreateEventA(bool manualReset, bool initialState) override;
    bool SetEvent(HANDLE event) override;
    bool ResetEvent(HANDLE event) override;
    DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds) override;

private:
    struct Device {
        bool open = false;
        std::string rx;
        std::string tx;
        std::size_t taken = 0; // of tx, by TakeWritten
        DWORD events = 0;
        DWORD mask = 0;
        unsigned maskGeneration = 0;
        DWORD modem = 0;
        DWORD errors = 0;
        DWORD writeLimit = 0xFFFFFFFFu;
        DWORD inQueue = 0, outQueue = 0;
        platform::DCB dcb;
        platform::COMMTIMEOUTS timeouts;
        std::vector<DWORD> escapes;
        int waiters = 0;
        int waits = 0;
        bool gone = false;
    };
    struct PendingIo {
        std::string device;
        bool write = false;
        char* rbuf = nullptr;
        std::string wdata;
        DWORD count = 0;
        platform::OVERLAPPED* ov = nullptr;
    };
    struct Object {
        std::string device; // empty for an event
        bool signalled = false;
        bool hasPending = false;
        PendingIo pending;
    };
    struct Failure {
        DWORD error = 0;
        int times = 0;
    };

    // Records the call; true (with the last error set) when it is to fail. Caller holds FMutex.
    bool Failing(Call call);
    Device* DeviceOf(HANDLE h);
    Object* EventOf(HANDLE h);
    void CompleteLocked(Object& event);
    // The common body of a device call: under the lock, records `call`, fails as told, fails
    // with ERROR_INVALID_HANDLE when `device` is no device, else runs fn(Device&).
    template <typename Fn> bool WithDevice(Call call, HANDLE device, Fn&& fn) {
        std::lock_guard lock(FMutex);
        if (Failing(call)) return false;
        Device* d = DeviceOf(device);
        if (!d) return false;
        fn(*d);
        return true;
    }
    // The same for an event call: fn(Object&) runs on the event behind `event`.
    template <typename Fn> bool WithEvent(Call call, HANDLE event, Fn&& fn) {
        std::lock_guard lock(FMutex);
        if (Failing(call)) return false;
        Object* ev = EventOf(event);
        if (!ev) return false;
        fn(*ev);
        return true;
    }
    // ReadFile and WriteFile: the transfer is attached to the OVERLAPPED's event, then either
    // completes at once or (with SetPendTransfers) pends with ERROR_IO_PENDING.
    bool StartTransfer(Call call, HANDLE device, PendingIo io, DWORD& done);

    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    std::map<std::string, Device> FDevices;
    std::map<HANDLE, Object> FObjects;
    HANDLE FNext = 0x10;
    std::map<Call, Failure> FFailures;
    std::vector<Call> FCalls;
    bool FPend = false;
};

} // namespace testsupport
