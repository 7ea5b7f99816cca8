#pragma once
// UTF-8 inside the program, UTF-16 to Windows: the two conversions. Windows files only.

#include <windows.h>

#include <string>
#include <string_view>

namespace qvl::platform {

inline std::wstring toWide(std::string_view utf8) {
    if (utf8.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

inline std::string toUtf8(const wchar_t* text, size_t length) {
    if (length == 0)
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), n, nullptr, nullptr);
    return out;
}

inline std::string toUtf8(const std::wstring& text) {
    return toUtf8(text.data(), text.size());
}

} // namespace qvl::platform
