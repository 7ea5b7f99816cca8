#pragma once
// Reading a text value of the system registry. On Windows the real registry; elsewhere a
// small stand-in in which every key is missing until it is given a value: the start-up
// gives the data-access "Version" the version of the database engine in use.

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

// Where the registry is a stand-in, the data-access version it answers; on Windows the
// system's own stays (nothing is written).
void setDataAccessVersion(const std::string& version);

#ifndef _WIN32
// The stand-in's values, by root, subkey and name, and the lock that guards them.
struct RegistryStandIn {
    std::mutex mutex;
    std::map<std::tuple<unsigned long, std::string, std::string>, std::string> values;
};
RegistryStandIn& registryStandIn();
#endif

} // namespace qvl::platform
