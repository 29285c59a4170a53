#pragma once
// A data log read on a thread of its own, so that a long log (a week of lines, or a log on a
// slow share) never holds up the window: the window looks now and then how far the read got and
// takes the table once it is done. The read works on its own data only.
#include "report/DataLogReader.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>

namespace report {

class TBackgroundRead {
public:
    // Starts reading `file` at once; `finished` runs on the read's thread once the table (or the
    // failure) can be taken, unless this object is gone by then.
    explicit TBackgroundRead(std::filesystem::path file, std::function<void()> finished = {});
    // A read still going stops at its next piece (a megabyte) on its own; it is not waited for.
    ~TBackgroundRead();
    TBackgroundRead(const TBackgroundRead&) = delete;
    TBackgroundRead& operator=(const TBackgroundRead&) = delete;

    const std::filesystem::path& File() const { return file_; }
    bool Done() const;
    // The share of the file read so far, 0 to 100.
    int Percent() const { return shared_->Percent.load(); }
    // Once Done: the table, or the ELogRead that ReadLog gives. Once only.
    LogTable Take();

private:
    struct Shared {
        std::atomic<int> Percent{0};
        std::atomic<bool> Stop{false};
        std::mutex Lock; // guards Finished
        std::function<void()> Finished;
    };
    std::filesystem::path file_;
    std::shared_ptr<Shared> shared_;
    std::future<LogTable> result_;
};

} // namespace report
