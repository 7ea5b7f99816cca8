#pragma once
// The data folder and the index in it belong to one user and are read by that user alone:
// the index names every folder the user can read, private ones too, and the history holds
// what they searched for. A folder or index that someone else owns or may change is not
// trusted (a journal or lock planted there would be played back or followed); a folder
// that others may only read is used, and the user is told once.

#include <filesystem>
#include <string>
#include <vector>

namespace qvl::store {

// Checks the data folder before anything in it is read or written; with `create` it is
// made, readable by this user alone, when missing. "" or why it may not be used.
std::string checkDataFolder(const std::filesystem::path& dir, bool create);

// Checks a file of the data folder that is about to be opened as an index: a plain file
// of this user's that no one else may change. One that others may read is made private.
// "" or why it may not be opened (a missing file is no reason: the open says so itself).
std::string checkIndexFile(const std::filesystem::path& file);

// What the checks had to tell the user since the last call, each note once a process:
// the caller shows them (the core never prints).
std::vector<std::string> takeNotes();

} // namespace qvl::store
