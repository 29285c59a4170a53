#include "tests/support/FakeSerialServices.h"

#include <algorithm>
#include <cstring>

using namespace platform;

namespace testsupport {

namespace {
thread_local DWORD tLastError = 0;
}

const char* CallName(Call call) {
    static const char* const names[] = {
        "CreateFileA",    "CloseHandle",        "SetupComm",       "SetCommState",
        "GetCommState",   "SetCommTimeouts",    "GetCommTimeouts", "SetCommMask",
        "WaitCommEvent",  "ReadFile",           "WriteFile",       "GetOverlappedResult",
        "ClearCommError", "GetCommModemStatus", "PurgeComm",       "EscapeCommFunction",
        "CreateEventA",   "SetEvent",           "ResetEvent",      "WaitForSingleObject"};
    return names[static_cast<int>(call)];
}

void FakeSerialServices::AddDevice(const std::string& name) {
    std::lock_guard lock(FMutex);
    FDevices[name];
}

void FakeSerialServices::FailNext(Call call, DWORD error, int times) {
    std::lock_guard lock(FMutex);
    FFailures[call] = Failure{error, times};
}

void FakeSerialServices::ClearFailures() {
    std::lock_guard lock(FMutex);
    FFailures.clear();
}

void FakeSerialServices::SetPendTransfers(bool pend) {
    std::lock_guard lock(FMutex);
    FPend = pend;
}

void FakeSerialServices::Receive(const std::string& name, const std::string& bytes, DWORD alsoEvents) {
    {
        std::lock_guard lock(FMutex);
        Device& d = FDevices.at(name);
        d.rx += bytes;
        d.events |= EV_RXCHAR | alsoEvents;
        if (bytes.find(d.dcb.EvtChar) != std::string::npos) d.events |= EV_RXFLAG;
    }
    FChanged.notify_all();
}

void FakeSerialServices::RaiseEvents(const std::string& name, DWORD events) {
    {
        std::lock_guard lock(FMutex);
        FDevices.at(name).events |= events;
    }
    FChanged.notify_all();
}

void FakeSerialServices::SetModemStatus(const std::string& name, DWORD status) {
    std::lock_guard lock(FMutex);
    FDevices.at(name).modem = status;
}

void FakeSerialServices::SetLineErrors(const std::string& name, DWORD errors) {
    std::lock_guard lock(FMutex);
    FDevices.at(name).errors = errors;
}

void FakeSerialServices::Unplug(const std::string& name) {
    {
        std::lock_guard lock(FMutex);
        Device& d = FDevices.at(name);
        d.gone = true;
        if (d.open) {
            d.errors |= platform::CE_IOE;
            d.events |= platform::EV_ERR;
        }
    }
    FChanged.notify_all();
}

void FakeSerialServices::Plug(const std::string& name) {
    std::lock_guard lock(FMutex);
    FDevices.at(name).gone = false;
}

void FakeSerialServices::SetWriteLimit(const std::string& name, DWORD limit) {
    std::lock_guard lock(FMutex);
    FDevices.at(name).writeLimit = limit;
}

std::string FakeSerialServices::Written(const std::string& name) const {
    std::lock_guard lock(FMutex);
    return FDevices.at(name).tx;
}

std::string FakeSerialServices::TakeWritten(const std::string& name) {
    std::lock_guard lock(FMutex);
    Device& d = FDevices.at(name);
    std::string fresh = d.tx.substr(d.taken);
    d.taken = d.tx.size();
    return fresh;
}

std::vector<Call> FakeSerialServices::Calls() const {
    std::lock_guard lock(FMutex);
    return FCalls;
}

int FakeSerialServices::CountOf(Call call) const {
    std::lock_guard lock(FMutex);
    return static_cast<int>(std::count(FCalls.begin(), FCalls.end(), call));
}

void FakeSerialServices::ClearCalls() {
    std::lock_guard lock(FMutex);
    FCalls.clear();
}

bool FakeSerialServices::IsOpen(const std::string& name) const {
    std::lock_guard lock(FMutex);
    return FDevices.at(name).open;
}

DCB FakeSerialServices::LastDCB(const std::string& name) const {
    std::lock_guard lock(FMutex);
    return FDevices.at(name).dcb;
}

COMMTIMEOUTS FakeSerialServices::LastTimeouts(const std::string& name) const {
    std::lock_guard lock(FMutex);
    return FDevices.at(name).timeouts;
}

DWORD FakeSerialServices::InQueue(const std::string& name) const {
    std::lock_guard lock(FMutex);
    return FDevices.at(name).inQueue;
}

DWORD FakeSerialServices::OutQueue(const std::string& name) const {
    std::lock_guard lock(FMutex);
    return FDevices.at(name).outQueue;
}

DWORD FakeSerialServices::Mask(const std::string& name) const {
    std::lock_guard lock(FMutex);
    return FDevices.at(name).mask;
}

std::vector<DWORD> FakeSerialServices::Escapes(const std::string& name) const {
    std::lock_guard lock(FMutex);
    return FDevices.at(name).escapes;
}

int FakeSerialServices::OpenHandles() const {
    std::lock_guard lock(FMutex);
    return static_cast<int>(FObjects.size());
}

void FakeSerialServices::WaitUntilWaiting(const std::string& name) {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [&] { return FDevices.at(name).waiters > 0; });
}

