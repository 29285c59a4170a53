#include "serial/ComSync.h"

struct TQueuedComSync::TItem {
    std::function<void()> Call;
    bool Blocking = false;
    bool Done = false;
    std::exception_ptr Error;
};

TQueuedComSync::TQueuedComSync() = default;

TQueuedComSync::~TQueuedComSync() {
    // Release any event thread still blocked in a hand-over; its call never runs.
    std::lock_guard lock(FMutex);
    for (auto& item : FQueue) {
        if (item->Blocking) {
            item->Error = std::make_exception_ptr(std::runtime_error("Hand-over discarded"));
            item->Done = true;
        }
    }
    FQueue.clear();
    FChanged.notify_all();
}

bool TQueuedComSync::IsOwnerThread() const {
    return std::this_thread::get_id() == FOwner;
}

void TQueuedComSync::Synchronize(const std::function<void()>& call) {
    if (IsOwnerThread()) {
        call();
        return;
    }
    auto item = std::make_shared<TItem>();
    item->Call = call;
    item->Blocking = true;
    {
        std::lock_guard lock(FMutex);
        FQueue.push_back(item);
    }
    FChanged.notify_all();
    NotifyOwner();
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [&] { return item->Done; });
    if (item->Error) std::rethrow_exception(item->Error);
}

void TQueuedComSync::Post(std::function<void()> call) {
    auto item = std::make_shared<TItem>();
    item->Call = std::move(call);
    {
        std::lock_guard lock(FMutex);
        FQueue.push_back(std::move(item));
    }
    FChanged.notify_all();
    NotifyOwner();
}

bool TQueuedComSync::RunOne(bool blockingOnly) {
    std::shared_ptr<TItem> item;
    {
        std::lock_guard lock(FMutex);
        for (auto it = FQueue.begin(); it != FQueue.end(); ++it) {
            if (!blockingOnly || (*it)->Blocking) {
                item = *it;
                FQueue.erase(it);
                break;
            }
        }
    }
    if (!item) return false;
    std::exception_ptr error;
    try {
        item->Call();
    } catch (...) {
        error = std::current_exception();
    }
    if (item->Blocking) {
        {
            std::lock_guard lock(FMutex);
            item->Error = error;
            item->Done = true;
        }
        FChanged.notify_all();
    } else if (error && OnException) {
        OnException(error);
    }
    return true;
}

std::size_t TQueuedComSync::ProcessPending() {
    // Only what is queued now runs; calls queued by the calls themselves wait for the next turn,
    // so a steady stream of notifications cannot starve the event loop.
    std::size_t count = 0;
    {
        std::lock_guard lock(FMutex);
        count = FQueue.size();
    }
    std::size_t ran = 0;
    while (ran < count && RunOne(false))
        ++ran;
    return ran;
}

void TQueuedComSync::WaitForPending() {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [&] { return !FQueue.empty(); });
}

bool TQueuedComSync::HasPending() const {
    std::lock_guard lock(FMutex);
    return !FQueue.empty();
}

void TQueuedComSync::WaitServing(const std::function<bool()>& done) {
    // Posted calls are left queued: they run later from the event loop (and find their port
    // closed). Only blocking hand-overs must be served here, or their thread could never end.
    for (;;) {
        while (RunOne(true)) {
        }
        std::unique_lock lock(FMutex);
        // Checked under the lock: Wake() takes it too, so a wake cannot slip in between.
        if (done()) return;
        const unsigned long wakes = FWakes;
        FChanged.wait(lock, [&] {
            if (FWakes != wakes) return true;
            for (auto& item : FQueue)
                if (item->Blocking) return true;
            return false;
        });
    }
}

void TQueuedComSync::Wake() {
    {
        std::lock_guard lock(FMutex);
        ++FWakes;
    }
    FChanged.notify_all();
}

void TDirectComSync::Post(std::function<void()> call) {
    try {
        call();
    } catch (...) {
        if (OnException) OnException(std::current_exception());
    }
}

void TDirectComSync::WaitServing(const std::function<bool()>& done) {
    std::unique_lock lock(FMutex);
    while (!done()) {
        const unsigned long wakes = FWakes;
        FChanged.wait(lock, [&] { return FWakes != wakes; });
    }
}

void TDirectComSync::Wake() {
    {
        std::lock_guard lock(FMutex);
        ++FWakes;
    }
    FChanged.notify_all();
}
