#pragma once
// Tests put values into the registry the program reads: the real one on Windows, the
// stand-in elsewhere. Only test programs link this.

#include <string>

namespace qvl::test {

// Sets the value `name` under `subkey` of `root`, or removes it when `value` is empty.
void setRegistryValue(unsigned long root, const std::string& subkey, const std::string& name,
                      const std::string& value);

} // namespace qvl::test
