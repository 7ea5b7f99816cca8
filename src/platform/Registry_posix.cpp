#include "platform/Registry.h"

#include <sqlite3.h>

#include <map>
#include <mutex>
#include <tuple>

namespace qvl::platform {

namespace {

using Key = std::tuple<unsigned long, std::string, std::string>;

struct StandIn {
    std::mutex mutex;
    std::map<Key, std::string> values{
        {{kHkeyLocalMachine, "SOFTWARE\\Microsoft\\DataAccess", "Version"}, sqlite3_libversion()}};
};

StandIn& standIn() {
    static StandIn registry;
    return registry;
}

} // namespace

bool registryRead(unsigned long root, const std::string& subkey, const std::string& name,
                  std::string& value) {
    std::lock_guard lock(standIn().mutex);
    auto it = standIn().values.find({root, subkey, name});
    if (it == standIn().values.end())
        return false;
    value = it->second;
    return true;
}

void registrySetForTests(unsigned long root, const std::string& subkey, const std::string& name,
                         const std::string& value) {
    std::lock_guard lock(standIn().mutex);
    if (value.empty())
        standIn().values.erase({root, subkey, name});
    else
        standIn().values[{root, subkey, name}] = value;
}

} // namespace qvl::platform
