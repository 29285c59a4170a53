#pragma once
// Numbers as text, with the decimal comma on every machine whatever the locale.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace numtext {

// The general float format: up to 15 significant digits, no trailing zeros, decimal comma;
// fixed notation for magnitudes from 1E-5 up to below 1E15, otherwise "1E-6", "2,5E20"
// (no plus sign, no leading zeros in the exponent). 150 gives "150", 0.01995 "0,01995".
std::string FormatFloat(double value);

// Reads a decimal number: blanks before and after, an optional sign, digits with at most one
// decimal comma, an optional exponent ("E" or "e", optional sign, digits). Anything else, and
// a value that overflows a double, is not a number (nullopt), however it is written (",5E999"
// as "5E999"). A value too small for a double reads as 0.
std::optional<double> ParseFloat(std::string_view text);

// Reads a whole number in the signed 32-bit range: an optional sign followed by decimal
// digits, or hexadecimal written "$1F" or "0x1F"; blanks before and after are allowed.
// Anything else, and a value out of range, is not a whole number (nullopt).
std::optional<std::int32_t> ParseInt(std::string_view text);

// Decimal text of a whole number, "-" when negative.
std::string FormatInt(long long value);

} // namespace numtext
