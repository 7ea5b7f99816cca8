#pragma once
// Case folding of UTF-8 text, for every letter of Unicode and not only ASCII, so that
// "ärger" finds "Ärger". Folding maps each code point to one code point; bytes that are
// not valid UTF-8 pass through unchanged, so any name can be folded and compared.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qvl::text {

// Decodes one well-formed UTF-8 sequence at s[0..n); returns its length, or 0 when the
// bytes there are not one (the caller then takes a single byte as it is).
size_t decodeUtf8(const unsigned char* s, size_t n, uint32_t& cp);

// Appends the folded form of `text` to `out`.
void foldAppend(std::string_view text, std::string& out);

inline std::string fold(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    foldAppend(text, out);
    return out;
}

// Order of full paths used everywhere an index is listed: component by component, each
// by its folded form and, where two differ only in case, by its exact bytes; a folder
// comes right before the folders below it. Returns <0, 0 or >0.
int comparePathKeys(std::string_view foldedA, std::string_view rawA, std::string_view foldedB,
                    std::string_view rawB);
// The same order for two raw paths (folds both; for the slow paths only).
int comparePaths(std::string_view a, std::string_view b);

} // namespace qvl::text
