#include "text/NumText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace numtext {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

} // namespace

std::string FormatFloat(double value) {
    if (!std::isfinite(value)) return std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");
    if (value == 0.0) return "0";

    // 15 significant digits, correctly rounded, in the form d.ddddddddddddddde[+-]x.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
    std::string sci(buf, res.ptr);
    const auto epos = sci.find('e');
    std::string digits = sci.substr(0, 1) + sci.substr(2, epos - 2);
    const int exponent = std::atoi(sci.c_str() + epos + 1);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out = value < 0 ? "-" : "";
    if (exponent >= 15 || exponent < -5) {
        out += digits[0];
        if (digits.size() > 1) out += "," + digits.substr(1);
        out += "E" + std::to_string(exponent);
        return out;
    }
    if (exponent >= 0) {
        const auto intLen = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= intLen) {
            out += digits + std::string(intLen - digits.size(), '0');
        } else {
            out += digits.substr(0, intLen) + "," + digits.substr(intLen);
        }
    } else {
        out += "0," + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    return out;
}

std::optional<double> ParseFloat(std::string_view text) {
    std::string_view s = TrimBlanks(text);
    std::string normal;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        if (s[i] == '-') normal += '-';
        ++i;
    }
    // The decimal exponent of the first significant digit ("150" 2, ",05" -2), for the overflow
    // test below; the leading zeros on either side of the comma do not count.
    long long position = 0;
    bool significant = false;
    int mantissaDigits = 0;
    while (i < s.size() && IsDigit(s[i])) {
        if (s[i] != '0') significant = true;
        if (significant) ++position;
        normal += s[i++];
        ++mantissaDigits;
    }
    if (significant) --position;
    if (i < s.size() && s[i] == ',') {
        normal += '.';
        ++i;
        while (i < s.size() && IsDigit(s[i])) {
            if (!significant) {
                --position;
                significant = s[i] != '0';
            }
            normal += s[i++];
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0) return std::nullopt;
    long long exponent = 0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        normal += 'e';
        ++i;
        bool negative = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
            negative = s[i] == '-';
            normal += s[i++];
        }
        int expDigits = 0;
        while (i < s.size() && IsDigit(s[i])) {
            if (exponent < 1000000000000LL) exponent = exponent * 10 + (s[i] - '0');
            normal += s[i++];
            ++expDigits;
        }
        if (expDigits == 0) return std::nullopt;
        if (negative) exponent = -exponent;
    }
    if (i != s.size()) return std::nullopt;

    const char* first = normal.data();
    if (*first == '-') ++first; // from_chars takes no sign of its own here; put it back below
    double magnitude = 0.0;
    auto res = std::from_chars(first, normal.data() + normal.size(), magnitude, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        // Too large is not a number; too small is zero. Only a first significant digit above
        // the units can overflow, wherever the comma stands.
        if (significant && position + exponent > 0) return std::nullopt;
        magnitude = 0.0;
    } else if (res.ec != std::errc() || res.ptr != normal.data() + normal.size()) {
        return std::nullopt;
    }
    if (!std::isfinite(magnitude)) return std::nullopt;
    return normal[0] == '-' ? -magnitude : magnitude;
}

std::optional<std::int32_t> ParseInt(std::string_view text) {
    std::string_view s = TrimBlanks(text);
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (!s.empty() && s[0] == '$') {
        base = 16;
        s.remove_prefix(1);
    } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) return std::nullopt;
    unsigned long long magnitude = 0;
    auto res = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return std::nullopt;
    if (s[0] == '+' || s[0] == '-') return std::nullopt;
    const long long value = negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    if (magnitude > 2147483648ULL || value > 2147483647LL || value < -2147483648LL) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::string FormatInt(long long value) { return std::to_string(value); }

} // namespace numtext
