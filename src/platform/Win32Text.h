#pragma once
// UTF-8 inside the program, UTF-16 to Windows: the two conversions. Windows files only.

#include "platform/WinText.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace qvl::platform {

// Names go through WTF-8 (see WinText.h), so a name with a lone surrogate survives.
inline std::wstring toWide(std::string_view utf8) {
    std::u16string wide = utf16FromWtf8(utf8);
    return std::wstring(wide.begin(), wide.end());
}

inline std::string toUtf8(const wchar_t* text, size_t length) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return wtf8FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

inline std::wstring longPath(const std::wstring& path) {
    std::u16string p =
        longPath(std::u16string_view(reinterpret_cast<const char16_t*>(path.data()), path.size()));
    return std::wstring(p.begin(), p.end());
}

inline std::string toUtf8(const std::wstring& text) {
    return toUtf8(text.data(), text.size());
}

} // namespace qvl::platform
