#pragma once
#include <string>

namespace fl {

// Appends the bytes to "GMS__Err.txt" in the current directory (no separator, no time stamp).
void WriteErrorLine(const std::string& text);
// The same, to the error file of `folder`.
void WriteErrorLineIn(const std::string& folder, const std::string& text);

}  // namespace fl
