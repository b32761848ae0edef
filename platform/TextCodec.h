#pragma once
// Text helpers. Texts are kept as UTF-8 inside the program; where bytes of a
// stream arrive in pieces a sequence split between two pieces is joined.
#include <cstdarg>
#include <string>
#include <string_view>

namespace fl {

class CUtf8Joiner {
public:
    // Returns the text of this piece that is complete; an unfinished trailing
    // sequence is kept for the next piece.
    std::string Feed(const char* data, size_t size);
    // The kept bytes at the end of the stream (a broken sequence stays as it is).
    std::string Flush();

private:
    std::string m_strHeld;
};

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// UTF-16LE code units as a text-mode stream stores them: every byte 0x0A is
// written as 0x0D 0x0A.
std::string Utf16LeTextModeBytes(std::u16string_view text);

// White space as the C locale's iswspace classifies it, at both ends.
std::string Trim(std::string_view text);
std::string_view TrimView(std::string_view text);
// Case-insensitive equality for the ASCII letters; other bytes compare exactly.
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string ToUpperAscii(std::string_view text);
bool Contains(std::string_view text, std::string_view part);

// "%d"-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string VFormat(const char* format, va_list ap);

}  // namespace fl
