#include "devicelink/LineWatch.h"

#include "platform/Win32Serial.h"
#include "serial/ComPortError.h"

namespace devicelink {

bool DeviceGone(std::int32_t winErrorCode) {
    switch (static_cast<platform::DWORD>(winErrorCode)) {
    case platform::ERROR_IO_DEVICE:            // EIO: the line hung up
    case platform::ERROR_DEVICE_NOT_CONNECTED: // the adapter was pulled out
    case platform::ERROR_FILE_NOT_FOUND:       // the device node went away
        return true;
    default:
        return false;
    }
}

bool DeviceGone(const std::exception_ptr& error) {
    if (!error) return false;
    try {
        std::rethrow_exception(error);
    } catch (const EComPort& e) {
        return e.WinErrorCode() >= 0 && DeviceGone(e.WinErrorCode());
    } catch (...) {
        return false;
    }
}

std::string LostText(int side) {
    return "Spojeni s jednotkou " + std::to_string(side) + " preruseno.";
}

std::string BackText(int side) {
    return "Spojeni s jednotkou " + std::to_string(side) + " obnoveno.";
}

bool TLineWatch::Lost(int side) {
    if (lost_[side]) return false;
    lost_[side] = true;
    return true;
}

bool TLineWatch::Opened(int side) {
    writeFault_[side] = false;
    if (!lost_[side]) return false;
    lost_[side] = false;
    return true;
}

bool TLineWatch::WriteFailed(int side) {
    if (writeFault_[side]) return false;
    writeFault_[side] = true;
    return true;
}

} // namespace devicelink
