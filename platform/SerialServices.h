#pragma once
// The serial device services the port component is written against, under their Win32 names.
// SystemSerialServices() gives the system's: on Windows the Win32 calls themselves
// (serial_win32.cpp), on Linux stand-ins over termios, poll, eventfd and ioctls
// (serial_posix.cpp). Tests substitute an in-memory implementation whose calls can be told to fail.
//
// Every call reports failure the Windows way: it returns false (or INVALID_HANDLE_VALUE,
// WAIT_FAILED) and the reason is read with GetLastError() on the same thread, as a Windows error
// code. No call throws.
#include "platform/Win32Serial.h"

#include <memory>
#include <string>

namespace platform {

class ISerialServices {
public:
    virtual ~ISerialServices() = default;

    // The calling thread's last error code.
    virtual DWORD GetLastError() = 0;
    virtual void SetLastError(DWORD code) = 0;

    // Opens a serial device by its Windows path ("\\.\COM3"), exclusively, for overlapped input
    // and output. A missing device gives ERROR_FILE_NOT_FOUND, a device held by another opener
    // ERROR_ACCESS_DENIED.
    virtual HANDLE CreateFileA(const std::string& fileName) = 0;
    // Closes a device or an event handle.
    virtual bool CloseHandle(HANDLE handle) = 0;

    virtual bool SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) = 0;
    virtual bool SetCommState(HANDLE device, const DCB& dcb) = 0;
    virtual bool GetCommState(HANDLE device, DCB& dcb) = 0;
    virtual bool SetCommTimeouts(HANDLE device, const COMMTIMEOUTS& timeouts) = 0;
    virtual bool GetCommTimeouts(HANDLE device, COMMTIMEOUTS& timeouts) = 0;

    // Chooses the line events WaitCommEvent reports; a new mask ends a wait in progress with an
    // empty event set.
    virtual bool SetCommMask(HANDLE device, DWORD mask) = 0;
    // Waits for line events of the mask or for `cancel` (an event handle) to be signalled, with
    // no time limit. Returns WAIT_OBJECT_0 when cancelled, WAIT_OBJECT_0 + 1 with the events in
    // `events` when the device reported some, WAIT_FAILED (with the last error) when the wait
    // cannot be made. This is the overlapped WaitCommEvent and the WaitForMultipleObjects on the
    // stop event and the request's event folded into one call.
    virtual DWORD WaitCommEvent(HANDLE device, DWORD& events, HANDLE cancel) = 0;

    // Overlapped transfers. Each starts the request on `overlapped` (whose hEvent is reset) and
    // returns true when it completed at once (`done` bytes moved, the event signalled), or false
    // with ERROR_IO_PENDING while it goes on, or false with another error when it cannot start.
    // The buffer must stay valid until the request completed.
    virtual bool ReadFile(HANDLE device, void* buffer, DWORD count, DWORD& done, OVERLAPPED& overlapped) = 0;
    virtual bool WriteFile(HANDLE device, const void* buffer, DWORD count, DWORD& done,
                           OVERLAPPED& overlapped) = 0;
    // The outcome of a request: with `wait` it waits for the completion first; without, a
    // request still going on fails with ERROR_IO_INCOMPLETE.
    virtual bool GetOverlappedResult(HANDLE device, OVERLAPPED& overlapped, DWORD& done, bool wait) = 0;

    // Reads and clears the pending line errors (CE_ flags) and reports the queue counts.
    virtual bool ClearCommError(HANDLE device, DWORD& errors, COMSTAT* stat) = 0;
    // The modem input lines (MS_ flags).
    virtual bool GetCommModemStatus(HANDLE device, DWORD& modemStat) = 0;
    // Cancels pending requests and/or discards the queues (PURGE_ flags).
    virtual bool PurgeComm(HANDLE device, DWORD flags) = 0;
    // Raises or drops DTR and RTS (SETDTR, CLRDTR, SETRTS, CLRRTS), sets or clears break.
    virtual bool EscapeCommFunction(HANDLE device, DWORD function) = 0;

    // Events (always manual-reset here).
    virtual HANDLE CreateEventA(bool manualReset, bool initialState) = 0;
    virtual bool SetEvent(HANDLE event) = 0;
    virtual bool ResetEvent(HANDLE event) = 0;
    // Waits for an event; when a request's transfer is attached to it, the wait carries the
    // transfer to its end first. WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
    virtual DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds) = 0;
};

// The system's implementation. One instance serves the whole program.
std::shared_ptr<ISerialServices> SystemSerialServices();

// Linux only: the Windows error code that stands for an errno value (the one place where OS errors are
// translated): ENOENT, ENOTDIR, ELOOP, ENXIO, ENODEV -> 2 (file not found); EACCES, EPERM, EBUSY,
// EWOULDBLOCK -> 5 (access denied); EINVAL, ENOTTY, ERANGE -> 87 (invalid parameter); EBADF -> 6;
// EMFILE, ENFILE -> 4; ENOMEM -> 8; EIO, EPIPE -> 1117 (I/O device error); ETIMEDOUT -> 1460;
// ECANCELED -> 995; EOPNOTSUPP -> 50; anything else -> 31 (a device attached to the system is not
// functioning).
DWORD WinErrorFromErrno(int err);

} // namespace platform
