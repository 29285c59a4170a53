#include "platform/ProgramDir.h"

#include <mutex>
#include <system_error>

namespace platform {
namespace {

std::mutex& Guard() {
    static std::mutex m;
    return m;
}

std::filesystem::path& Override() {
    static std::filesystem::path p;
    return p;
}

} // namespace

std::filesystem::path ProgramDir() {
    {
        std::lock_guard lock(Guard());
        if (!Override().empty()) return Override();
    }
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path();
    return exe.parent_path();
}

void SetProgramDir(const std::filesystem::path& dir) {
    std::lock_guard lock(Guard());
    Override() = dir;
}

} // namespace platform
