#pragma once
// What the program does about a unit's line going away and coming back: a failed port operation
// that says the device is gone (the adapter pulled out, the line hung up) closes that side's port
// and is reported once per disappearance; the watchdog opens the port again once the device is
// back. Write failures of any other kind are reported once, and again only after a write to that
// side has gone through in between, so a failing unit does not report at every control tick.
// Nothing here touches a widget or a port.
#include "state/PerSide.h"

#include <cstdint>
#include <exception>
#include <string>

namespace devicelink {

// Whether an operating-system error code of a failed read or write means that the device itself
// is gone: the I/O error that a hung-up line reports, a device that is no longer connected or no
// longer there.
bool DeviceGone(std::int32_t winErrorCode);
// The same for a caught failure: an EComPort carrying such a code. Anything else is not.
bool DeviceGone(const std::exception_ptr& error);

// "Spojeni s jednotkou 1 preruseno." / "Spojeni s jednotkou 1 obnoveno."
std::string LostText(int side);
std::string BackText(int side);

class TLineWatch {
public:
    // The side's device is gone. True the first time since its port last opened: the caller then
    // closes the port and reports it; later failures of the same disappearance are quiet.
    bool Lost(int side);
    // The side's port has opened. True when it had been lost: the line is back.
    bool Opened(int side);
    bool IsLost(int side) const { return lost_[side]; }

    // A write to the side failed for another reason. True when it is the first failure since the
    // last write that went through (the caller reports it).
    bool WriteFailed(int side);
    void WriteWent(int side) { writeFault_[side] = false; }

private:
    state::PerSide<bool> lost_{};
    state::PerSide<bool> writeFault_{};
};

} // namespace devicelink
