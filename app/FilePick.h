#pragma once
// Picking a file for the chart's commands. The window asks and goes on; the answer arrives
// later through `done` (never for a cancelled pick), so no dialog runs a loop of its own.
#include <QString>

#include <functional>

struct TFilePick {
    QString Caption;
    QString Folder;    // where the dialog starts
    QString Name;      // the suggested file name when saving
    QString Filter;    // e.g. "Datove soubory (data_*.txt)"; several separated by ";;"
    bool Save = false; // a file to write (else one to read)
    QString Selected = {}; // the file type chosen at first (one of Filter's); empty: the first
};

// The answer: the file, and the file type (one of the pick's filters) it was chosen with.
using TFilePicked = std::function<void(const QString& file, const QString& filter)>;
using TFilePicker = std::function<void(const TFilePick& pick, TFilePicked done)>;
