#include "app/StatusText.h"

#include <cctype>

namespace fl {

namespace {

// "1.50M", "512KB", "7": digits and dots, then letters. Returns where it starts.
size_t FigureStart(std::string_view text, size_t end) {
    size_t i = end;
    while (i > 0 && std::isalpha(static_cast<unsigned char>(text[i - 1]))) --i;
    const size_t digitsEnd = i;
    while (i > 0 && (std::isdigit(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '.')) --i;
    return i < digitsEnd && std::isdigit(static_cast<unsigned char>(text[i])) ? i : std::string_view::npos;
}

bool SplitCounter(std::string_view text, std::string_view& stem, std::string_view& done, std::string_view& total) {
    const size_t totalStart = FigureStart(text, text.size());
    if (totalStart == std::string_view::npos || totalStart == 0 || text[totalStart - 1] != '/') return false;
    const size_t doneStart = FigureStart(text, totalStart - 1);
    if (doneStart == std::string_view::npos) return false;
    stem = text.substr(0, doneStart);
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    done = text.substr(doneStart, totalStart - 1 - doneStart);
    total = text.substr(totalStart);
    return !stem.empty();
}

// The code point at `i` and its length in bytes (a stray byte counts as one).
unsigned CodePoint(std::string_view s, size_t i, size_t& length) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (i + length > s.size()) length = 1;
    if (length == 1) return c;
    unsigned cp = c & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    return cp;
}

int Columns(unsigned cp) {
    // Hangul Jamo, CJK, Hangul syllables, compatibility forms, full-width forms.
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) || (cp >= 0xAC00 && cp <= 0xD7A3) ||
                   (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                   (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD)
               ? 2
               : 1;
}

}  // namespace

std::string CounterStem(std::string_view text) {
    std::string_view stem, done, total;
    return SplitCounter(text, stem, done, total) ? std::string(stem) : std::string();
}

bool CounterComplete(std::string_view text) {
    std::string_view stem, done, total;
    return SplitCounter(text, stem, done, total) && done == total;
}

int DisplayWidth(std::string_view s) {
    int width = 0;
    for (size_t i = 0, n = 0; i < s.size(); i += n) width += Columns(CodePoint(s, i, n));
    return width;
}

std::string CutToWidth(std::string_view s, int columns) {
    int width = 0;
    size_t i = 0, n = 0;
    for (; i < s.size(); i += n) {
        const int w = Columns(CodePoint(s, i, n));
        if (width + w > columns) break;
        width += w;
    }
    return std::string(s.substr(0, i));
}

}  // namespace fl
