#include "text/TextFold.h"

#include "platform/Platform.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <cstdint>

namespace qvl::text {

namespace {

struct FoldRun {
    uint32_t first, last;
    int32_t delta;
    uint32_t stride;
};

constexpr FoldRun kFoldRuns[] = {
#include "text/TextFoldTable.inc"
};

uint32_t foldCodePoint(uint32_t cp) {
    auto it = std::upper_bound(std::begin(kFoldRuns), std::end(kFoldRuns), cp,
                               [](uint32_t c, const FoldRun& r) { return c < r.first; });
    if (it == std::begin(kFoldRuns))
        return cp;
    const FoldRun& r = *(it - 1);
    if (cp > r.last || (cp - r.first) % r.stride != 0)
        return cp;
    return static_cast<uint32_t>(static_cast<int32_t>(cp) + r.delta);
}

} // namespace

size_t decodeUtf8(const unsigned char* s, size_t n, uint32_t& cp) {
    unsigned char c = s[0];
    size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    if (len == 0 || len > n || c > 0xF4)
        return 0;
    cp = c & (0x3F >> (len - 1));
    for (size_t i = 1; i < len; ++i) {
        if ((s[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

void foldAppend(std::string_view text, std::string& out) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        unsigned char c = s[i];
        if (c < 0x80) {
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            ++i;
            continue;
        }
        uint32_t cp;
        size_t len = decodeUtf8(s + i, n - i, cp);
        if (len == 0) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        uint32_t folded = foldCodePoint(cp);
        if (folded == cp)
            out.append(text.data() + i, len);
        else
            platform::appendUtf8(folded, out);
        i += len;
    }
}

namespace {

int compareBytes(std::string_view a, std::string_view b) {
    int c = a.compare(b); // char_traits<char>::compare is memcmp: unsigned bytes
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// The component of `path` starting at `pos`, and the position after its separator.
std::string_view component(std::string_view path, size_t& pos) {
    size_t sep = path.find(platform::kSeparator, pos);
    if (sep == std::string_view::npos)
        sep = path.size();
    std::string_view part = path.substr(pos, sep - pos);
    pos = sep + 1;
    return part;
}

} // namespace

int comparePathKeys(std::string_view foldedA, std::string_view rawA, std::string_view foldedB,
                    std::string_view rawB) {
    // Component by component: folded names first, exact bytes for names that differ only
    // in case. Folding never makes or removes a separator, so the components of a path
    // and of its folded form line up. A path sorts before the paths below it.
    size_t fa = 0, ra = 0, fb = 0, rb = 0;
    while (fa < foldedA.size() && fb < foldedB.size()) {
        std::string_view ca = component(foldedA, fa), cb = component(foldedB, fb);
        std::string_view xa = component(rawA, ra), xb = component(rawB, rb);
        if (int c = compareBytes(ca, cb))
            return c;
        if (int c = compareBytes(xa, xb))
            return c;
    }
    bool endA = fa >= foldedA.size(), endB = fb >= foldedB.size();
    return endA == endB ? 0 : endA ? -1 : 1;
}

int comparePaths(std::string_view a, std::string_view b) {
    return comparePathKeys(fold(a), a, fold(b), b);
}

} // namespace qvl::text
