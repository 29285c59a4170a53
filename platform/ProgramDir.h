#pragma once
// The folder that stands for "next to the executable": the settings file, the data logs and
// the dosdevices port links live there. Tests point it at a temporary folder.
#include <filesystem>

namespace platform {

// The executable's folder, unless a test has set another one or the installer has named the
// folder the installed program keeps its files in (Windows: Regulator.ini, Regulator.run and Data
// live in a folder every operator may write, while the program's own folder stays read-only).
std::filesystem::path ProgramDir();

// Replaces the folder for the rest of the process (an empty path returns to the executable's).
void SetProgramDir(const std::filesystem::path& dir);

} // namespace platform
