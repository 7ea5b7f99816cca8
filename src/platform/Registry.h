#pragma once
// Reading a text value of the system registry. On Windows the real registry; elsewhere a
// small stand-in that answers the data-access "Version" value with the version of the
// SQLite library in use and every other key as missing.

#include <map>
#include <mutex>
#include <string>
#include <tuple>

namespace qvl::platform {

// The root keys by name and number.
inline constexpr unsigned long kHkeyClassesRoot = 0x80000000, kHkeyCurrentUser = 0x80000001,
                               kHkeyLocalMachine = 0x80000002, kHkeyUsers = 0x80000003;

// The value `name` under `subkey` of `root`; false when it is missing or unreadable.
bool registryRead(unsigned long root, const std::string& subkey, const std::string& name, std::string& value);

#ifndef _WIN32
// The stand-in's values, by root, subkey and name, and the lock that guards them.
struct RegistryStandIn {
    std::mutex mutex;
    std::map<std::tuple<unsigned long, std::string, std::string>, std::string> values;
};
RegistryStandIn& registryStandIn();
#endif

} // namespace qvl::platform
