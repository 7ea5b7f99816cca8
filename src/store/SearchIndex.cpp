#include "store/SearchIndex.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
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

// The hash mixed once more (the finaliser of splitmix64), so that the part a name goes
// to and its bit positions in it come from independent-looking bits.
uint64_t mixed(uint64_t hash) {
    hash = (hash ^ (hash >> 30)) * 0xBF58476D1CE4E5B9ull;
    hash = (hash ^ (hash >> 27)) * 0x94D049BB133111EBull;
    return hash ^ (hash >> 31);
}

// The three bit positions of a hash in a part of `bits` bits (a multiple of 64, under
// 2^20): each from 20 bits of the hash scaled into range.
std::array<uint64_t, 3> partBits(uint64_t hash, uint64_t bits) {
    const uint64_t m = mixed(hash);
    return {((m & 0xFFFFF) * bits) >> 20, (((m >> 20) & 0xFFFFF) * bits) >> 20,
            (((m >> 40) & 0xFFFFF) * bits) >> 20};
}

} // namespace

uint64_t nameHash(std::string_view folded) {
    uint64_t h = 1469598103934665603ull; // FNV-1a
    for (char c : folded)
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return h ^ (h >> 29);
}

uint64_t blobSum(std::string_view bytes) {
    constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
    uint64_t lane[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull,
                        0x082EFA98EC4E6C89ull};
    const char* p = bytes.data();
    size_t n = bytes.size();
    auto word = [](const char* at) {
        uint64_t w;
        std::memcpy(&w, at, 8);
        return w;
    };
    for (; n >= 32; p += 32, n -= 32)
        for (int k = 0; k < 4; ++k)
            lane[k] = (lane[k] ^ word(p + 8 * k)) * kMul;
    for (int k = 0; n > 0; k = (k + 1) % 4) {
        char tail[8] = {};
        size_t take = std::min<size_t>(n, 8);
        std::memcpy(tail, p, take);
        lane[k] = (lane[k] ^ word(tail)) * kMul;
        p += take;
        n -= take;
    }
    uint64_t h = bytes.size() * kMul;
    for (uint64_t l : lane)
        h = ((h ^ l ^ (l >> 31)) * kMul) ^ (h >> 29);
    return h;
}

bool blockIsWellFormed(const BlockView& block) {
    const std::string_view names = block.names;
    const size_t count = block.count();
    if (names.empty() || names.front() != '\0' || names.back() != '\0' || block.ends.size() != 4 * count)
        return false;
    uint32_t previous = 0;
    for (size_t i = 0; i < count; ++i) {
        uint32_t end;
        std::memcpy(&end, block.ends.data() + 4 * i, 4);
        if (end <= previous || end >= names.size() || names[end] != '\0')
            return false;
        previous = end;
    }
    return count == 0 || previous == names.size() - 1;
}

uint64_t rowsSum(const BlockView& block) {
    // Rotated apart, so that blobs swapped between columns do not cancel out.
    return blobSum(block.ends) ^ std::rotl(blobSum(block.drives), 21) ^ std::rotl(blobSum(block.paths), 42);
}

unsigned filterPart(uint64_t hash) {
    return static_cast<unsigned>(mixed(hash) >> 58); // the top 6 bits: 64 parts
}

bool partMayContain(std::string_view part, uint64_t hash) {
    const uint64_t bits = part.size() * 8;
    if (bits == 0 || bits % 64 != 0 || bits >= (uint64_t{1} << 20))
        return true; // no usable filter: the names must be scanned
    for (uint64_t bit : partBits(hash, bits))
        if (!((static_cast<unsigned char>(part[bit / 8]) >> (bit % 8)) & 1))
            return false;
    return true;
}

namespace {

// Parts for `hashes`, `bitsEach` bits a hash over all parts, at least 64 in each.
std::string partsFor(const std::vector<uint64_t>& hashes, uint64_t bitsEach) {
    const uint64_t partBitCount =
        std::max<uint64_t>(64, (bitsEach * hashes.size() / kFilterParts + 63) / 64 * 64);
    const size_t partBytes = partBitCount / 8;
    std::string parts(kFilterParts * partBytes, '\0');
    for (uint64_t hash : hashes) {
        char* part = parts.data() + filterPart(hash) * partBytes;
        for (uint64_t bit : partBits(hash, partBitCount))
            part[bit / 8] = static_cast<char>(part[bit / 8] | (1 << (bit % 8)));
    }
    return parts;
}

template <typename Fn> void eachName(std::string_view names, Fn fn) {
    for (size_t start = 1; start < names.size();) {
        size_t end = names.find('\0', start);
        if (end == std::string_view::npos)
            return;
        fn(names.substr(start, end - start));
        start = end + 1;
    }
}

} // namespace

std::string buildFilter(std::string_view names) {
    // 16 bits a name. Three bits a name keep false hits under 1% even though names do not
    // spread over the parts evenly.
    std::vector<uint64_t> hashes;
    eachName(names, [&](std::string_view name) { hashes.push_back(nameHash(name)); });
    return partsFor(hashes, 16);
}

namespace {

uint32_t gramCode(const char* p) {
    return static_cast<uint32_t>(static_cast<unsigned char>(p[0])) | static_cast<unsigned char>(p[1]) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(p[2])) << 16;
}

