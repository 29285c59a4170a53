#pragma once
// Sending to the two units during one operation (a control tick, Start or Stop) so that a
// unit whose writes fail (its adapter pulled out: the port stays connected and every write
// raises) no longer cuts off the other unit or the rest of the operation. Each unit gets its
// texts in order; after a write to a unit has failed, that unit gets nothing more in this
// operation, so it never receives a command out of its sequence. At the end the operation
// calls RethrowFirstFailure, which raises the first error met, for the general error report.
//
// Port is the serial port type (TComPort in the program, a double in tests); it needs
// `bool Connected()` and `WriteStr(const std::string&)`.
#include "state/PerSide.h"

#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace regulation {

// Keeps the first error raised by any of the steps it runs.
class FirstFailure {
public:
    // Runs step; an exception it raises is kept if it is the first, and swallowed otherwise.
    // Returns whether step finished without raising.
    template <class Step> bool Run(Step&& step) {
        try {
            std::forward<Step>(step)();
            return true;
        } catch (...) {
            if (!first_) first_ = std::current_exception();
            return false;
        }
    }
    bool Failed() const { return static_cast<bool>(first_); }
    // Throws the first kept error, if any.
    void RethrowFirstFailure() const {
        if (first_) std::rethrow_exception(first_);
    }

private:
    std::exception_ptr first_{};
};

template <class Port> class UnitSender {
public:
    UnitSender(Port* side1, Port* side2) {
        ports_[1] = side1;
        ports_[2] = side2;
    }

    // Writes text to the side's port when it is connected and no earlier write of this
    // operation failed on it; a not connected port is skipped silently.
    void Send(int side, std::string_view text) {
        Port* port = ports_[side];
        if (port == nullptr || cutOff_[side] || !port->Connected()) return;
        if (!failures_.Run([&] { port->WriteStr(std::string(text)); })) cutOff_[side] = true;
    }
    // Side 1 first, then side 2.
    void SendToBoth(std::string_view text) {
        Send(1, text);
        Send(2, text);
    }

    FirstFailure& Failures() { return failures_; }
    void RethrowFirstFailure() const { failures_.RethrowFirstFailure(); }

private:
    state::PerSide<Port*> ports_{};
    state::PerSide<bool> cutOff_{};
    FirstFailure failures_{};
};

} // namespace regulation
