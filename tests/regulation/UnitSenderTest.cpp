#include "regulation/UnitSender.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

// A port as the regulation sees it: connected or not, writes that may all fail, and a line that
// takes at most `takes` bytes per write before its time limit runs out.
struct PortDouble {
    bool connected = true;
    bool failing = false;
    std::size_t takes = 1000;
    std::string received;
    int attempts = 0;
    bool Connected() const { return connected; }
    int WriteStr(const std::string& text) {
        ++attempts;
        if (failing) throw std::runtime_error("write failed on " + text);
        const std::string went = text.substr(0, takes);
        received += went;
        return static_cast<int>(went.size());
    }
};

} // namespace

TEST(UnitSender, SkipsUnitsThatAreNotConnected) {
    PortDouble one, two;
    two.connected = false;
    regulation::UnitSender<PortDouble> send(&one, &two);
    send.SendToBoth("@BEEP&");
    send.Send(2, "*");
    EXPECT_EQ(one.received, "@BEEP&");
    EXPECT_EQ(two.attempts, 0);
    EXPECT_NO_THROW(send.RethrowFirstFailure());
}

TEST(UnitSender, AFailingUnitNoLongerCutsOffTheOther) {
    PortDouble one, two;
    one.failing = true;
    regulation::UnitSender<PortDouble> send(&one, &two);
    for (auto text : {"@ledka=1&", "@rele=1&", "*"}) send.Send(1, text);
    for (auto text : {"@ledka=0&", "@rele=0&", "*"}) send.Send(2, text);
    EXPECT_EQ(two.received, "@ledka=0&@rele=0&*");
    EXPECT_EQ(one.attempts, 1) << "after a failed write the unit gets nothing more in this operation";
    try {
        send.RethrowFirstFailure();
        FAIL() << "the failure must be reported";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "write failed on @ledka=1&");
    }

    // A stalled line: the first write went out in part when its time ran out. The unit gets
    // nothing more in this operation (one write's time limit, not three), the other unit is
    // served, and the stall is reported as a failure.
    PortDouble stalled, other;
    stalled.takes = 4;
    regulation::UnitSender<PortDouble> next(&stalled, &other);
    for (auto text : {"@ledka=1&", "@rele=1&", "*"}) next.Send(1, text);
    for (auto text : {"@ledka=0&", "@rele=0&", "*"}) next.Send(2, text);
    EXPECT_EQ(stalled.attempts, 1);
    EXPECT_EQ(other.received, "@ledka=0&@rele=0&*");
    EXPECT_THROW(next.RethrowFirstFailure(), regulation::EUnitStalled);
}

TEST(FirstFailure, KeepsTheFirstAndRunsEveryStep) {
    regulation::FirstFailure failures;
    int ran = 0;
    EXPECT_TRUE(failures.Run([&] { ++ran; }));
    EXPECT_FALSE(failures.Run([&] { ++ran; throw std::logic_error("first"); }));
    EXPECT_FALSE(failures.Run([&] { ++ran; throw std::runtime_error("second"); }));
    EXPECT_EQ(ran, 3);
    EXPECT_THROW(failures.RethrowFirstFailure(), std::logic_error);
}

TEST(UnitSender, AWriteFailureDealtWithIsNotRaisedAgain) {
    PortDouble one, two;
    one.failing = true;
    two.failing = true;
    regulation::UnitSender<PortDouble> send(&one, &two);
    int written = 0;
    send.OnWriteFailure = [](int side, const std::exception_ptr&) { return side == 1; };
    send.OnWritten = [&](int) { ++written; };
    send.SendToBoth("*");
    send.SendToBoth("*");
    EXPECT_EQ(one.attempts + two.attempts, 2) << "both cut off after their first failure";
    EXPECT_THROW(send.RethrowFirstFailure(), std::runtime_error) << "side 2's failure was not dealt with";
    two.failing = false;
    regulation::UnitSender<PortDouble> next(&one, &two);
    next.OnWriteFailure = [](int, const std::exception_ptr&) { return true; };
    next.OnWritten = [&](int) { ++written; };
    next.SendToBoth("*");
    EXPECT_NO_THROW(next.RethrowFirstFailure());
    EXPECT_EQ(written, 1);
}