void FakeSerialServices::WaitForWaits(const std::string& name, int count) {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [&] { return FDevices.at(name).waits >= count; });
}

bool FakeSerialServices::Failing(Call call) {
    FCalls.push_back(call);
    const auto it = FFailures.find(call);
    if (it == FFailures.end() || it->second.times == 0) return false;
    tLastError = it->second.error;
    if (it->second.times > 0) --it->second.times;
    return true;
}

FakeSerialServices::Device* FakeSerialServices::DeviceOf(HANDLE h) {
    const auto it = FObjects.find(h);
    if (it == FObjects.end() || it->second.device.empty()) {
        tLastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return &FDevices.at(it->second.device);
}

FakeSerialServices::Object* FakeSerialServices::EventOf(HANDLE h) {
    const auto it = FObjects.find(h);
    if (it == FObjects.end() || !it->second.device.empty()) {
        tLastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return &it->second;
}

DWORD FakeSerialServices::GetLastError() {
    return tLastError;
}
void FakeSerialServices::SetLastError(DWORD code) {
    tLastError = code;
}

HANDLE FakeSerialServices::CreateFileA(const std::string& fileName) {
    std::lock_guard lock(FMutex);
    if (Failing(Call::CreateFileA)) return INVALID_HANDLE_VALUE;
    std::string name = fileName;
    if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
    const auto it = FDevices.find(name);
    if (it == FDevices.end() || it->second.gone) {
        tLastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    if (it->second.open) {
        tLastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    it->second.open = true;
    const HANDLE h = FNext++;
    FObjects[h].device = name;
    return h;
}

bool FakeSerialServices::CloseHandle(HANDLE handle) {
    {
        std::lock_guard lock(FMutex);
        if (Failing(Call::CloseHandle)) return false;
        const auto it = FObjects.find(handle);
        if (it == FObjects.end()) {
            tLastError = ERROR_INVALID_HANDLE;
            return false;
        }
        if (!it->second.device.empty()) FDevices.at(it->second.device).open = false;
        FObjects.erase(it);
    }
    FChanged.notify_all();
    return true;
}

bool FakeSerialServices::SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) {
    return WithDevice(Call::SetupComm, device, [&](Device& d) {
        d.inQueue = inQueue;
        d.outQueue = outQueue;
    });
}

bool FakeSerialServices::SetCommState(HANDLE device, const DCB& dcb) {
    return WithDevice(Call::SetCommState, device, [&](Device& d) { d.dcb = dcb; });
}

bool FakeSerialServices::GetCommState(HANDLE device, DCB& dcb) {
    return WithDevice(Call::GetCommState, device, [&](Device& d) { dcb = d.dcb; });
}

bool FakeSerialServices::SetCommTimeouts(HANDLE device, const COMMTIMEOUTS& timeouts) {
    return WithDevice(Call::SetCommTimeouts, device, [&](Device& d) { d.timeouts = timeouts; });
}

bool FakeSerialServices::GetCommTimeouts(HANDLE device, COMMTIMEOUTS& timeouts) {
    return WithDevice(Call::GetCommTimeouts, device, [&](Device& d) { timeouts = d.timeouts; });
}

bool FakeSerialServices::SetCommMask(HANDLE device, DWORD mask) {
    if (!WithDevice(Call::SetCommMask, device, [&](Device& d) {
            d.mask = mask;
            ++d.maskGeneration;
        }))
        return false;
    FChanged.notify_all();
    return true;
}

DWORD FakeSerialServices::WaitCommEvent(HANDLE device, DWORD& events, HANDLE cancel) {
    events = 0;
    std::unique_lock lock(FMutex);
    if (Failing(Call::WaitCommEvent)) return WAIT_FAILED;
    Device* d = DeviceOf(device);
    if (!d || !EventOf(cancel)) return WAIT_FAILED;
    const unsigned generation = d->maskGeneration;
    ++d->waiters;
    ++d->waits;
    FChanged.notify_all();
    DWORD result = WAIT_FAILED;
    FChanged.wait(lock, [&] {
        Object* stop = EventOf(cancel);
        if (!stop || stop->signalled) {
            result = WAIT_OBJECT_0;
            return true;
        }
        if (d->maskGeneration != generation || (d->events & d->mask)) {
            result = WAIT_OBJECT_0 + 1;
            return true;
        }
        return false;
    });
    --d->waiters;
    if (result == WAIT_OBJECT_0 + 1 && d->maskGeneration == generation) {
        events = d->events & d->mask;
        d->events &= ~events;
    }
    return result;
}

void FakeSerialServices::CompleteLocked(Object& event) {
    PendingIo& p = event.pending;
    Device& d = FDevices.at(p.device);
    DWORD moved = 0;
    if (p.write) {
        moved = std::min<DWORD>(static_cast<DWORD>(p.wdata.size()), d.writeLimit);
        d.tx.append(p.wdata, 0, moved);
    } else {
        moved = std::min<DWORD>(p.count, static_cast<DWORD>(d.rx.size()));
        std::memcpy(p.rbuf, d.rx.data(), moved);
        d.rx.erase(0, moved);
    }
    p.ov->Internal = 0;
    p.ov->InternalHigh = moved;
    event.hasPending = false;
    event.signalled = true;
}

bool FakeSerialServices::StartTransfer(Call call, HANDLE device, PendingIo io, DWORD& done) {
    done = 0;
    std::lock_guard lock(FMutex);
    if (Failing(call)) return false;
    Device* d = DeviceOf(device);
    Object* ev = EventOf(io.ov->hEvent);
    if (!d || !ev) return false;
    if (d->gone) {
        tLastError = ERROR_IO_DEVICE;
        return false;
    }
    ev->signalled = false;
    ev->hasPending = true;
    io.device = FObjects.at(device).device;
    ev->pending = std::move(io);
    if (FPend) {
        tLastError = ERROR_IO_PENDING;
        return false;
    }
    CompleteLocked(*ev);
    done = static_cast<DWORD>(ev->pending.ov->InternalHigh);
    return true;
}

bool FakeSerialServices::ReadFile(HANDLE device, void* buffer, DWORD count, DWORD& done,
                                  OVERLAPPED& overlapped) {
    return StartTransfer(Call::ReadFile, device,
                         PendingIo{{}, false, static_cast<char*>(buffer), {}, count, &overlapped}, done);
}

bool FakeSerialServices::WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD& done,
                                   OVERLAPPED& overlapped) {
    return StartTransfer(
        Call::WriteFile, device,
        PendingIo{{}, true, nullptr, std::string(static_cast<const char*>(buffer), count), count, &overlapped},
        done);
}

bool FakeSerialServices::GetOverlappedResult(HANDLE, OVERLAPPED& overlapped, DWORD& done, bool wait) {
    done = 0;
    std::lock_guard lock(FMutex);
    if (Failing(Call::GetOverlappedResult)) return false;
    Object* ev = EventOf(overlapped.hEvent);
    if (!ev) return false;
    if (ev->hasPending) {
        if (!wait) {
            tLastError = ERROR_IO_INCOMPLETE;
            return false;
        }
        CompleteLocked(*ev);
    }
    done = static_cast<DWORD>(overlapped.InternalHigh);
    if (overlapped.Internal != 0) {
        tLastError = static_cast<DWORD>(overlapped.Internal);
        return false;
    }
    return true;
}

bool FakeSerialServices::ClearCommError(HANDLE device, DWORD& errors, COMSTAT* stat) {
    errors = 0;
    return WithDevice(Call::ClearCommError, device, [&](Device& d) {
        errors = d.errors;
        d.errors = 0;
        if (stat) {
            stat->cbInQue = static_cast<DWORD>(d.rx.size());
            stat->cbOutQue = 0;
        }
    });
}

bool FakeSerialServices::GetCommModemStatus(HANDLE device, DWORD& modemStat) {
    modemStat = 0;
    return WithDevice(Call::GetCommModemStatus, device, [&](Device& d) { modemStat = d.modem; });
}

bool FakeSerialServices::PurgeComm(HANDLE device, DWORD flags) {
    return WithDevice(Call::PurgeComm, device, [&](Device& d) {
        if (flags & PURGE_RXCLEAR) d.rx.clear();
    });
}

bool FakeSerialServices::EscapeCommFunction(HANDLE device, DWORD function) {
    return WithDevice(Call::EscapeCommFunction, device, [&](Device& d) { d.escapes.push_back(function); });
}

HANDLE FakeSerialServices::CreateEventA(bool, bool initialState) {
    std::lock_guard lock(FMutex);
    if (Failing(Call::CreateEventA)) return INVALID_HANDLE_VALUE;
    const HANDLE h = FNext++;
    FObjects[h].signalled = initialState;
    return h;
}

bool FakeSerialServices::SetEvent(HANDLE event) {
    if (!WithEvent(Call::SetEvent, event, [](Object& ev) { ev.signalled = true; })) return false;
    FChanged.notify_all();
    return true;
}

bool FakeSerialServices::ResetEvent(HANDLE event) {
    return WithEvent(Call::ResetEvent, event, [](Object& ev) { ev.signalled = false; });
}

DWORD FakeSerialServices::WaitForSingleObject(HANDLE event, DWORD) {
    std::lock_guard lock(FMutex);
    if (Failing(Call::WaitForSingleObject)) return WAIT_FAILED;
    Object* ev = EventOf(event);
    if (!ev) return WAIT_FAILED;
    // A pending transfer completes when its waiter comes.
    if (ev->hasPending) CompleteLocked(*ev);
    return ev->signalled ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

} // namespace testsupport
