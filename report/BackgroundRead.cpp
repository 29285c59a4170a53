#include "report/BackgroundRead.h"

#include <chrono>
#include <utility>

namespace report {
namespace {

// Ends a read that is no longer wanted; never leaves the thread.
struct Stopped {};

} // namespace

TBackgroundRead::TBackgroundRead(std::filesystem::path file, std::function<void()> finished)
    : file_(std::move(file)), shared_(std::make_shared<Shared>()) {
    std::promise<LogTable> promise;
    result_ = promise.get_future();
    thread_ = std::thread([file = file_, shared = shared_, promise = std::move(promise),
                           finished = std::move(finished)]() mutable {
        try {
            promise.set_value(ReadLog(file, [&shared](std::uint64_t done, std::uint64_t total) {
                if (shared->Stop.load()) throw Stopped{};
                // A log still being written may have grown since its size was taken.
                shared->Percent.store(total > done ? static_cast<int>(done * 100 / total) : 100);
            }));
        } catch (...) {
            promise.set_exception(std::current_exception());
        }
        if (finished) finished();
    });
}

TBackgroundRead::~TBackgroundRead() {
    shared_->Stop.store(true);
    thread_.join();
}

bool TBackgroundRead::Done() const {
    return !result_.valid() || result_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

LogTable TBackgroundRead::Take() {
    if (!result_.valid()) throw ELogRead(file_.filename().string() + ": already taken");
    return result_.get();
}

} // namespace report
