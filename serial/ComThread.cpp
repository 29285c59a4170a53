#include "serial/ComThread.h"

using namespace platform;

TComThread::TComThread(TCustomComPort* port) : FShared(std::make_shared<TShared>()) {
    FShared->Services = port->FServices;
    FShared->Sync = port->FSync;
    FShared->Device = port->FHandle;
    FShared->Window = port->FWindow;
    FShared->StopEvent = FShared->Services->CreateEventA(true, false);
    // The mask is set before the thread runs, so no event of the opening is missed; its result
    // is not examined (a failing device shows in the wait).
    FShared->Services->SetCommMask(FShared->Device, EventsToMask(port->FEvents));
    FThread = std::thread(&TComThread::Execute, FShared, port);
}

TComThread::~TComThread() {
    TShared& shared = *FShared;
    shared.Stopping = true;
    shared.Services->SetEvent(shared.StopEvent);
    std::this_thread::yield();
    if (!FThread.joinable()) return;
    // Closed from a handler of this thread's own hand-over (smNone on the event thread, or
    // smThreadSync on the user-interface thread while the thread waits for that very handler):
    // waiting would never end. The thread sees the stop as soon as the handler returned.
    if (std::this_thread::get_id() == FThread.get_id() ||
        (shared.InHandOver && shared.Sync->IsOwnerThread())) {
        shared.Detached = true;
        FThread.detach();
        return;
    }
    if (shared.Sync->IsOwnerThread()) shared.Sync->WaitServing([&] { return shared.Finished.load(); });
    FThread.join();
    shared.Services->CloseHandle(shared.StopEvent);
    shared.StopEvent = INVALID_HANDLE_VALUE;
}

bool TComThread::Finished() const {
    return FShared->Finished;
}

void TComThread::Execute(std::shared_ptr<TShared> shared, TCustomComPort* port) {
    ISerialServices& services = *shared->Services;
    try {
        while (!shared->Stopping) {
            DWORD mask = 0;
            const DWORD woke = services.WaitCommEvent(shared->Device, mask, shared->StopEvent);
            if (woke != WAIT_OBJECT_0 + 1) break; // stopped, or the wait cannot be made
            if (shared->Stopping) break;
            const TComEvents events = MaskToEvents(mask);
            // A new mask ends a wait with nothing to report.
            if (!events.Empty()) DispatchEvents(*shared, port, events);
        }
    } catch (...) {
        // An error from the handlers ends the thread quietly; the port stays open.
    }
    services.SetCommMask(shared->Device, 0);
    services.PurgeComm(shared->Device, PURGE_TXCLEAR | PURGE_RXCLEAR);
    shared->Finished = true;
    shared->Sync->Wake();
    // A thread left to end by itself closes its own stop event.
    if (shared->Detached) services.CloseHandle(shared->StopEvent);
}

void TComThread::DispatchEvents(TShared& shared, TCustomComPort* port, TComEvents events) {
    switch (port->FSyncMethod) {
    case smThreadSync: {
        // InHandOver stays set while the user-interface thread runs the handlers, so a Close
        // from inside them knows not to wait for this thread.
        struct Flag {
            std::atomic<bool>& f;
            ~Flag() { f = false; }
        };
        shared.Sync->Synchronize([&] {
            shared.InHandOver = true;
            Flag reset{shared.InHandOver};
            port->RunHandlers(events);
        });
        break;
    }
    case smWindowSync:
        port->PostEvents(events, shared.Window);
        break;
    case smNone:
        port->RunHandlers(events);
        break;
    }
}
