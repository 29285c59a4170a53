#include "serial/ComPortError.h"

#include <array>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 23> kTexts = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if ComPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

} // namespace

std::string ComErrorText(int code) {
    if (code < 1 || code > static_cast<int>(kTexts.size())) return {};
    return std::string(kTexts[static_cast<std::size_t>(code - 1)]);
}

EComPort::EComPort(int code, std::int32_t winCode)
    : std::runtime_error(ComErrorText(code) + " (win error code: " + std::to_string(winCode) + ")"),
      FCode(code), FWinCode(winCode) {}

EComPort::EComPort(int code) : std::runtime_error(ComErrorText(code)), FCode(code) {}
