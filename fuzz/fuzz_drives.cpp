// Drive lists from QVL_DRIVES and the system's mount table: any bytes are parsed or
// refused, never read past.
#include "indexer/DriveCatalogue.h"
#include "platform/Platform.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    qvl::indexer::DriveCatalogue catalogue;
    catalogue.parse(text);
    for (char c = 'A'; c <= 'Z'; ++c)
        catalogue.find(c);
    qvl::platform::parseMountTable(text);
    return 0;
}
