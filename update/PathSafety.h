#pragma once
// The one gate for names that come from outside (the server's lists, pack
// entries, pack names, the resource address): a name becomes a path below a
// folder only when IsSafeRelativeName accepts it. Names may use "\" or "/"
// between folders.
#include <string>
#include <string_view>

namespace fl {

std::string NormalizeSeparators(std::string name);

// The run folder's folder of the launcher's own records: no name from outside may fall in it.
inline constexpr const char* kRecordsFolder = ".fenwa-launcher";
// A name ("/" or "\" between folders) whose first folder is the records folder.
bool IsReservedName(std::string_view name);

// Refused: empty names, control bytes (0x00-0x1F, 0x7F), bytes that are not
// UTF-8, absolute names, drive
// names ("c:..."), "." and ".." segments, empty segments ("a//b") and names in
// the records folder (IsReservedName); a single
// trailing separator (a folder entry of a pack) only when allowFolder is set.
bool IsSafeRelativeName(std::string_view name, bool allowFolder = false);

// A single path segment (a folder name): a safe name without any separator.
bool IsSafeSegment(std::string_view name);

// A name as it may be echoed in a message or a trace: absurdly long names are cut.
std::string ShortName(std::string_view name);

}  // namespace fl
