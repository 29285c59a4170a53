// Fuzzes the profile file service with arbitrary file contents. Besides never crashing, it holds
// the service to its promises: a written key reads back, keys of other sections are untouched by
// a write or an erase, an erased section reads as missing, and the bytes in front of an appended
// section are kept.
#include "platform/Profile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace {

// A folder of this run, "profile_fuzz_<pid>". libFuzzer ends without running exit handlers, so
// each run sweeps away the folders of runs that are gone instead.
const std::filesystem::path& Dir() {
    static const std::filesystem::path dir = [] {
        // Every write is flushed to the disk; memory-backed /dev/shm keeps that cheap.
        std::error_code ec;
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : std::filesystem::temp_directory_path();
        const std::string prefix = "profile_fuzz_";
        for (const auto& e : std::filesystem::directory_iterator(base, ec)) {
            const std::string name = e.path().filename().string();
            if (name.rfind(prefix, 0) != 0) continue;
            const std::string pid = name.substr(prefix.size());
            if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
            if (!std::filesystem::exists("/proc/" + pid)) std::filesystem::remove_all(e.path(), ec);
        }
        const auto mine = base / (prefix + std::to_string(::getpid()));
        std::filesystem::create_directories(mine);
        return mine;
    }();
    return dir;
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "profile property broken: %s\n", what);
        std::abort();
    }
}

std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto file = Dir() / "Regulator.ini";
    const std::string content(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << content;
    }
    const platform::ProfileFile ini(file);
    const char* def = "\n"; // no value can hold a line end

    // Reading in the program's own way.
    (void)ini.ReadString("Serial", "Com1", "COM3");
    (void)ini.ReadBool("Nastaveni", "NaPrubeh", false);
    for (int n = 1; n <= 5; ++n) (void)ini.ReadInteger("Prubeh1", "Cas" + std::to_string(n), -1);
    (void)platform::ProfileParseInteger(content.substr(0, 40));

    const std::string otherKey = ini.ReadString("Prubeh1", "Cas1", def);
    const std::string sameSection = ini.ReadString("Nastaveni", "Zadana2", def);
    const std::string before = ini.ReadString("Nastaveni", "Zadana1", def);
    Check(before.size() <= platform::ProfileValueMax || before == def, "value cut");

    ini.WriteString("nastaveni", "ZADANA1", "v42");
    Check(ini.ReadString("Nastaveni", "Zadana1", def) == "v42", "written key reads back");
    Check(ini.ReadString("Prubeh1", "Cas1", def) == otherKey, "other section untouched by a write");
    Check(ini.ReadString("Nastaveni", "Zadana2", def) == sameSection, "other key untouched by a write");
    if (before == def) {
        // The section or the key was added; an added section goes after everything there was.
        const std::string after = Slurp(file);
        Check(after.size() > content.size(), "write adds bytes");
        const bool sectionAdded = after.compare(0, content.size(), content) == 0;
        const bool keyInserted = after.size() < content.size() + 20; // just the key line
        Check(sectionAdded || keyInserted, "old bytes kept");
    }

    ini.EraseSection("PRUBEH1");
    Check(ini.ReadString("Prubeh1", "Cas1", def) == def, "erased section reads as missing");
    Check(ini.ReadString("Nastaveni", "Zadana1", def) == "v42", "other section untouched by an erase");
    return 0;
}
