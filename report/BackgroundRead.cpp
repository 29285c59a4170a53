#include "report/BackgroundRead.h"

#include <chrono>
#include <thread>
#include <utility>

namespace report {
namespace {

// Ends a read that is no longer wanted; never leaves the thread.
struct Stopped {};

} // namespace

TBackgroundRead::TBackgroundRead(std::filesystem::path file, std::function<void()> finished)
    : file_(std::move(file)), shared_(std::make_shared<Shared>()) {
    shared_->Finished = std::move(finished);
    std::promise<LogTable> promise;
    result_ = promise.get_future();
    // The thread keeps what it works on (the file's name, the promise, the shared state) to
    // itself, so that it may outlive this object.
    std::thread([file = file_, shared = shared_, promise = std::move(promise)]() mutable {
        try {
            promise.set_value(ReadLog(file, [&shared](std::uint64_t done, std::uint64_t total) {
                if (shared->Stop.load()) throw Stopped{};
                // A log still being written may have grown since its size was taken.
                shared->Percent.store(total > done ? static_cast<int>(done * 100 / total) : 100);
            }));
        } catch (...) {
            promise.set_exception(std::current_exception());
        }
        const std::lock_guard<std::mutex> lock(shared->Lock);
        if (shared->Finished) shared->Finished();
    }).detach();
}

TBackgroundRead::~TBackgroundRead() {
    // Not waited for: a read that hangs (a share that has gone away) must not hold up the
    // window. It stops at its next piece and tells no one.
    shared_->Stop.store(true);
    const std::lock_guard<std::mutex> lock(shared_->Lock);
    shared_->Finished = nullptr;
}

bool TBackgroundRead::Done() const {
    return !result_.valid() || result_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

LogTable TBackgroundRead::Take() {
    if (!result_.valid()) throw ELogRead(file_.filename().string() + ": already taken");
    return result_.get();
}

} // namespace report
