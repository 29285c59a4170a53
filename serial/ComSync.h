#pragma once
// The hand-over of port notifications from a port's event thread to the user-interface thread.
// The port component knows no widget toolkit: the program passes a hand-over that runs calls in
// its event loop (app/QtComSync.h); tests use TQueuedComSync and pump it themselves, or
// TDirectComSync.
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TComSync {
public:
    virtual ~TComSync() = default;

    // Called from an event thread: runs `call` on the user-interface thread and blocks until it
    // has returned there. An exception that leaves `call` is thrown again here. Called on the
    // user-interface thread itself, runs `call` at once.
    virtual void Synchronize(const std::function<void()>& call) = 0;

    // Called from an event thread: queues `call` to run later on the user-interface thread and
    // returns at once. Calls run in the order they were posted. An exception that leaves `call`
    // goes to the application's error report (OnException), never back to the poster.
    virtual void Post(std::function<void()> call) = 0;

    // Called on the user-interface thread: blocks until `done()` returns true, serving the
    // Synchronize calls that arrive meanwhile, so an event thread blocked in a hand-over can go
    // on and end. `done` is checked after every served call and after every Wake().
    virtual void WaitServing(const std::function<bool()>& done) = 0;

    // Wakes WaitServing so it checks its condition again (an event thread calls it as it ends).
    virtual void Wake() = 0;

    // Whether the calling thread is the user-interface thread this hand-over delivers to.
    virtual bool IsOwnerThread() const = 0;

    // The application's standard exception display for failures of posted calls. Empty: ignored.
    std::function<void(std::exception_ptr)> OnException;
};

// A hand-over through a queue that the user-interface thread serves. The thread that constructs
// it is the user-interface thread. ProcessPending() runs what is queued; a toolkit adapter
// overrides NotifyOwner() to make its event loop call ProcessPending() soon; tests call it
// themselves.
class TQueuedComSync : public TComSync {
public:
    TQueuedComSync();
    ~TQueuedComSync() override;

    void Synchronize(const std::function<void()>& call) override;
    void Post(std::function<void()> call) override;
    void WaitServing(const std::function<bool()>& done) override;
    void Wake() override;
    bool IsOwnerThread() const override;

    // Runs every queued call, in order, on the calling (user-interface) thread. Returns how many
    // ran.
    std::size_t ProcessPending();
    // Blocks until at least one call is queued (tests use it to wait for a notification).
    void WaitForPending();
    // Whether a call is queued and not yet run.
    bool HasPending() const;

protected:
    // Called (from any thread, with no lock held) after a call was queued.
    virtual void NotifyOwner() {}

private:
    struct TItem;
    // Runs one item outside the lock; false when the queue was empty.
    bool RunOne(bool blockingOnly);

    std::thread::id FOwner = std::this_thread::get_id();
    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    std::deque<std::shared_ptr<TItem>> FQueue;
    unsigned long FWakes = 0;
};

// A hand-over that runs every call at once on the thread that hands it over. With it the
// handlers of smThreadSync and smWindowSync run on the event thread, as with smNone.
class TDirectComSync : public TComSync {
public:
    void Synchronize(const std::function<void()>& call) override { call(); }
    void Post(std::function<void()> call) override;
    void WaitServing(const std::function<bool()>& done) override;
    void Wake() override;
    bool IsOwnerThread() const override { return false; }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    unsigned long FWakes = 0;
};
