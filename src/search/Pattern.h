#pragma once
// What a search compares each folded folder name with, and the scan over a block of
// names that finds the next name that matches.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qvl::search {

enum SearchMode : int16_t { ContainingSearch = 1, ExactSearch = 2 };

// Whether `name` matches the LIKE pattern `pattern` ("%": any run of characters, "_":
// exactly one character, anything else itself). Both are compared byte for byte, so
// callers fold them first. A character is one UTF-8 sequence, or one stray byte.
bool likeMatch(std::string_view name, std::string_view pattern);
// The same answer by the state machine alone, which likeMatch uses where going back and
// forth would cost more than a few steps per byte; for tests.
bool likeMatchInParallel(std::string_view name, std::string_view pattern);

class LikeProgram;

class NameMatcher {
public:
    // `text` as typed; mode 1 finds names containing it ("%" and "_" are wildcards),
    // mode 2 names equal to it, any other mode every name. Case is ignored.
    NameMatcher(std::string_view text, int mode);

    // A block of names: names[0] is NUL, then each folded name followed by NUL;
    // ends[i] is the offset of the NUL after name i. Returns the first i >= from whose
    // name matches, or count.
    size_t findNext(const char* names, size_t size, const uint32_t* ends, size_t count, size_t from) const;

    // The folded name an exact search looks for; empty for the other searches.
    std::string_view exactName() const {
        return m_kind == Kind::Exact ? std::string_view(m_needle).substr(1, m_needle.size() - 2)
                                     : std::string_view();
    }
    // Whether any name of the block can match: false only when none can.
    bool mayMatch(const char* names, size_t size) const;
    // The folded bytes every matching name contains, in runs: a containing search's
    // text, a pattern's runs between wildcards; none for the other searches.
    std::vector<std::string_view> literals() const;

private:
    const char* findNeedle(const char* hay, size_t size) const;

    enum class Kind { Nothing, Everything, Substring, Exact, Like };
    Kind m_kind;
    std::string m_needle;
    std::shared_ptr<const LikeProgram> m_like; // a "%"/"_" pattern, compiled once
};

} // namespace qvl::search
