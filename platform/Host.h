#pragma once
// What the program asks of the computer it runs on: its name and where its fonts are.
#include <filesystem>
#include <string>

namespace platform {

// The computer's name; empty when it has none.
std::string ComputerName();

// The folder of the system's font files, for drawing without a window system (Windows: the
// Fonts folder; there Qt's offscreen drawing looks for fonts only where it is told). Empty where
// the system finds fonts by itself (Linux: fontconfig).
std::filesystem::path SystemFontFolder();

} // namespace platform
