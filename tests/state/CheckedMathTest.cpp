#include "state/CheckedMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace state;

TEST(CheckedMath, RaisesInsteadOfInfinityOrNaN) {
    EXPECT_THROW(Div(1.0, 0.0), EZeroDivide);
    EXPECT_THROW(Div(-1.0, 0.0), EZeroDivide);
    EXPECT_THROW(Div(0.0, 0.0), EInvalidOp);
    EXPECT_THROW(Sqrt(-1e-300), EInvalidOp);
    EXPECT_THROW(Mul(1e200, 1e200), EOverflow);
    EXPECT_THROW(Add(1.7e308, 1.7e308), EOverflow);
    EXPECT_THROW(Exp(710.0), EOverflow);
    EXPECT_THROW(Add(std::numeric_limits<double>::quiet_NaN(), 1.0), EInvalidOp);
    EXPECT_THROW(Trunc(1e19), EInvalidOp);
}

TEST(CheckedMath, GivesOrdinaryResultsInsideTheDomain) {
    EXPECT_DOUBLE_EQ(Div(1.0, 4.0), 0.25);
    EXPECT_DOUBLE_EQ(Sqrt(0.0), 0.0);
    EXPECT_EQ(Exp(-1000.0), 0.0); // underflow is quiet
    EXPECT_EQ(Trunc(-3.9), -3);
    EXPECT_EQ(Trunc(1504.9), 1504);
}

TEST(CheckedMath, ErrorTextsAreTheRuntimes) {
    try {
        Div(1.0, 0.0);
        FAIL();
    } catch (const EMathError& e) {
        EXPECT_STREQ(e.what(), "Floating point division by zero");
    }
}
