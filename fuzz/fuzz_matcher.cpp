// The search text against a block of names: every hit the scan gives, and only those,
// must be what a plain reference matcher says.
#include "search/Pattern.h"
#include "text/TextFold.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A character is one whole UTF-8 sequence, or one stray byte.
size_t charAt(const std::string& s, size_t i) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (i + len > s.size())
        return 1;
    for (size_t k = 1; k < len; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 1;
    return len;
}

// LIKE by dynamic programming over (name position, pattern position): slow, plainly right.
bool likeReference(const std::string& name, const std::string& pattern) {
    const size_t n = name.size(), m = pattern.size();
    std::vector<char> reach((n + 1) * (m + 1), 0);
    auto at = [&](size_t i, size_t j) -> char& { return reach[i * (m + 1) + j]; };
    at(0, 0) = 1;
    for (size_t i = 0; i <= n; ++i)
        for (size_t j = 0; j <= m; ++j) {
            if (!at(i, j) || j == m)
                continue;
            char p = pattern[j];
            if (p == '%') {
                at(i, j + 1) = 1;
                if (i < n)
                    at(i + charAt(name, i), j) = 1;
            } else if (i < n && p == '_') {
                at(i + charAt(name, i), j + 1) = 1;
            } else if (i < n && p == name[i]) {
                at(i + 1, j + 1) = 1;
            }
        }
    return at(n, m);
}

bool reference(const std::string& name, const std::string& text, int mode) {
    std::string folded = qvl::text::fold(text);
    if (folded.find('\0') != std::string::npos)
        return false;
    if (mode == qvl::search::ExactSearch)
        return !folded.empty() && name == folded;
    return likeReference(name, "%" + folded + "%");
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
    if (got != want || (!want.empty() && !matcher.mayMatch(names.data(), names.size())))
        std::abort();
    return 0;
}
