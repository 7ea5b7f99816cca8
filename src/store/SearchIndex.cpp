#include "store/SearchIndex.h"

#include <algorithm>
#include <cstring>

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

} // namespace

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
