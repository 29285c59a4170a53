#include "report/CsvExport.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace report {
namespace {

// Tenths with a decimal point: 1483 -> "148.3", -3 -> "-0.3".
void AppendTenths(std::string& out, std::int32_t tenths) {
    if (tenths < 0) out += '-';
    const std::uint32_t magnitude =
        tenths < 0 ? 0u - static_cast<std::uint32_t>(tenths) : static_cast<std::uint32_t>(tenths);
    char buf[16];
    const auto end = std::to_chars(buf, buf + sizeof buf, magnitude / 10).ptr;
    out.append(buf, end);
    out += '.';
    out += static_cast<char>('0' + magnitude % 10);
}

} // namespace

std::string CsvText(const LogTable& log) {
    std::string out = CsvHeader;
    out.reserve(out.size() + log.Size() * 48);
    for (std::size_t i = 0; i < log.Size(); ++i) {
        AppendTenths(out, log.Time[i]);
        for (const LogSide* side : {&log.Side1, &log.Side2}) {
            out += ',';
            AppendTenths(out, side->Setpoint[i]);
            out += side->Heater[i] != 0 ? ",1," : ",0,";
            AppendTenths(out, side->Temperature[i]);
        }
        out += "\r\n";
    }
    return out;
}

void WriteCsv(const LogTable& log, const std::filesystem::path& file) {
    const std::string text = CsvText(log);
    errno = 0;
    std::ofstream out(file, std::ios::binary | std::ios::trunc); // by the path itself: any name on any system
    if (!out) throw std::runtime_error(file.filename().string() + ": cannot be written: " + std::strerror(errno));
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) throw std::runtime_error(file.filename().string() + ": cannot be written: " + std::strerror(errno));
}

} // namespace report
