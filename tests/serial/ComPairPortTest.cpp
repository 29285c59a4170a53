// The shared port suite (SerialPortSuite.h) on Windows, against null-modem pairs of ports: the
// port under test opens one end, the test plays the peer on the other through plain Win32 calls.
// The pairs are named in REGULATOR_COM_PAIRS ("COM11:COM12 COM13:COM14"); under Wine the test
// stage makes them from pseudo-terminals joined by a relay, linked in the prefix's dosdevices.
#include "tests/serial/SerialPortSuite.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace {

// The index-th pair of the environment's list: {port under test, peer}.
std::pair<std::string, std::string> Pair(int index) {
    const char* list = std::getenv("REGULATOR_COM_PAIRS");
    std::istringstream in(list ? list : "");
    std::string item;
    for (int i = 0; in >> item; ++i) {
        const auto colon = item.find(':');
        if (i == index && colon != std::string::npos) return {item.substr(0, colon), item.substr(colon + 1)};
    }
    throw std::runtime_error("REGULATOR_COM_PAIRS names no pair " + std::to_string(index));
}

struct Win32Backend {
    class Peer {
    public:
        explicit Peer(int index) : names_(Pair(index)) {
            const std::string path = "\\\\.\\" + names_.second;
            handle_ = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (handle_ == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open the peer " + names_.second);
            DCB dcb{};
            dcb.DCBlength = sizeof dcb;
            ::GetCommState(handle_, &dcb);
            dcb.BaudRate = 4800;
            dcb.ByteSize = 8;
            dcb.Parity = NOPARITY;
            dcb.StopBits = ONESTOPBIT;
            dcb.fBinary = 1;
            dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = dcb.fOutX = dcb.fInX = 0;
            dcb.fDtrControl = DTR_CONTROL_DISABLE;
            dcb.fRtsControl = RTS_CONTROL_DISABLE;
            ::SetCommState(handle_, &dcb);
            ::PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
        }
        ~Peer() { ::CloseHandle(handle_); }
        Peer(const Peer&) = delete;
        Peer& operator=(const Peer&) = delete;

        std::string PortName() const { return names_.first; }

        void Send(const std::string& bytes) {
            DWORD written = 0;
            ::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        }

        // Reads until `count` bytes came or `timeoutMs` passed with nothing new.
        std::string Receive(std::size_t count, int timeoutMs = 2000) {
            COMMTIMEOUTS t{};
            t.ReadIntervalTimeout = 0;
            t.ReadTotalTimeoutConstant = static_cast<DWORD>(timeoutMs);
            ::SetCommTimeouts(handle_, &t);
            std::string out;
            while (out.size() < count) {
                char buf[256];
                DWORD n = 0;
                const auto want = static_cast<DWORD>(std::min(sizeof buf, count - out.size()));
                if (!::ReadFile(handle_, buf, want, &n, nullptr) || n == 0) break;
                out.append(buf, n);
            }
            return out;
        }

    private:
        std::pair<std::string, std::string> names_;
        HANDLE handle_ = INVALID_HANDLE_VALUE;
    };

    static std::string MissingPort() { return "COM99"; }

    // Wine's own marker: ntdll exports its version.
    static bool Wine() {
        const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
        return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }
};

} // namespace

namespace serialsuite {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, SerialPort, Win32Backend);
} // namespace serialsuite
