#pragma once
// A data log as CSV for spreadsheets: a header row, then one row per log line with both sides,
// comma-separated, decimal point, CR LF, UTF-8 (all of it ASCII).
#include "report/DataLogReader.h"

#include <filesystem>
#include <string>

namespace report {

inline constexpr const char* CsvHeader =
    "Cas_s,Zadana_hodnota_1,Topeni_1,Teplota_1,Zadana_hodnota_2,Topeni_2,Teplota_2\r\n";

// The whole CSV text of a log.
std::string CsvText(const LogTable& log);

// Writes the CSV text to `file`, replacing it. Throws std::runtime_error when it cannot.
void WriteCsv(const LogTable& log, const std::filesystem::path& file);

} // namespace report
