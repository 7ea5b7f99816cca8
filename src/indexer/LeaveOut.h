#pragma once
// Folders the index leaves out, as the user lists them: by name (node_modules, .git,
// *.cache), by full path, and whole drives by their file system's type. Kept in a plain
// text file of the data folder, so that qvl, the window and a watcher read the same rules;
// a full index, an update and a watcher all walk by them. With none, the walk is the
// plain one: every folder but those whose name begins with a period.

#include "indexer/DriveCatalogue.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qvl::indexer {

struct LeaveOut {
    std::vector<std::string> names;       // patterns: * ? [a-z] [!a], \ quotes the next character
    std::vector<std::string> paths;       // full paths, as the walk writes them, no separator at the end
    std::vector<std::string> fileSystems; // type names as the system gives them ("nfs4", "tmpfs", "NTFS")

    bool empty() const { return names.empty() && paths.empty() && fileSystems.empty(); }
    bool operator==(const LeaveOut&) const = default;

    // The kinds of rule, as the file and qvl spell them.
    static constexpr const char* kName = "name";
    static constexpr const char* kPath = "path";
    static constexpr const char* kFileSystem = "fs";

    // Adds a rule of `kind`; "" or why it cannot be one. A rule there already is no error.
    std::string add(std::string_view kind, std::string_view value);
    // Removes a rule; false when there was none such.
    bool remove(std::string_view kind, std::string_view value);

    // One rule a line, "KIND VALUE", blank lines and lines beginning with # passed over.
    // Gives the lines that are not rules ("line 3: ..."); the others still count.
    std::vector<std::string> parse(std::string_view text);
    // The rules, "KIND VALUE" each, as parse() reads them.
    std::vector<std::string> lines() const;
    // The same, each line ended by a new line.
    std::string text() const;
};

// The file of `dataDir` that holds the rules.
std::filesystem::path leaveOutFile(const std::filesystem::path& dataDir);
// Reads the rules of `dataDir`: none when there is no file. Gives what is wrong with the
// file, one line each (a file that cannot be read, lines that are not rules).
std::vector<std::string> loadLeaveOut(const std::filesystem::path& dataDir, LeaveOut& rules);
// Writes the rules, with a header that says how to write them, in place of the file at
// once (a new file renamed over the old). "" or why not.
std::string saveLeaveOut(const std::filesystem::path& dataDir, const LeaveOut& rules);

// Whether `name` matches `pattern` as the shell matches a file name: * any run of
// characters, ? one character, [...] one of a set or range ([!...] or [^...] none of
// them), \ the next character as itself. Characters are UTF-8's; a byte that is not
// UTF-8 is a character of its own. A period at the start is matched like any character.
bool matchesName(std::string_view pattern, std::string_view name);

// The rules as the walk of one drive applies them.
class FolderRules {
public:
    FolderRules() = default; // leaves out only names that begin with a period
    FolderRules(const LeaveOut& rules, std::string_view root);

    // A folder by its parent's path below the root ("" for the root itself, names joined
    // by the separator) and its name.
    bool leavesOut(std::string_view parent, std::string_view name) const {
        return name.empty() || name[0] == '.' || (m_fingerprint != 0 && ruled(parent, name));
    }
    // Whether the folder `rel` below the root, or one above it, is left out.
    bool leavesOutPath(std::string_view rel) const;
    // Tells one set of rules from another, for the same drive; 0 for none.
    uint64_t fingerprint() const { return m_fingerprint; }

private:
    bool ruled(std::string_view parent, std::string_view name) const;

    std::vector<std::string> m_names;    // folded first on Windows, where names ignore case
    std::vector<std::string> m_literals; // names without a special character, matched whole
    std::vector<std::string> m_paths;    // below the root, without it
    uint64_t m_fingerprint = 0;          // 0 while there is no rule
};

// Why the whole of `drive` is left out: "file system nfs4" or "path /mnt" (its folder or
// one above it); "" when it is walked.
std::string driveLeftOut(const LeaveOut& rules, const Drive& drive);

} // namespace qvl::indexer
