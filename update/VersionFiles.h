#pragma once
// Reading the small text files of the update: ".pat" version files and "hostconfig.ini".
#include <string>
#include <vector>

namespace fl {

// The first line of non-zero length, untrimmed; empty when none or unreadable.
std::string ReadFirstLine(const std::string& path);
// The first line that is not empty after trimming, trimmed; empty when none.
std::string ReadFirstTrimmedLine(const std::string& path);
// Lines of a text file without their line ends ("\n" or "\r\n"); false when unreadable.
bool ReadLines(const std::string& path, std::vector<std::string>& lines);
// The resource folder name: the last path segment of the resource URL.
std::string GetUrlLastSegment(const std::string& url);

}  // namespace fl
