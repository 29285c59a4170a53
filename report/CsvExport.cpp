#include "report/CsvExport.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace report {
namespace {

// Tenths with the given decimal separator: 1483 -> "148.3", -3 -> "-0.3".
void AppendTenths(std::string& out, std::int32_t tenths, char decimal) {
    if (tenths < 0) out += '-';
    const std::uint32_t magnitude =
        tenths < 0 ? 0u - static_cast<std::uint32_t>(tenths) : static_cast<std::uint32_t>(tenths);
    char buf[16];
    const auto end = std::to_chars(buf, buf + sizeof buf, magnitude / 10).ptr;
    out.append(buf, end);
    out += decimal;
    out += static_cast<char>('0' + magnitude % 10);
}

} // namespace

std::string CsvText(const LogTable& log, CsvForm form) {
    const bool czech = form == CsvForm::Czech;
    const char separator = czech ? ';' : ',';
    const char decimal = czech ? ',' : '.';
    std::string out = czech ? CsvHeaderCzech : CsvHeader;
    out.reserve(out.size() + log.Size() * 48);
    for (std::size_t i = 0; i < log.Size(); ++i) {
        AppendTenths(out, log.Time[i], decimal);
        for (const LogSide* side : {&log.Side1, &log.Side2}) {
            out += separator;
            AppendTenths(out, side->Setpoint[i], decimal);
            out += separator;
            out += side->Heater[i] != 0 ? '1' : '0';
            out += separator;
            AppendTenths(out, side->Temperature[i], decimal);
        }
        out += "\r\n";
    }
    return out;
}

void WriteCsv(const LogTable& log, const std::filesystem::path& file, CsvForm form) {
    const std::string text = CsvText(log, form);
    auto fail = [&file] {
        return std::runtime_error(file.filename().string() + ": cannot be written: " + std::strerror(errno));
    };
    errno = 0;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw fail();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) throw fail();
    out.close();
    if (out.fail()) throw fail();
}

} // namespace report
