#include "search/Pattern.h"

#include "text/TextFold.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QVL_HAVE_SSE2 1
#endif

namespace qvl::search {

namespace {

// Length of the character starting at s[i]: a UTF-8 sequence when its continuation
// bytes are there, else one byte. Folded text keeps stray bytes as they are.
size_t charLength(std::string_view s, size_t i) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (i + len > s.size())
        return 1;
    for (size_t k = 1; k < len; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 1;
    return len;
}

size_t startOf(const uint32_t* ends, size_t i) {
    return i == 0 ? 1 : ends[i - 1] + 1;
}

// First occurrence of needle[0..m) in hay[0..n), or nullptr. Sixteen start positions
// at a time are filtered on two needle bytes (`a` and `b`, chosen by the caller to be
// rare), and only survivors are compared in full. Portable C++ finishes what SSE2
// leaves, and does all of it where SSE2 is missing.
const char* findBytes(const char* hay, size_t n, const char* needle, size_t m, size_t a, size_t b) {
    if (m == 0)
        return hay;
    if (n < m)
        return nullptr;
    size_t i = 0;
#ifdef QVL_HAVE_SSE2
    const __m128i first = _mm_set1_epi8(needle[a]), second = _mm_set1_epi8(needle[b]);
    for (; i + m + 15 <= n; i += 16) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + a));
        __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + b));
        auto mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(x, first), _mm_cmpeq_epi8(y, second))));
        while (mask != 0) {
            auto bit = static_cast<unsigned>(std::countr_zero(mask));
            if (std::memcmp(hay + i + bit, needle, m) == 0)
                return hay + i + bit;
            mask &= mask - 1;
        }
    }
#endif
    size_t at = std::string_view(hay + i, n - i).find(std::string_view(needle, m));
    return at == std::string_view::npos ? nullptr : hay + i + at;
}

// Greedy match with one backtrack point, at the last "%": linear for the usual patterns
// (it rarely goes back far), but name length times pattern length at worst, as for
// "%a_a_a_...%" over "aaaa...". It gives up after `budget` steps: -1, else 0 or 1.
int greedyLike(std::string_view name, std::string_view pattern, size_t budget) {
    size_t n = 0, p = 0;
    size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (budget-- == 0)
            return -1;
        if (p < pattern.size() && pattern[p] == '%') {
            starP = ++p;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == '_') {
            n += charLength(name, n);
            ++p;
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++n;
            ++p;
        } else if (starP != std::string_view::npos) {
            starN += charLength(name, starN);
            n = starN;
            p = starP;
        } else {
            return 0;
        }
    }
    while (p < pattern.size() && pattern[p] == '%')
        ++p;
    return p == pattern.size() ? 1 : 0;
}

} // namespace

// The pattern as a set of states run in parallel, one bit per pattern position: a name
// is read once, byte by byte, whatever the pattern, so "a_" written a hundred times costs
// no more per byte than "a". It is slower per byte than the greedy match, so it takes
// over only where that one would go back and forth too long. A "_" or "%" moves on by a
// whole character (1 to 4 bytes), so the states of the next four byte positions are kept
// in a ring.
class LikeProgram {
public:
    explicit LikeProgram(std::string_view pattern) {
        // "%%" is "%": collapsed, one step of closure covers every "%".
        for (char c : pattern)
            if (c != '%' || m_pattern.empty() || m_pattern.back() != '%')
                m_pattern += c;
        m_words = (m_pattern.size() + 1 + 63) / 64;
        m_literal.assign(256 * m_words, 0);
        m_any.assign(m_words, 0);
        m_run.assign(m_words, 0);
        for (size_t j = 0; j < m_pattern.size(); ++j) {
            const uint64_t bit = uint64_t(1) << (j % 64);
            if (m_pattern[j] == '%')
                m_run[j / 64] |= bit;
            else if (m_pattern[j] == '_')
                m_any[j / 64] |= bit;
            else
                m_literal[static_cast<unsigned char>(m_pattern[j]) * m_words + j / 64] |= bit;
        }
        m_endsInRun = !m_pattern.empty() && m_pattern.back() == '%';
    }

    bool matches(std::string_view name) const {
        // A usual pattern costs a few steps per byte of the name plus the pattern; past
        // that, the greedy match is going back and forth and the state machine takes over.
        int quick = greedyLike(name, m_pattern, 4 * (name.size() + m_pattern.size()) + 16);
        return quick >= 0 ? quick == 1 : matchInParallel(name);
    }

