#include "update/PathSafety.h"

namespace fl {

std::string NormalizeSeparators(std::string name) {
    for (char& c : name)
        if (c == '\\') c = '/';
    return name;
}

namespace {

// Names are UTF-8 text; bytes that are not (a list that is not text) name
// nothing. Strictly: no overlong forms, no surrogates, nothing past U+10FFFF.
bool IsUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        // The second byte's range is narrower after these leads.
        const unsigned char c1 = n > 1 ? static_cast<unsigned char>(s[i + 1]) : 0;
        if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F) || (c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 > 0x8F))
            return false;
        i += n;
    }
    return true;
}

}  // namespace

bool IsReservedName(std::string_view name) {
    const std::string_view folder = kRecordsFolder;
    if (name.size() < folder.size() || name.substr(0, folder.size()) != folder) return false;
    return name.size() == folder.size() || name[folder.size()] == '/' || name[folder.size()] == '\\';
}

bool IsSafeRelativeName(std::string_view name, bool allowFolder) {
    if (name.empty() || IsReservedName(name)) return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F) return false;  // a NUL would also cut the name short
    if (!IsUtf8(name)) return false;
    auto isSep = [](char c) { return c == '/' || c == '\\'; };
    if (isSep(name[0])) return false;
    if (name.size() >= 2 && name[1] == ':') return false;  // a drive name
    if (allowFolder && isSep(name.back())) name.remove_suffix(1);
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < name.size() && !isSep(name[end])) ++end;
        const std::string_view seg = name.substr(start, end - start);
        if (seg.empty() || seg == "." || seg == "..") return false;
        if (end == name.size()) return true;
        start = end + 1;
    }
}

bool IsSafeSegment(std::string_view name) {
    return IsSafeRelativeName(name) && name.find_first_of("/\\") == std::string_view::npos;
}

std::string ShortName(std::string_view name) {
    constexpr size_t kMax = 200;
    if (name.size() <= kMax) return std::string(name);
    size_t cut = kMax;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;  // keep UTF-8 whole
    return std::string(name.substr(0, cut)) + "...(" + std::to_string(name.size()) + " bytes)";
}

}  // namespace fl
