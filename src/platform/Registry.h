#pragma once
// Reading a text value of the system registry. On Windows the real registry; elsewhere a
// small stand-in that answers the data-access "Version" value with the version of the
// SQLite library in use and every other key as missing. Tests can put values into it.

#include <string>

namespace qvl::platform {

// The root keys by name and number.
inline constexpr unsigned long kHkeyClassesRoot = 0x80000000, kHkeyCurrentUser = 0x80000001,
                               kHkeyLocalMachine = 0x80000002, kHkeyUsers = 0x80000003;

// The value `name` under `subkey` of `root`; false when it is missing or unreadable.
bool registryRead(unsigned long root, const std::string& subkey, const std::string& name, std::string& value);
// For tests, on the stand-in only: sets (or, with an empty `value`, removes) a value.
void registrySetForTests(unsigned long root, const std::string& subkey, const std::string& name,
                         const std::string& value);

} // namespace qvl::platform
