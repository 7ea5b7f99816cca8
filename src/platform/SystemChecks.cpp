#include "platform/SystemChecks.h"

#include "platform/Platform.h"
#include "platform/Registry.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qvl::platform {

namespace {

std::string trimBlanks(const std::string& s) {
    size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

} // namespace

std::string RegReadString(const std::string& keyPath, const std::string& valueName) {
    size_t slash = keyPath.find('\\');
    if (slash == std::string::npos)
        return {};
    const std::string rootName = keyPath.substr(0, slash);
    unsigned long root;
    if (rootName == "HKEY_CLASSES_ROOT")
        root = platform::kHkeyClassesRoot;
    else if (rootName == "HKEY_CURRENT_USER")
        root = platform::kHkeyCurrentUser;
    else if (rootName == "HKEY_LOCAL_MACHINE")
        root = platform::kHkeyLocalMachine;
    else if (rootName == "HKEY_USERS")
        root = platform::kHkeyUsers;
    else
        return {};
    std::string value;
    if (!platform::registryRead(root, keyPath.substr(slash + 1), valueName, value))
        return {};
    return trimBlanks(value);
}

double GetMDACVersion() {
    std::string text = trimBlanks(
        RegReadString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\DataAccess", "Version").substr(0, 4));
    // The number the four characters start with, in any locale: "6.0." of "6.0.6001.18000"
    // (every Windows since Vista) is 6.0, not an unreadable version.
    double v = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
    return error == std::errc() && end != text.data() ? v : 0;
}

std::string formatVersion(double version) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.15g", version);
    return buffer;
}

std::string GetWindowsVersion() {
    return platform::systemVersionText();
}

} // namespace qvl::platform
