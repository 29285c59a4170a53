#pragma once
// The event thread of an open port: waits for the line events of the port's Events and hands
// each group to the port's handling steps by the port's SyncMethod.
#include "serial/ComPort.h"

#include <atomic>
#include <memory>
#include <thread>

class TComThread {
public:
    // Creates the stop event, sets the device's event mask from the port's Events and starts
    // the thread.
    explicit TComThread(TCustomComPort* port);
    // Signals the stop event and waits for the thread to end. On the user-interface thread the
    // wait keeps serving hand-overs, so a thread blocked in one can finish. Called from inside a
    // hand-over of this very thread (a handler closing its port), the thread is told to stop and
    // left to end by itself, as it cannot end while its caller waits for it.
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    // Whether the loop has ended (stopped, or ended by an exception from the handlers).
    bool Finished() const;

private:
    // What the running thread needs; kept alive by the thread itself so that a thread left to
    // end by itself touches nothing of the port after it was told to stop.
    struct TShared {
        std::shared_ptr<platform::ISerialServices> Services;
        std::shared_ptr<TComSync> Sync;
        platform::HANDLE Device = platform::INVALID_HANDLE_VALUE;
        platform::HANDLE StopEvent = platform::INVALID_HANDLE_VALUE;
        std::atomic<bool> Stopping{false};
        std::atomic<bool> Finished{false};
        std::atomic<bool> InHandOver{false};
        std::atomic<bool> Detached{false};
        // smWindowSync: the notification window of this opening (copied, never read here).
        std::shared_ptr<TCustomComPort*> Window;
    };
    static void Execute(std::shared_ptr<TShared> shared, TCustomComPort* port);
    static void DispatchEvents(TShared& shared, TCustomComPort* port, TComEvents events);

    std::shared_ptr<TShared> FShared;
    std::thread FThread;
};
