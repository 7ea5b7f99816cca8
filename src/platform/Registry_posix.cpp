#include "platform/Registry.h"

#include <sqlite3.h>

namespace qvl::platform {

RegistryStandIn& registryStandIn() {
    static RegistryStandIn registry{
        {}, {{{kHkeyLocalMachine, "SOFTWARE\\Microsoft\\DataAccess", "Version"}, sqlite3_libversion()}}};
    return registry;
}

bool registryRead(unsigned long root, const std::string& subkey, const std::string& name,
                  std::string& value) {
    std::lock_guard lock(registryStandIn().mutex);
    auto it = registryStandIn().values.find({root, subkey, name});
    if (it == registryStandIn().values.end())
        return false;
    value = it->second;
    return true;
}

} // namespace qvl::platform
