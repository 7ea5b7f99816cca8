#pragma once
// The search: which folders of the index match a text, in index order. A large index is
// scanned on every core, a few blocks at a time, and the hits handed on in order, so that
// a million hits never sit in memory at once.

#include "search/Pattern.h"

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

namespace qvl::search {

struct SearchQuery {
    std::string text;
    int mode = ContainingSearch; // 1 containing, 2 exact
    bool allDrives = true;       // false: only the drives in `drives`
    std::string drives;          // drive letters, for allDrives == false
    // For a caller that keeps only the shortest paths: a hit whose full path is this many
    // bytes or longer is left out, unless its name is the text itself (case ignored). The
    // caller may lower it while the search runs; it must outlive the cursor.
    const std::atomic<size_t>* shorterThan = nullptr;
};

struct SearchHit {
    char driveLetter;
    std::string_view fullDirectory; // valid until the next call of next()
    std::string_view directory;
};

enum class SearchError { None, WrongCriteria, NoIndex, Damaged, Untrusted };

class SearchCursor {
public:
    SearchCursor();
    ~SearchCursor();
    SearchCursor(SearchCursor&&) noexcept;
    SearchCursor& operator=(SearchCursor&&) noexcept;

    // Opens the search on the index at dbConnect. WrongCriteria: a search limited to
    // drives with no drive given; NoIndex: there is no index file; Damaged: the file is
    // not an index that can be read, or its contents fail their checks (also from
    // next(), mid-search; rows given before were checked); Untrusted: the file is not
    // this user's alone (see store::Db::open). The file is never changed.
    SearchError open(const std::string& dbConnect, const SearchQuery& query);
    // The next hit; false at the end, on a read failure (then error() is set) or once
    // the cancel token is set.
    bool next(SearchHit& hit);
    // After open: a token that ends the search where it is, within a few blocks: next()
    // returns false and canceled() is true. The token must outlive the cursor.
    void setCancel(const std::atomic<bool>* token);
    bool canceled() const;
    // How many threads scan the index: one, or one per core for a large index.
    size_t scanners() const;
    SearchError error() const;
    // What went wrong, for a person.
    const std::string& message() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

} // namespace qvl::search
