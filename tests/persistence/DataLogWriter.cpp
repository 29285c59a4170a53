// Writes a data log through the program's own log code until it is killed; used by the test
// that kills a writing process. Usage: datalog_writer <program dir> step|run
// After each finished line it prints the line's number on stdout; in "step" mode it then waits
// for one byte on stdin before the next line, so the test knows exactly where it was killed.
#include "LogRows.h"
#include "persistence/DataLog.h"
#include "platform/ProgramDir.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    platform::SetProgramDir(argv[1]);
    platform::SetLocalClock([] { return platform::LocalDateTime{2026, 12, 7, 14, 5, 0}; });
    const bool step = std::strcmp(argv[2], "step") == 0;
    state::RegulatorState s;
    persistence::OpenDataLog(s);
    auto* log = persistence::OpenLog(s);
    for (long n = 0;; ++n) {
        log->Write(RowOf(n));
        std::printf("%ld\n", n);
        std::fflush(stdout);
        if (step) {
            char c = 0;
            if (::read(STDIN_FILENO, &c, 1) != 1) return 0;
        }
    }
}
