#include "platform/ProgramDir.h"

#include "platform/System.h"

#include <mutex>

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
    auto installed = InstalledDataFolder();
    return installed.empty() ? ExecutableFolder() : installed;
}

void SetProgramDir(const std::filesystem::path& dir) {
    std::lock_guard lock(Guard());
    Override() = dir;
}

} // namespace platform
