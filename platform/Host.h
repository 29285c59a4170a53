#pragma once
// The computer's own name, as the network knows it.
#include <string>

namespace platform {

// The computer's name; empty when it has none.
std::string ComputerName();

} // namespace platform
