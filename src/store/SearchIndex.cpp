#include "store/SearchIndex.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace qvl::store {

namespace {

void putVarint(std::string& out, size_t v) {
    while (v >= 0x80) {
        out += static_cast<char>(0x80 | (v & 0x7F));
        v >>= 7;
    }
    out += static_cast<char>(v);
}

bool getVarint(std::string_view& in, size_t& v) {
    v = 0;
    for (int shift = 0; shift < 35 && !in.empty(); shift += 7) {
        auto b = static_cast<unsigned char>(in.front());
        in.remove_prefix(1);
        v |= static_cast<size_t>(b & 0x7F) << shift;
        if (b < 0x80)
            return true;
    }
    return false;
}

// Bit positions of a hash in a filter of `bits` bits (a power of two).
std::pair<uint64_t, uint64_t> filterBits(uint64_t hash, uint64_t bits) {
    return {hash & (bits - 1), (hash >> 32) & (bits - 1)};
}

} // namespace

uint64_t nameHash(std::string_view folded) {
    uint64_t h = 1469598103934665603ull; // FNV-1a
    for (char c : folded)
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return h ^ (h >> 29);
}

bool filterMayContain(std::string_view filter, uint64_t hash) {
    uint64_t bits = filter.size() * 8;
    if (bits == 0 || (bits & (bits - 1)) != 0)
        return true; // no usable filter: the names must be scanned
    auto [a, b] = filterBits(hash, bits);
    auto test = [&](uint64_t bit) { return (static_cast<unsigned char>(filter[bit / 8]) >> (bit % 8)) & 1; };
    return test(a) && test(b);
}

void BlockBuilder::add(char drive, std::string_view fullDirectory, std::string_view foldedName) {
    m_block.names.append(foldedName);
    m_block.names += '\0';
    auto end = static_cast<uint32_t>(m_block.names.size() - 1);
    char endBytes[4];
    std::memcpy(endBytes, &end, 4);
    m_block.ends.append(endBytes, 4);
    m_block.drives += drive;

    size_t shared = 0;
    size_t limit = std::min(m_previous.size(), fullDirectory.size());
    while (shared < limit && m_previous[shared] == fullDirectory[shared])
        ++shared;
    putVarint(m_block.paths, shared);
    putVarint(m_block.paths, fullDirectory.size() - shared);
    m_block.paths.append(fullDirectory.substr(shared));
    m_previous.assign(fullDirectory);
}

Block BlockBuilder::take() {
    Block block = std::move(m_block);
    uint64_t bits = 64;
    while (bits < 16 * block.drives.size())
        bits *= 2;
    block.filter.assign(bits / 8, '\0');
    std::string_view names(block.names);
    for (size_t start = 1; start < names.size();) {
        size_t end = names.find('\0', start);
        auto [a, b] = filterBits(nameHash(names.substr(start, end - start)), bits);
        block.filter[a / 8] = static_cast<char>(block.filter[a / 8] | (1 << (a % 8)));
        block.filter[b / 8] = static_cast<char>(block.filter[b / 8] | (1 << (b % 8)));
        start = end + 1;
    }
    m_block = Block();
    m_previous.clear();
    return block;
}

bool PathDecoder::next(std::string_view& path) {
    size_t shared, rest;
    if (!getVarint(m_in, shared) || !getVarint(m_in, rest) || shared > m_path.size() || rest > m_in.size())
        return false;
    m_path.resize(shared);
    m_path.append(m_in.substr(0, rest));
    m_in.remove_prefix(rest);
    path = m_path;
    return true;
}

} // namespace qvl::store
