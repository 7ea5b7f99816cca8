#pragma once
// The search history: every search text, oldest first, duplicates kept.

#include <string>
#include <vector>

namespace qvl::store {

// Appends `text` as it was typed. "" or the reason it could not be stored.
std::string AddSearchHistory(const std::string& dbConnect, const std::string& text);
// The texts in the order they were added. "" or the reason they could not be read.
std::string listSearchHistory(const std::string& dbConnect, std::vector<std::string>& texts);
// Empties the history. "" or the reason it failed.
std::string clearSearchHistory(const std::string& dbConnect);

} // namespace qvl::store
