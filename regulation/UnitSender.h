#pragma once
// Sending to the two units during one operation (a control tick, Start or Stop) so that a
// unit whose writes fail (a broken line: every write raises) no longer cuts off the other
// unit or the rest of the operation. Each unit gets its texts in order; after a write to a
// unit has failed, that unit gets nothing more in this operation, so it never receives a
// command out of its sequence. At the end the operation calls RethrowFirstFailure, which
// raises the first error met (and not dealt with by OnWriteFailure) for the general report.
//
// A write that ran out of its time limit with only part of the text sent (a stalled line) fails
// like any other: the unit is cut off for the rest of the operation, so a stalled line holds an
// operation for one write's time limit at most.
//
// Port is the serial port type (TComPort in the program, a double in tests); it needs
// `bool Connected()` and `int WriteStr(const std::string&)` (the bytes written).
#include "state/PerSide.h"

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace regulation {

// A unit's line took only part of a command within the write time limit.
class EUnitStalled : public std::runtime_error {
public:
    explicit EUnitStalled(int side)
        : std::runtime_error("Strana " + std::to_string(side) + ": jednotka neprijima, zapis prikazu nedokoncen") {}
};

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
        try {
            if (static_cast<std::size_t>(port->WriteStr(std::string(text))) < text.size()) throw EUnitStalled(side);
        } catch (...) {
            cutOff_[side] = true;
            const std::exception_ptr error = std::current_exception();
            if (!OnWriteFailure || !OnWriteFailure(side, error))
                failures_.Run([&] { std::rethrow_exception(error); });
            return;
        }
        if (OnWritten) OnWritten(side);
    }
    // Side 1 first, then side 2.
    void SendToBoth(std::string_view text) {
        Send(1, text);
        Send(2, text);
    }

    // What a failed write means is the caller's to decide (a device that is gone closes its
    // port; a failure that was reported already need not be again): true when it is dealt with,
    // so it is not kept for RethrowFirstFailure. The unit is cut off for the operation either way.
    std::function<bool(int side, const std::exception_ptr& error)> OnWriteFailure;
    // Runs after every write that went through.
    std::function<void(int side)> OnWritten;

    // Whether a write to the side failed in this operation.
    bool CutOff(int side) const { return cutOff_[side]; }

    FirstFailure& Failures() { return failures_; }
    void RethrowFirstFailure() const { failures_.RethrowFirstFailure(); }

private:
    state::PerSide<Port*> ports_{};
    state::PerSide<bool> cutOff_{};
    FirstFailure failures_{};
};

} // namespace regulation
