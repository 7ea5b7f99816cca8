#pragma once
// The system version text and the data-access version check.

#include <string>

namespace qvl::platform {

inline constexpr double kMinimumDataAccessVersion = 2.5;

// The value `valueName` under a key path "ROOT\subkey" (ROOT one of HKEY_CLASSES_ROOT,
// HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, exact case); "" on any failure.
std::string RegReadString(const std::string& keyPath, const std::string& valueName);
// The data-access version: the first four characters of the "Version" value under
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\DataAccess as a number (2.50.4403 gives 2.5);
// 0 when it cannot be read or is not a number.
double GetMDACVersion();
// The number in its shortest decimal form: 2.1, 2.5, 0.
std::string formatVersion(double version);
// The running system's name and version: "Linux (6.1) Build 0 #1 SMP ..." style.
std::string GetWindowsVersion();

} // namespace qvl::platform
