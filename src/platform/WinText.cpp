#include "platform/WinText.h"

#include "platform/Utf8.h"

#include <algorithm>

namespace qvl::platform {

namespace {

bool isHigh(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLow(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

} // namespace

std::string wtf8FromUtf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (isHigh(c) && i + 1 < text.size() && isLow(text[i + 1]))
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        appendUtf8(c, out); // a lone surrogate is written as its own code point
    }
    return out;
}

std::u16string utf16FromWtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    for (size_t i = 0; i < text.size();) {
        unsigned char b = byte(i);
        size_t len = b < 0x80                ? 1
                     : b >= 0xC2 && b < 0xE0 ? 2
                     : b >= 0xE0 && b < 0xF0 ? 3
                     : b >= 0xF0 && b < 0xF5 ? 4
                                             : 0;
        char32_t c = len == 1 ? b : len == 2 ? b & 0x1F : len == 3 ? b & 0x0F : b & 0x07;
        bool ok = len != 0 && i + len <= text.size();
        for (size_t k = 1; ok && k < len; ++k) {
            ok = (byte(i + k) & 0xC0) == 0x80;
            c = (c << 6) | (byte(i + k) & 0x3F);
        }
        // Overlong forms and code points past U+10FFFF are not well formed; WTF-8 lets
        // surrogates stand alone, except a pair written as two sequences.
        static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        ok = ok && c >= kLeast[len] && c <= 0x10FFFF;
        if (ok && isHigh(c) && i + 6 <= text.size() && byte(i + 3) == 0xED && byte(i + 4) >= 0xB0)
            ok = false; // a pair split into two sequences is not well formed
        if (!ok) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += len;
    }
    return out;
}

std::u16string longPath(std::u16string_view path) {
    std::u16string p(path);
    std::replace(p.begin(), p.end(), u'/', u'\\');
    constexpr size_t kShortEnough = 260 - 12; // MAX_PATH, less room for a file name
    if (p.size() < kShortEnough || p.rfind(u"\\\\?\\", 0) == 0)
        return p;
    if (p.rfind(u"\\\\", 0) == 0)
        return u"\\\\?\\UNC\\" + p.substr(2);
    bool drivePath = p.size() >= 3 && p[1] == u':' && p[2] == u'\\';
    return drivePath ? u"\\\\?\\" + p : p;
}

} // namespace qvl::platform