    bool matchInParallel(std::string_view name) const {
        const size_t w = m_words, m = m_pattern.size();
        thread_local std::vector<uint64_t> ring;
        ring.assign(5 * w, 0);
        auto at = [&](size_t position) { return ring.data() + (position % 5) * w; };
        // Bit j of a set moved to bit j + 1.
        auto orShifted = [w](uint64_t* to, const uint64_t* bits) {
            uint64_t carry = 0;
            for (size_t k = 0; k < w; ++k) {
                to[k] |= (bits[k] << 1) | carry;
                carry = bits[k] >> 63;
            }
        };
        auto close = [&](uint64_t* set) { // a "%" may match nothing
            uint64_t carry = 0;
            for (size_t k = 0; k < w; ++k) {
                const uint64_t runs = set[k] & m_run[k];
                set[k] |= (runs << 1) | carry;
                carry = runs >> 63;
            }
        };
        auto has = [&](const uint64_t* set, size_t j) { return (set[j / 64] >> (j % 64)) & 1; };
        at(0)[0] = 1;
        size_t furthest = 0; // no set beyond this position holds a state
        thread_local std::vector<uint64_t> scratch;
        scratch.resize(w);
        for (size_t i = 0; i < name.size(); ++i) {
            uint64_t* now = at(i);
            close(now);
            bool empty = true;
            for (size_t k = 0; k < w && empty; ++k)
                empty = now[k] == 0;
            if (empty) {
                if (i >= furthest)
                    return false; // no state left anywhere ahead
                continue;
            }
            if (m_endsInRun && has(now, m - 1))
                return true; // the last "%" takes the rest
            const auto byte = static_cast<unsigned char>(name[i]);
            const size_t length = byte < 0x80 ? 1 : charLength(name, i);
            const uint64_t* literal = m_literal.data() + byte * w;
            uint64_t* next = at(i + 1);
            uint64_t* after = at(i + length);
            for (size_t k = 0; k < w; ++k)
                scratch[k] = now[k] & literal[k];
            orShifted(next, scratch.data());
            for (size_t k = 0; k < w; ++k)
                scratch[k] = now[k] & m_any[k];
            orShifted(after, scratch.data());
            for (size_t k = 0; k < w; ++k)
                after[k] |= now[k] & m_run[k];
            std::fill(now, now + w, 0);
            furthest = std::max(furthest, i + length);
        }
        uint64_t* last = at(name.size());
        close(last);
        return has(last, m);
    }

private:
    std::string m_pattern;
    size_t m_words;
    std::vector<uint64_t> m_literal;    // per byte value: the positions that are that byte
    std::vector<uint64_t> m_any, m_run; // the positions of "_" and of "%"
    bool m_endsInRun;
};

bool likeMatch(std::string_view name, std::string_view pattern) {
    return LikeProgram(pattern).matches(name);
}

bool likeMatchInParallel(std::string_view name, std::string_view pattern) {
    return LikeProgram(pattern).matchInParallel(name);
}

NameMatcher::NameMatcher(std::string_view text, int mode) {
    std::string folded = text::fold(text);
    bool hasNul = folded.find('\0') != std::string::npos;
    if (mode == ExactSearch) {
        m_kind = folded.empty() || hasNul ? Kind::Nothing : Kind::Exact;
        m_needle = std::string(1, '\0') + folded + std::string(1, '\0');
    } else if (mode == ContainingSearch) {
        if (hasNul) {
            m_kind = Kind::Nothing;
        } else if (folded.find_first_not_of('%') == std::string::npos) {
            m_kind = Kind::Everything;
        } else if (folded.find_first_of("%_") != std::string::npos ||
                   (static_cast<unsigned char>(folded[0]) & 0xC0) == 0x80) {
            // A text that begins with a stray continuation byte (not UTF-8) may match only
            // where a character begins, never inside one; the byte search cannot tell.
            m_kind = Kind::Like;
            m_needle = "%" + folded + "%";
            m_like = std::make_shared<const LikeProgram>(m_needle);
        } else {
            m_kind = Kind::Substring;
            m_needle = std::move(folded);
        }
    } else {
        m_kind = Kind::Everything;
    }
}

size_t NameMatcher::findNext(const char* names, size_t size, const uint32_t* ends, size_t count,
                             size_t from) const {
    if (from >= count)
        return count;
    switch (m_kind) {
    case Kind::Nothing:
        return count;
    case Kind::Everything:
        return from;
    case Kind::Substring:
    case Kind::Exact: {
        // The exact needle carries the NULs around the name, so it starts on the NUL
        // before the name; a substring needle has no NUL and cannot span two names.
        size_t start = startOf(ends, from) - (m_kind == Kind::Exact ? 1 : 0);
        const char* hit = findNeedle(names + start, size - start);
        if (!hit)
            return count;
        auto pos = static_cast<uint32_t>(hit - names);
        return static_cast<size_t>(std::upper_bound(ends, ends + count, pos) - ends);
    }
    case Kind::Like:
        for (size_t i = from; i < count; ++i) {
            size_t s = startOf(ends, i);
            if (m_like->matches(std::string_view(names + s, ends[i] - s)))
                return i;
        }
        return count;
    }
    return count;
}

bool NameMatcher::mayMatch(const char* names, size_t size) const {
    if (m_kind == Kind::Nothing)
        return false;
    if (m_kind != Kind::Substring && m_kind != Kind::Exact)
        return true;
    return findNeedle(names, size) != nullptr;
}

std::vector<std::string_view> NameMatcher::literals() const {
    std::vector<std::string_view> runs;
    if (m_kind == Kind::Substring)
        runs.push_back(m_needle);
    if (m_kind != Kind::Like)
        return runs;
    std::string_view rest(m_needle);
    while (!rest.empty()) {
        size_t wild = rest.find_first_of("%_");
        if (wild != 0)
            runs.push_back(rest.substr(0, wild));
        if (wild == std::string_view::npos)
            break;
        rest.remove_prefix(wild + 1);
    }
    return runs;
}

const char* NameMatcher::findNeedle(const char* hay, size_t size) const {
    // An exact needle filters on the name's own first and last bytes, not its NULs.
    size_t m = m_needle.size();
    bool exact = m_kind == Kind::Exact;
    return findBytes(hay, size, m_needle.data(), m, exact ? 1 : 0, exact ? m - 2 : m - 1);
}

} // namespace qvl::search
