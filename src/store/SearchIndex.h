#pragma once
// The search blocks: the index rows in index order, cut into blocks of a few thousand
// rows that each fit in one 64 KiB database page. A block holds the folded names
// NUL-separated (a search scans them whole), the offset of each name's end, one drive
// letter per row, the full paths front-coded (each path as the length it shares with
// the one before, then the rest), and a filter of 16 bits per name that an exact search
// checks instead of scanning the names (under 1% of blocks without the name pass it).
// The filter is cut into kFilterParts parts, and each name sets its bits in one part
// only, chosen by its hash: an exact search reads that one part of every block, which
// the index keeps together, instead of every block's whole filter. Internal to the core.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qvl::store {

// A 64-bit checksum of a blob, stored beside each block's blobs so that damage inside a
// file SQLite still reads (a flipped bit, a cut or grown blob) is an error, not a wrong
// answer. Four independent lanes of multiply-xor over 8-byte words: about 8 bytes a
// cycle, so checking the names of a block costs a fraction of scanning them. Every lane
// step is a bijection, so any change of one word, or of the length, changes the sum.
uint64_t blobSum(std::string_view bytes);

// The hash of a folded name that the block filters use.
uint64_t nameHash(std::string_view folded);

inline constexpr unsigned kFilterParts = 64;
// The part of a filter that holds the bits of this hash.
unsigned filterPart(uint64_t hash);
// False when no name of the block has this hash; true when one may have. `part` is the
// block's filter part filterPart(hash).
bool partMayContain(std::string_view part, uint64_t hash);
// The filter of the NUL-separated names `names` (as a block holds them): kFilterParts
// parts of equal size, one after the other.
std::string buildFilter(std::string_view names);
// A block's grams: a filter like the above of every run of three bytes in its names. A
// containing search skips a block that lacks any three bytes of its needle (or of a
// pattern's runs between wildcards).
uint64_t gramHash(std::string_view three);
std::string buildGrams(std::string_view names);
// Part `part` of a filter buildFilter or buildGrams made; filterPart and partMayContain
// serve both.
std::string_view filterPartOf(std::string_view filter, unsigned part);

struct BlockView {
    std::string_view names, ends, drives, paths;
    size_t count() const { return drives.size(); }
};

struct Block {
    std::string names = std::string(1, '\0'), ends, drives, paths, filter, grams;
    BlockView view() const { return {names, ends, drives, paths}; }
    // What is stored beside the names (see IndexStore's schema).
    size_t restBytes() const { return ends.size() + drives.size() + paths.size(); }
};

// Whether a block's blobs have the structure the search relies on: names start and end
// with NUL, one four-byte end per drive letter, each end inside the names on a NUL and
// after the one before. The paths are checked as they are decoded.
bool blockIsWellFormed(const BlockView& block);

// The sum over a block's ends, drives and paths together.
uint64_t rowsSum(const BlockView& block);

class BlockBuilder {
public:
    // A block closes once its names or the rest reach these sizes. The names of three
    // blocks share a 64 KiB page, the rest of two, with a row's worth of room: a page
    // holds whole rows only, so a block just too large for its share would leave half a
    // page empty.
    static constexpr size_t kMaxNameBytes = 20 * 1024;
    static constexpr size_t kMaxRestBytes = 31 * 1024;
    static constexpr size_t kMaxRows = 4096;

    void add(char drive, std::string_view fullDirectory, std::string_view foldedName);
    bool full() const {
        return m_block.names.size() >= kMaxNameBytes || m_block.restBytes() >= kMaxRestBytes ||
               m_block.drives.size() >= kMaxRows;
    }
    bool empty() const { return m_block.drives.empty(); }
    // Hands over the block built so far, with its filter, and starts the next.
    Block take();

private:
    Block m_block;
    std::string m_previous;
};

// Decodes the paths of a block in order.
class PathDecoder {
public:
    explicit PathDecoder(std::string_view paths = {})
        : m_all(paths)
        , m_in(paths) {}
    // Starts over on another block, keeping the memory it has.
    void reset(std::string_view paths);
    // The next path, valid until the next call; false at the end or on damage.
    bool next(std::string_view& path);
    // The path of row `row`, valid until the next call; rows ascend from call to call
    // (next() and at() are not mixed). The rows before it are only parsed, not spelt
    // out: a search wants a few paths of a block, and copying every path up to each
    // of them was most of what finding a rare name cost. False on damage.
    bool at(size_t row, std::string_view& path);
    // The length of row `row`'s path, parsed but not spelt out; rows ascend as for at(),
    // with which it may be mixed. False on damage.
    bool lengthAt(size_t row, size_t& length);

private:
    bool parseTo(size_t row); // m_entries up to `row`; false on damage

    struct Entry {
        uint32_t shared, rest, length; // rest: offset of the row's own bytes in m_all
    };

    std::string_view m_all, m_in;
    std::string m_path;
    // for at(): the rows parsed so far, and the last row spelt out (in m_path)
    std::vector<Entry> m_entries;
    std::string m_scratch;
    size_t m_pathRow = SIZE_MAX;
};

} // namespace qvl::store
