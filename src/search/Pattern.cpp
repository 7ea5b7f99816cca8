#include "search/Pattern.h"

#include "text/TextFold.h"

#include <algorithm>
#include <bit>
#include <cstring>

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

} // namespace

bool likeMatch(std::string_view name, std::string_view pattern) {
    // Greedy match with one backtrack point, at the last "%": linear for the usual
    // patterns, at worst name length times pattern length.
    size_t n = 0, p = 0;
    size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
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
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '%')
        ++p;
    return p == pattern.size();
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
            if (likeMatch(std::string_view(names + s, ends[i] - s), m_needle))
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

const char* NameMatcher::findNeedle(const char* hay, size_t size) const {
    // An exact needle filters on the name's own first and last bytes, not its NULs.
    size_t m = m_needle.size();
    bool exact = m_kind == Kind::Exact;
    return findBytes(hay, size, m_needle.data(), m, exact ? 1 : 0, exact ? m - 2 : m - 1);
}

} // namespace qvl::search
