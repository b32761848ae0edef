#include "platform/TextCodec.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

namespace fl {

namespace {

// Length of the sequence a lead byte starts; 1 for ASCII and stray bytes.
size_t SequenceLength(unsigned char c) {
    if (c >= 0xF0 && c <= 0xF4) return 4;
    if (c >= 0xE0) return c <= 0xEF ? 3 : 1;
    if (c >= 0xC2) return 2;
    return 1;
}

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::string CUtf8Joiner::Feed(const char* data, size_t size) {
    std::string all = std::move(m_strHeld);
    all.append(data, size);
    m_strHeld.clear();
    // Look back at most three bytes for a lead byte whose sequence is unfinished.
    size_t n = all.size();
    for (size_t back = 1; back <= 3 && back <= n; ++back) {
        unsigned char c = static_cast<unsigned char>(all[n - back]);
        if ((c & 0xC0) == 0x80) continue;  // continuation byte: keep looking
        size_t need = SequenceLength(c);
        if (need > back) {
            m_strHeld = all.substr(n - back);
            all.resize(n - back);
        }
        break;
    }
    return all;
}

std::string CUtf8Joiner::Flush() { return std::exchange(m_strHeld, {}); }

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t len = SequenceLength(c);
        char32_t cp = 0xFFFD;
        if (len == 1) {
            cp = c < 0x80 ? c : 0xFFFD;
        } else if (i + len <= text.size()) {
            cp = c & (0xFF >> (len + 1));
            bool ok = true;
            for (size_t k = 1; k < len; ++k) {
                unsigned char cc = static_cast<unsigned char>(text[i + k]);
                if ((cc & 0xC0) != 0x80) { ok = false; len = k; break; }
                cp = (cp << 6) | (cc & 0x3F);
            }
            if (!ok) cp = 0xFFFD;
        } else {
            len = text.size() - i;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string Utf16LeTextModeBytes(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    auto put = [&out](unsigned char b) {
        if (b == 0x0A) out += '\x0D';
        out += char(b);
    };
    for (char16_t u : text) {
        put(static_cast<unsigned char>(u & 0xFF));
        put(static_cast<unsigned char>(u >> 8));
    }
    return out;
}

std::string_view TrimView(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && IsSpace(text[b])) ++b;
    while (e > b && IsSpace(text[e - 1])) --e;
    return text.substr(b, e - b);
}

std::string Trim(std::string_view text) { return std::string(TrimView(text)); }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string ToUpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return out;
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

std::string VFormat(const char* format, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, ap);
    return text;
}

std::string Format(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    std::string text = VFormat(format, ap);
    va_end(ap);
    return text;
}

}  // namespace fl
