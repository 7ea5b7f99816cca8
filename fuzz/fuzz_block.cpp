// A search block read back from a damaged file: whatever the bytes, the checks either
// refuse it or every read through it stays inside its blobs; the two ways of reading
// its paths agree.
#include "search/Pattern.h"
#include "store/SearchIndex.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6)
        return 0;
    // Three 16-bit lengths cut the rest into names, ends, drives and paths.
    std::string_view rest(reinterpret_cast<const char*>(data + 6), size - 6);
    std::string_view parts[4];
    for (int k = 0; k < 3; ++k) {
        size_t len = std::min<size_t>(rest.size(), data[2 * k] | data[2 * k + 1] << 8);
        parts[k] = rest.substr(0, len);
        rest.remove_prefix(len);
    }
    parts[3] = rest;
    // Owned copies, so that AddressSanitizer sees the exact end of each blob.
    std::vector<std::string> owned(parts, parts + 4);
    qvl::store::BlockView block{owned[0], owned[1], owned[2], owned[3]};
    const uint64_t hash = qvl::store::nameHash(block.names);
    qvl::store::partMayContain(owned[3], hash);
    qvl::store::blobSum(block.paths);
    // Reading every path in turn, and reading some of them by row, give the same paths.
    qvl::store::PathDecoder paths(block.paths), byRow(block.paths);
    std::string_view path, other;
    for (size_t i = 0; i < 64 && paths.next(path); ++i) {
        if (((i * 0x9E37u) >> 3) % 3 != 0)
            continue;
        if (!byRow.at(i, other) || other != path)
            __builtin_trap();
    }
    if (!qvl::store::blockIsWellFormed(block))
        return 0;
    std::vector<uint32_t> ends(block.count());
    if (!ends.empty()) // memcpy is not to be given the null of an empty vector
        std::memcpy(ends.data(), block.ends.data(), block.ends.size());
    for (const char* text : {"a", "%", "a_b", "ab%c", "x"})
        for (int mode : {qvl::search::ContainingSearch, qvl::search::ExactSearch}) {
            qvl::search::NameMatcher matcher(text, mode);
            matcher.mayMatch(block.names.data(), block.names.size());
            for (size_t i = 0; i < block.count(); ++i)
                i = matcher.findNext(block.names.data(), block.names.size(), ends.data(), block.count(), i);
        }
    return 0;
}
