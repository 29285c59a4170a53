// Preloaded into Wine (LD_PRELOAD) for the Windows serial tests: a pseudo-terminal has no modem
// lines, so Wine's serial driver gets "not a typewriter" for them, fails EscapeCommFunction and
// GetCommModemStatus (error 50) and ends every WaitCommEvent at once (error 995). Here those
// requests on a terminal that refuses them are answered as by a port with every input line off
// whose output lines may be set at will. Any other call goes through unchanged.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <unistd.h>

int ioctl(int fd, unsigned long request, ...) {
    static int (*real)(int, unsigned long, ...);
    if (!real) real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    const int saved = errno;
    const int r = real(fd, request, arg);
    if (r != -1 || (errno != ENOTTY && errno != EINVAL) || !isatty(fd)) return r;
    switch (request) {
    case TIOCMGET:
        *(int*)arg = 0;
        break;
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
        break;
    default:
        return r;
    }
    errno = saved;
    return 0;
}
