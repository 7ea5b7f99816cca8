#include "platform/Registry.h"

namespace qvl::platform {

RegistryStandIn& registryStandIn() {
    static RegistryStandIn registry;
    return registry;
}

void setDataAccessVersion(const std::string& version) {
    std::lock_guard lock(registryStandIn().mutex);
    registryStandIn().values[{kHkeyLocalMachine, "SOFTWARE\\Microsoft\\DataAccess", "Version"}] = version;
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
