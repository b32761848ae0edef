#pragma once
// Reading the small text files of the update: ".pat" version files and "hostconfig.ini".
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace fl {

// The first line of non-zero length, untrimmed; empty when none or unreadable.
std::string ReadFirstLine(const std::string& path);
// The first line that is not empty after trimming, trimmed; empty when none.
std::string ReadFirstTrimmedLine(const std::string& path);
// Lines of a text file without their line ends ("\n" or "\r\n"); false when unreadable.
bool ReadLines(const std::string& path, std::vector<std::string>& lines);
// Removes from the list at `path` the lines of the given names ("/" between
// folders): their files were replaced, so the list no longer knows their
// versions. Written atomically; false when the list could not be rewritten.
bool ForgetListedNames(const std::string& path, const std::unordered_set<std::string>& names);

// The resource folder name: the last path segment of the resource URL.
std::string GetUrlLastSegment(const std::string& url);

// A list line longer than this is malformed: dropped up to its end, traced.
inline constexpr size_t kMaxListLine = 64 * 1024;
// A list body longer than this is not a list: its fetch fails.
inline constexpr long long kMaxListBytes = 128LL * 1024 * 1024;

// Splits a stream of pieces into lines (without "\n"), holding an unfinished
// line in `pending`: onLine(line, false) for each line; a line over
// kMaxListLine is dropped, never held whole: onLine(its start, true) once.
template <typename OnLine>
void SplitLines(std::string_view piece, std::string& pending, bool& tooLong, OnLine&& onLine) {
    size_t pos = 0;
    while (pos <= piece.size()) {
        const size_t nl = piece.find('\n', pos);
        const size_t end = nl == std::string_view::npos ? piece.size() : nl;
        if (!tooLong) {
            if (pending.size() + (end - pos) > kMaxListLine) {
                onLine(pending.empty() ? piece.substr(pos, end - pos) : std::string_view(pending), true);
                pending.clear();
                pending.shrink_to_fit();
                tooLong = true;
            } else if (nl != std::string_view::npos && pending.empty()) {
                onLine(piece.substr(pos, end - pos), false);  // the usual case: no copy
            } else {
                pending.append(piece, pos, end - pos);
                if (nl != std::string_view::npos) {
                    onLine(std::string_view(pending), false);
                    pending.clear();
                }
            }
        }
        if (nl == std::string_view::npos) break;
        tooLong = false;
        pos = nl + 1;
    }
}

}  // namespace fl
