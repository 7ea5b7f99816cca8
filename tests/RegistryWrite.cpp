#include "RegistryWrite.h"

#include "platform/Registry.h"

#ifdef _WIN32
#include "platform/Win32Text.h"
#endif

namespace qvl::test {

#ifdef _WIN32

void setRegistryValue(unsigned long root, const std::string& subkey, const std::string& name,
                      const std::string& value) {
    HKEY key;
    HKEY rootKey = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
    if (RegCreateKeyExW(rootKey, platform::toWide(subkey).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    std::wstring text = platform::toWide(value);
    if (value.empty())
        RegDeleteValueW(key, platform::toWide(name).c_str());
    else
        RegSetValueExW(key, platform::toWide(name).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

#else

void setRegistryValue(unsigned long root, const std::string& subkey, const std::string& name,
                      const std::string& value) {
    platform::RegistryStandIn& registry = platform::registryStandIn();
    std::lock_guard lock(registry.mutex);
    if (value.empty())
        registry.values.erase({root, subkey, name});
    else
        registry.values[{root, subkey, name}] = value;
}

#endif

} // namespace qvl::test
