#pragma once
#include <string>

namespace fl {

// Full path of the running executable; empty when it cannot be read.
std::string GetModulePath();
// Working directory without a trailing separator; empty when it cannot be read.
std::string GetCurrentDir();

}  // namespace fl
