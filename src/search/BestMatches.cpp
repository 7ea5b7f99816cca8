#include "search/BestMatches.h"

#include "text/TextFold.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <tuple>

namespace qvl::search {

namespace {

struct Ranked {
    bool partial; // false for an exact name, which comes first
    size_t length;
    uint64_t order; // the index's order, between paths of one length
    RankedHit hit;
    auto key() const { return std::tie(partial, length, order); }
};

bool better(const Ranked& a, const Ranked& b) {
    return a.key() < b.key();
}

} // namespace

SearchError bestMatches(const std::string& dbConnect, const std::string& text, size_t limit,
                        std::vector<RankedHit>& out, std::string& message) {
    out.clear();
    // The scanners leave out, unread, what can no longer be among the best: once `limit`
    // are kept, any path as long as the worst of them (a later hit loses a tie), unless
    // its name is exact; once only exact names are kept, every other one.
    std::atomic<size_t> shorterThan{SIZE_MAX};
    SearchQuery query;
    query.text = text;
    query.shorterThan = &shorterThan;
    SearchCursor cursor;
    SearchError e = cursor.open(dbConnect, query);
    message = cursor.message();
    if (e != SearchError::None || limit == 0)
        return e;
    const std::string wanted = text::fold(text);
    // A max-heap of the best so far: its top is the one the next better hit replaces.
    std::vector<Ranked> best;
    best.reserve(limit);
    std::string folded;
    SearchHit hit;
    for (uint64_t order = 0; cursor.next(hit); ++order) {
        const size_t length = hit.fullDirectory.size();
        if (best.size() == limit) {
            const Ranked& worst = best.front();
            // Past the worst kept one even as an exact name: no need to fold it.
            if (!worst.partial && length >= worst.length)
                continue;
        }
        folded.clear();
        text::foldAppend(hit.directory, folded);
        Ranked r{folded != wanted, length, order, {}};
        if (best.size() == limit) {
            if (!better(r, best.front()))
                continue;
            std::pop_heap(best.begin(), best.end(), better);
            best.pop_back();
        }
        r.hit = RankedHit{hit.driveLetter, std::string(hit.fullDirectory), !r.partial};
        best.push_back(std::move(r));
        std::push_heap(best.begin(), best.end(), better);
        if (best.size() == limit)
            shorterThan.store(best.front().partial ? best.front().length : 0, std::memory_order_relaxed);
    }
    if (cursor.error() != SearchError::None) {
        message = cursor.message();
        return cursor.error();
    }
    std::sort_heap(best.begin(), best.end(), better);
    out.reserve(best.size());
    for (Ranked& r : best)
        out.push_back(std::move(r.hit));
    return SearchError::None;
}

} // namespace qvl::search
