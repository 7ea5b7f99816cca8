#include "platform/Registry.h"

#include "platform/Win32Text.h"

namespace qvl::platform {

namespace {

HKEY rootKey(unsigned long root) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

} // namespace

bool registryRead(unsigned long root, const std::string& subkey, const std::string& name,
                  std::string& value) {
    HKEY key;
    if (RegOpenKeyExW(rootKey(root), toWide(subkey).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    std::wstring text(256, L'\0');
    DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD type = 0;
    LONG rc = RegQueryValueExW(key, toWide(name).c_str(), nullptr, &type,
                               reinterpret_cast<BYTE*>(text.data()), &bytes);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    text.resize(bytes / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    value.assign(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), value.data(), n, nullptr,
                        nullptr);
    return true;
}

void setDataAccessVersion(const std::string&) {}

} // namespace qvl::platform
