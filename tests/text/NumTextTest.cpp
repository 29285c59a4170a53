#include "text/NumText.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace numtext;

TEST(FormatFloat, GeneralFormatWithDecimalComma) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {150.0, "150"},
        {0.01995, "0,01995"},
        {31.5, "31,5"},
        {2.35, "2,35"},
        {0.0, "0"},
        {-0.0, "0"},
        {-3.2, "-3,2"},
        {0.1, "0,1"},
        {1e-5, "0,00001"},
        {1e-6, "1E-6"},
        {2.5e20, "2,5E20"},
        {1e15, "1E15"},
        {999999999999999.0, "999999999999999"},
        {123456789012345678.0, "1,23456789012346E17"},
        {1.0 / 3.0, "0,333333333333333"},
        {150.4, "150,4"},
        {-1.5e-7, "-1,5E-7"},
        {9.99999999999998, "9,99999999999998"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatFloat(c.value), c.text) << c.value;
}

TEST(ParseFloat, AcceptsTheNumberSyntaxOfTheProgram) {
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"150,5", 150.5}, {" 21,5", 21.5},  {"-3,25", -3.25}, {"+7", 7.0},     {"0,01995", 0.01995},
        {"1E3", 1000.0},  {"2,5e-2", 0.025}, {"  5  ", 5.0},  {",5", 0.5},      {"5,", 5.0},
        {"1E-400", 0.0},  {"1e+2", 100.0},  {",5E-999", 0.0}, {"0,05E309", 5e307},
    };
    for (const auto& c : cases) {
        auto v = ParseFloat(c.text);
        ASSERT_TRUE(v.has_value()) << c.text;
        EXPECT_DOUBLE_EQ(*v, c.value) << c.text;
    }
}

TEST(ParseFloat, RefusesEverythingElse) {
    for (const char* text : {"", "  ,  ", "1x0,5", "abc", "150.5", "1,2,3", "1E", "E5", "--1", "1 2",
                             "9E999", "1E309", "+", "-", "0x10",
                             // overflow wherever the first significant digit stands
                             ",5E999", "0,5E999", "00,1E400", "-,05E310", "0,0000000001E320"}) {
        EXPECT_FALSE(ParseFloat(text).has_value()) << text;
    }
}

TEST(ParseFloat, IgnoresTheLocale) {
    std::setlocale(LC_ALL, "C");
    EXPECT_DOUBLE_EQ(*ParseFloat("31,5"), 31.5);
    EXPECT_EQ(FormatFloat(31.5), "31,5");
}

TEST(ParseInt, WholeNumbersOnly) {
    EXPECT_EQ(ParseInt("180"), 180);
    EXPECT_EQ(ParseInt("-5"), -5);
    EXPECT_EQ(ParseInt(" 42 "), 42);
    EXPECT_EQ(ParseInt("0x10"), 16);
    EXPECT_EQ(ParseInt("$1F"), 31);
    EXPECT_EQ(ParseInt("2147483647"), 2147483647);
    EXPECT_EQ(ParseInt("-2147483648"), -2147483647 - 1);
    for (const char* text : {"", "abc", "1,5", "2147483648", "-2147483649", "1e3", "0x", "--1", "+-1"})
        EXPECT_FALSE(ParseInt(text).has_value()) << text;
}
