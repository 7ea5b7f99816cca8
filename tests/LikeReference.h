#pragma once
// LIKE straight from its definition, for tests and the fuzzer to hold the matcher to:
// dynamic programming over (name byte, pattern position), slow and plainly right.

#include <string>
#include <vector>

namespace qvl::test {

// A character is one whole UTF-8 sequence, or one stray byte.
inline size_t charAt(const std::string& s, size_t i) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (i + len > s.size())
        return 1;
    for (size_t k = 1; k < len; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 1;
    return len;
}

inline bool likeReference(const std::string& name, const std::string& pattern) {
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

} // namespace qvl::test
