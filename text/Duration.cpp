#include "text/Duration.h"

#include "text/NumText.h"

#include <algorithm>

namespace numtext {
namespace {

std::string TwoDigits(std::int64_t n) {
    return (n < 10 ? "0" : "") + FormatInt(n);
}

} // namespace

std::string DurationText(std::int64_t seconds) {
    seconds = std::max<std::int64_t>(seconds, 0);
    if (seconds < 60) return FormatInt(seconds) + " s";
    if (seconds < 3600) return FormatInt(seconds / 60) + " min " + TwoDigits(seconds % 60) + " s";
    return FormatInt(seconds / 3600) + " h " + TwoDigits(seconds % 3600 / 60) + " min";
}

} // namespace numtext
