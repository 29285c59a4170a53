#pragma once
// A pseudo-terminal pair for serial tests and benchmarks: the port opens the slave by its path,
// the test plays the peer on the master.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>

class PtyPair {
public:
    PtyPair() {
        int slave = -1;
        if (::openpty(&FMaster, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
        char name[128] = {};
        if (::ttyname_r(slave, name, sizeof name) != 0) throw std::runtime_error("ttyname_r");
        FSlavePath = name;
        // Raw on both ends, so the bytes pass unchanged.
        termios tio{};
        ::tcgetattr(FMaster, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(FMaster, TCSANOW, &tio);
        ::close(slave);
        ::fcntl(FMaster, F_SETFL, ::fcntl(FMaster, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // The slave's path, as a port name ("/dev/pts/5").
    const std::string& SlavePath() const { return FSlavePath; }
    int Master() const { return FMaster; }

    void Send(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(FMaster, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            pollfd p{FMaster, POLLOUT, 0};
            ::poll(&p, 1, 1000);
        }
    }

    // Reads until `count` bytes came or `timeoutMs` passed with nothing new.
    std::string Receive(std::size_t count, int timeoutMs = 2000) {
        std::string out;
        while (out.size() < count) {
            pollfd p{FMaster, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0) break;
            char buf[256];
            const ssize_t n = ::read(FMaster, buf, std::min(sizeof buf, count - out.size()));
            if (n <= 0) break;
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }

    // The peer goes away: the port's side sees a hang-up.
    void CloseMaster() {
        if (FMaster >= 0) ::close(FMaster);
        FMaster = -1;
    }

private:
    int FMaster = -1;
    std::string FSlavePath;
};
