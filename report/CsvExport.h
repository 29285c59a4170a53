#pragma once
// A data log as CSV for spreadsheets: a header row, then one row per log line with both sides,
// CR LF, UTF-8 (all of it ASCII). Two forms:
// - Point: comma-separated with the decimal point, for English settings and most programs;
// - Czech: semicolon-separated with the decimal comma, which spreadsheets with Czech settings
//   (LibreOffice Calc, Excel) open as numbers.
#include "report/DataLogReader.h"

#include <filesystem>
#include <string>

namespace report {

enum class CsvForm { Point, Czech };

inline constexpr const char* CsvHeader =
    "Cas_s,Zadana_hodnota_1,Topeni_1,Teplota_1,Zadana_hodnota_2,Topeni_2,Teplota_2\r\n";
inline constexpr const char* CsvHeaderCzech =
    "Cas_s;Zadana_hodnota_1;Topeni_1;Teplota_1;Zadana_hodnota_2;Topeni_2;Teplota_2\r\n";

// The whole CSV text of a log.
std::string CsvText(const LogTable& log, CsvForm form = CsvForm::Point);

// Writes the CSV text to `file`, replacing it. Throws std::runtime_error when it cannot.
void WriteCsv(const LogTable& log, const std::filesystem::path& file, CsvForm form = CsvForm::Point);

} // namespace report
