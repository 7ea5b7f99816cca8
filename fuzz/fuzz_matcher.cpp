// The search text against a block of names: every hit the scan gives, and only those,
// must be what a plain reference matcher says; a block with a hit is never ruled out by
// its grams.
#include "../tests/LikeReference.h"
#include "search/Pattern.h"
#include "store/SearchIndex.h"
#include "text/TextFold.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool reference(const std::string& name, const std::string& text, int mode) {
    std::string folded = qvl::text::fold(text);
    if (folded.find('\0') != std::string::npos)
        return false;
    if (mode == qvl::search::ExactSearch)
        return !folded.empty() && name == folded;
    return qvl::test::likeReference(name, "%" + folded + "%");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const int mode = data[0] & 1 ? qvl::search::ExactSearch : qvl::search::ContainingSearch;
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    size_t cut = std::min<size_t>(rest.size(), data[0] >> 1);
    std::string text = rest.substr(0, cut);
    // The names: what follows, split at newlines, folded as the index stores them.
    std::string names(1, '\0');
    std::vector<uint32_t> ends;
    std::vector<std::string> folded;
    for (size_t at = cut; at <= rest.size() && ends.size() < 64;) {
        size_t nl = std::min(rest.find('\n', at), rest.size());
        std::string name = qvl::text::fold(rest.substr(at, nl - at));
        if (name.find('\0') == std::string::npos) {
            folded.push_back(name);
            names += name;
            names += '\0';
            ends.push_back(static_cast<uint32_t>(names.size() - 1));
        }
        at = nl + 1;
    }
    qvl::search::NameMatcher matcher(text, mode);
    std::vector<size_t> got, want;
    for (size_t i = matcher.findNext(names.data(), names.size(), ends.data(), ends.size(), 0);
         i < ends.size(); i = matcher.findNext(names.data(), names.size(), ends.data(), ends.size(), i + 1))
        got.push_back(i);
    for (size_t i = 0; i < folded.size(); ++i)
        if (reference(folded[i], text, mode))
            want.push_back(i);
    // The state machine alone, which the matcher reaches only on hard cases.
    if (mode == qvl::search::ContainingSearch && qvl::text::fold(text).find('\0') == std::string::npos)
        for (size_t i = 0; i < folded.size(); ++i)
            if (qvl::search::likeMatchInParallel(folded[i], "%" + qvl::text::fold(text) + "%") !=
                (std::find(want.begin(), want.end(), i) != want.end()))
                std::abort();
    if (got != want || (!want.empty() && !matcher.mayMatch(names.data(), names.size())))
        std::abort();
    if (!want.empty()) {
        const std::string grams = qvl::store::buildGrams(names);
        for (std::string_view run : matcher.literals())
            for (size_t i = 0; i + 3 <= run.size(); ++i) {
                const uint64_t hash = qvl::store::gramHash(run.substr(i, 3));
                if (!qvl::store::partMayContain(qvl::store::filterPartOf(grams, qvl::store::filterPart(hash)),
                                                hash))
                    std::abort();
            }
    }
    return 0;
}
