#pragma once
// Files for tests: a fresh folder that goes away with its content however the test ends, and a
// whole file read at once.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

namespace testsupport {

// A new empty folder under the system's temporary folder, named from `prefix`; removed with its
// content at the end (the folder's own permissions restored first, for tests that take them).
class TTempDir {
public:
    explicit TTempDir(const std::string& prefix) {
        // A name nobody has taken: create_directory tells whether this call made the folder.
        std::random_device random;
        const auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100; ++attempt) {
            const auto candidate = base / (prefix + "-" + std::to_string(random() % 1000000000u));
            std::error_code ec;
            if (std::filesystem::create_directory(candidate, ec)) {
                std::filesystem::permissions(candidate, std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::replace, ec);
                path_ = candidate;
                return;
            }
        }
        throw std::runtime_error("no temporary folder under " + base.string());
    }
    ~TTempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The whole content of a file; empty when it cannot be read.
inline std::string ReadWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace testsupport
