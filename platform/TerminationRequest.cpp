#include "platform/TerminationRequest.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace platform {
namespace {

int writeEnd = -1;
volatile sig_atomic_t hardLimit = 0;

// Runs in whichever thread the signal lands on: only write(2) and alarm(2), which are
// async-signal-safe. The alarm's default action ends the process.
void OnTerminate(int) {
    const int saved = errno;
    const char byte = 1;
    if (::write(writeEnd, &byte, 1) < 0) {
        // A full pipe already holds a request.
    }
    if (hardLimit > 0) {
        ::alarm(static_cast<unsigned>(hardLimit));
        hardLimit = 0; // a second SIGTERM does not put the end off
    }
    errno = saved;
}

} // namespace

int CatchTerminationRequest(unsigned hardLimitSeconds) {
    hardLimit = static_cast<sig_atomic_t>(hardLimitSeconds);
    if (hardLimitSeconds > 0) ::signal(SIGALRM, SIG_DFL);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
    writeEnd = fds[1];
    struct sigaction action {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGTERM, &action, nullptr) != 0) {
        const int error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        writeEnd = -1;
        throw std::system_error(error, std::generic_category(), "sigaction");
    }
    return fds[0];
}

} // namespace platform