uint64_t hashOfGram(uint32_t code) {
    return (uint64_t{code} + 1) * 0x9E3779B97F4A7C15ull;
}

} // namespace

uint64_t gramHash(std::string_view three) {
    return three.size() < 3 ? 0 : hashOfGram(gramCode(three.data()));
}

std::string buildGrams(std::string_view names) {
    // Each distinct three bytes once, 12 bits each: about 1% of the grams a block lacks
    // pass, and a needle passes only where each of its grams does. A bit for every three
    // bytes there are (2 MB, one set a thread) marks those seen; cleared again after, it
    // costs a few nanoseconds a gram, where sorting them was a sixth of writing an index.
    // From calloc, so that only the pages of grams that occur are ever given memory (a
    // few hundred KB for names in one script).
    struct Free {
        void operator()(uint64_t* p) const { std::free(p); }
    };
    thread_local const std::unique_ptr<uint64_t[], Free> seen(
        static_cast<uint64_t*>(std::calloc(size_t{1} << 18, sizeof(uint64_t))));
    if (!seen)
        throw std::bad_alloc();
    std::vector<uint32_t> codes;
    eachName(names, [&](std::string_view name) {
        for (size_t i = 0; i + 3 <= name.size(); ++i) {
            const uint32_t code = gramCode(name.data() + i);
            uint64_t& word = seen[code >> 6];
            const uint64_t bit = uint64_t{1} << (code & 63);
            if (!(word & bit)) {
                word |= bit;
                codes.push_back(code);
            }
        }
    });
    std::vector<uint64_t> hashes;
    hashes.reserve(codes.size());
    for (uint32_t code : codes) {
        hashes.push_back(hashOfGram(code));
        seen[code >> 6] = 0;
    }
    return partsFor(hashes, 12);
}

std::string_view filterPartOf(std::string_view filter, unsigned part) {
    const size_t partBytes = filter.size() / kFilterParts;
    return filter.substr(part * partBytes, partBytes);
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
    block.filter = buildFilter(block.names);
    block.grams = buildGrams(block.names);
    m_block = Block();
    m_previous.clear();
    return block;
}

void PathDecoder::reset(std::string_view paths) {
    m_all = m_in = paths;
    m_path.clear();
    m_entries.clear();
    m_pathRow = SIZE_MAX;
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

bool PathDecoder::lengthAt(size_t row, size_t& length) {
    if (m_all.size() > UINT32_MAX || (m_pathRow != SIZE_MAX && row < m_pathRow) || !parseTo(row))
        return false;
    length = m_entries[row].length;
    return true;
}

bool PathDecoder::parseTo(size_t row) {
    if (m_entries.size() <= row) {
        // The rows before it parsed in one tight loop: a search's first hit in a block is
        // on average a thousand rows in, and the lengths nearly always take a byte each.
        const auto* p = reinterpret_cast<const unsigned char*>(m_in.data());
        const auto* end = p + m_in.size();
        const auto* base = reinterpret_cast<const unsigned char*>(m_all.data());
        size_t previous = m_entries.empty() ? 0 : m_entries.back().length;
        while (m_entries.size() <= row) {
            size_t shared, rest;
            if (end - p >= 2 && p[0] < 0x80 && p[1] < 0x80) {
                shared = p[0];
                rest = p[1];
                p += 2;
            } else {
                std::string_view in(reinterpret_cast<const char*>(p), static_cast<size_t>(end - p));
                if (!getVarint(in, shared) || !getVarint(in, rest))
                    return false;
                p = reinterpret_cast<const unsigned char*>(in.data());
            }
            if (shared > previous || rest > static_cast<size_t>(end - p))
                return false;
            previous = shared + rest;
            m_entries.push_back({static_cast<uint32_t>(shared), static_cast<uint32_t>(p - base),
                                 static_cast<uint32_t>(previous)});
            p += rest;
        }
        m_in = std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(end - p));
    }
    return true;
}

bool PathDecoder::at(size_t row, std::string_view& path) {
    if (m_all.size() > UINT32_MAX || (m_pathRow != SIZE_MAX && row < m_pathRow) || !parseTo(row))
        return false;
    // Spelt out from the back: the row's own bytes, then each row before it gives the
    // bytes from where it shares with its own predecessor up to what is still missing,
    // until nothing is (or the last path spelt out gives the rest).
    const Entry& target = m_entries[row];
    m_scratch.resize(target.length);
    size_t missing = target.shared;
    std::memcpy(m_scratch.data() + missing, m_all.data() + target.rest, target.length - missing);
    for (size_t j = row; missing > 0;) {
        --j; // row 0 shares nothing, so j stays in range
        if (j == m_pathRow) {
            std::memcpy(m_scratch.data(), m_path.data(), missing);
            break;
        }
        const Entry& e = m_entries[j];
        if (e.shared < missing) {
            std::memcpy(m_scratch.data() + e.shared, m_all.data() + e.rest, missing - e.shared);
            missing = e.shared;
        }
    }
    std::swap(m_scratch, m_path);
    m_pathRow = row;
    path = m_path;
    return true;
}

} // namespace qvl::store
