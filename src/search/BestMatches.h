#pragma once
// The few folders worth showing first for a text, for a launcher that shows one screen of
// them: folders named exactly the text before those whose name only contains it, then the
// shortest paths (the folders nearest the top of their drive), then index order.

#include "search/Search.h"

#include <string>
#include <vector>

namespace qvl::search {

struct RankedHit {
    char driveLetter = 0;
    std::string fullDirectory; // as the index gives it, with its separator at the end
    bool exact = false;        // the name is the text, case ignored
};

// The best `limit` folders of a containing search for `text` on every drive, best first.
// Reads the whole index, keeping only `limit` folders at a time. The error and message
// are the search's.
SearchError bestMatches(const std::string& dbConnect, const std::string& text, size_t limit,
                        std::vector<RankedHit>& out, std::string& message);

} // namespace qvl::search
