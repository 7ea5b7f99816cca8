#include "indexer/LeaveOut.h"

#include "platform/Platform.h"
#include "store/SearchIndex.h"
#include "text/TextFold.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <system_error>

namespace qvl::indexer {

namespace fs = std::filesystem;

namespace {

constexpr char kSep = platform::kSeparator;
constexpr size_t kNone = std::string_view::npos;

// The character at `i`: gives its length in bytes and its code point. A byte that does
// not begin a whole UTF-8 character is one character, apart from every code point.
size_t charAt(std::string_view s, size_t i, uint32_t& code) {
    const auto* at = reinterpret_cast<const unsigned char*>(s.data()) + i;
    if (const size_t n = *at < 0x80 ? 0 : text::decodeUtf8(at, s.size() - i, code); n != 0)
        return n;
    code = *at < 0x80 ? *at : 0x110000 + *at;
    return 1;
}

// Whether `code` is in the set that begins at pattern[p], just past its "["; `end` gets
// the position past the closing "]", or kNone when the set is never closed (then the
// "[" is a character of its own, as the shell has it).
bool inSet(std::string_view pattern, size_t p, uint32_t code, size_t& end) {
    bool negated = false;
    if (p < pattern.size() && (pattern[p] == '!' || pattern[p] == '^')) {
        negated = true;
        ++p;
    }
    bool found = false;
    for (bool first = true; p < pattern.size(); first = false) {
        if (pattern[p] == ']' && !first) {
            end = p + 1;
            return found != negated;
        }
        if (pattern[p] == '\\' && p + 1 < pattern.size())
            ++p;
        uint32_t low = 0, high = 0;
        p += charAt(pattern, p, low);
        high = low;
        if (p + 1 < pattern.size() && pattern[p] == '-' && pattern[p + 1] != ']') {
            ++p;
            if (pattern[p] == '\\' && p + 1 < pattern.size())
                ++p;
            p += charAt(pattern, p, high);
        }
        found = found || (low <= code && code <= high);
    }
    end = kNone;
    return false;
}

bool hasSpecial(std::string_view pattern) {
    return pattern.find_first_of("*?[\\") != kNone;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return out;
}

// A name or path as the rules compare it: on Windows case ignored, as the system does,
// and either slash the separator (a drive's folder may be given with slashes).
std::string comparable(std::string_view text) {
#ifdef _WIN32
    std::string folded = text::fold(text);
    std::replace(folded.begin(), folded.end(), '/', kSep);
    return folded;
#else
    return std::string(text);
#endif
}

void trimEnd(std::string_view& text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
}

// A full path with one separator between names and none at the end (but for a drive's
// root), as the walk writes paths; false when it is not one.
bool normalPath(std::string_view value, std::string& normal) {
    std::string text(value);
#ifdef _WIN32
    std::replace(text.begin(), text.end(), '/', '\\');
    // C:\ or \\server\share
    const bool full = (text.size() >= 3 && std::isalpha(static_cast<unsigned char>(text[0])) &&
                       text[1] == ':' && text[2] == kSep) ||
                      text.starts_with("\\\\");
    const size_t rootLength = text.starts_with("\\\\") ? 2 : 3;
#else
    const bool full = text.starts_with('/');
    const size_t rootLength = 1;
#endif
    if (!full || text.find('\0') != kNone)
        return false;
    normal = text.substr(0, rootLength);
    for (size_t start = rootLength; start < text.size();) {
        size_t end = text.find(kSep, start);
        if (end == kNone)
            end = text.size();
        const std::string_view part = std::string_view(text).substr(start, end - start);
        if (part == "." || part == "..")
            return false;
        if (!part.empty())
            (normal += part) += kSep;
        start = end + 1;
    }
    if (normal.size() > rootLength)
        normal.pop_back();
    return true;
}

} // namespace

bool matchesName(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0;
    size_t starP = kNone, starN = 0; // where the last * was, and what it has taken up to
    while (n < name.size()) {
        bool step = false;
        if (p < pattern.size()) {
            const char c = pattern[p];
            if (c == '*') {
                starP = ++p;
                starN = n;
                continue;
            }
            uint32_t code = 0;
            const size_t length = charAt(name, n, code);
            size_t end = kNone;
            if (c == '?') {
                p += 1;
                step = true;
            } else if (c == '[' && inSet(pattern, p + 1, code, end)) {
                p = end;
                step = true;
            } else if (c != '[' || end == kNone) {
                const size_t q = c == '\\' && p + 1 < pattern.size() ? p + 1 : p;
                uint32_t wanted = 0;
                const size_t wantedLength = charAt(pattern, q, wanted);
                if (wanted == code) {
                    p = q + wantedLength;
                    step = true;
                }
            }
            if (step) {
                n += length;
                continue;
            }
        }
        if (starP == kNone)
            return false;
        uint32_t code = 0;
        starN += charAt(name, starN, code); // the last * takes one more character
        n = starN;
        p = starP;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::string LeaveOut::add(std::string_view kind, std::string_view value) {
    if (kind != kName && kind != kPath && kind != kFileSystem)
        return "not a kind of rule: " + std::string(kind) + " (name, path or fs)";
    if (value.empty())
        return std::string(kind) + " needs a value";
    // The file keeps one rule a line and reads a line without its blanks at either end.
    if (value.find_first_of("\r\n") != kNone || value.front() == ' ' || value.front() == '\t' ||
        value.back() == ' ' || value.back() == '\t')
        return "a rule cannot hold a line break or begin or end with a blank (in a name, ? stands for "
               "such a character)";
    if (kind == kName) {
        if (value.find('/') != kNone || value == "." || value == "..")
            return "not a folder's name: " + std::string(value) + " (a name holds no /)";
        if (std::find(names.begin(), names.end(), value) == names.end())
            names.emplace_back(value);
        return {};
    }
    if (kind == kPath) {
        std::string normal;
        if (!normalPath(value, normal))
            return "not a full path: " + std::string(value) +
                   " (it begins at the drive's root, without . or ..)";
        if (std::find(paths.begin(), paths.end(), normal) == paths.end())
            paths.push_back(std::move(normal));
        return {};
    }
    if (value.find_first_of(" \t/") != kNone)
        return "not a file system's type: " + std::string(value);
    const std::string type = lowered(value);
    if (std::none_of(fileSystems.begin(), fileSystems.end(),
                     [&](const std::string& t) { return lowered(t) == type; }))
        fileSystems.emplace_back(value);
    return {};
}

bool LeaveOut::remove(std::string_view kind, std::string_view value) {
    LeaveOut one;
    if (!one.add(kind, value).empty())
        return false;
    auto drop = [](std::vector<std::string>& list, const std::vector<std::string>& gone, bool anyCase) {
        const size_t before = list.size();
        for (const std::string& g : gone)
            list.erase(std::remove_if(
                           list.begin(), list.end(),
                           [&](const std::string& s) { return anyCase ? lowered(s) == lowered(g) : s == g; }),
                       list.end());
        return list.size() != before;
    };
    return drop(names, one.names, false) || drop(paths, one.paths, false) ||
           drop(fileSystems, one.fileSystems, true);
}

std::vector<std::string> LeaveOut::parse(std::string_view text) {
    std::vector<std::string> problems;
    int number = 0;
    while (!text.empty()) {
        ++number;
        const size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == kNone ? std::string_view() : text.substr(eol + 1);
        const size_t start = line.find_first_not_of(" \t");
        if (start == kNone || line[start] == '#' || line.substr(start) == "\r")
            continue;
        line.remove_prefix(start);
        trimEnd(line);
        const size_t gap = line.find_first_of(" \t");
        std::string_view kind = line.substr(0, gap), value;
        if (gap != kNone)
            value = line.substr(line.find_first_not_of(" \t", gap));
        if (std::string why = add(kind, value); !why.empty())
            problems.push_back("line " + std::to_string(number) + ": " + why);
    }
    return problems;
}

std::vector<std::string> LeaveOut::lines() const {
    std::vector<std::string> out;
    for (const std::string& n : names)
        out.push_back(std::string(kName) + " " + n);
    for (const std::string& p : paths)
        out.push_back(std::string(kPath) + " " + p);
    for (const std::string& t : fileSystems)
        out.push_back(std::string(kFileSystem) + " " + t);
    return out;
}

std::string LeaveOut::text() const {
    std::string out;
    for (const std::string& line : lines())
        (out += line) += '\n';
    return out;
}

fs::path leaveOutFile(const fs::path& dataDir) {
    return dataDir / "LeaveOut.txt";
}

std::vector<std::string> loadLeaveOut(const fs::path& dataDir, LeaveOut& rules) {
    rules = LeaveOut();
    const fs::path file = leaveOutFile(dataDir);
    std::error_code ec;
    if (!fs::exists(file, ec) && !ec)
        return {};
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in || ec)
        return {"cannot read the folders to leave out from " + file.string() + "; none is left out"};
    std::vector<std::string> problems = rules.parse(text.str());
    for (std::string& p : problems)
        p = file.string() + ", " + p + "; passed over";
    return problems;
}

std::string saveLeaveOut(const fs::path& dataDir, const LeaveOut& rules) {
    const fs::path file = leaveOutFile(dataDir), temp = dataDir / "LeaveOut.txt.new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << "# Folders the index leaves out, one rule a line; the next index, update or watch\n"
               "# walks by them. A folder left out goes with every folder below it.\n"
               "#   name PATTERN  every folder of that name: node_modules, .git, *.cache\n"
               "#                 (* ? [a-z] as the shell has them; \\ before one of them means itself)\n"
               "#   path FOLDER   that folder, by its full path\n"
               "#   fs TYPE       every drive whose file system is of that type: nfs4, tmpfs\n"
            << rules.text();
        out.close();
        if (!out)
            return "cannot write " + temp.string();
    }
    std::error_code ec;
    fs::rename(temp, file, ec);
    if (ec) {
        fs::remove(temp, ec);
        return "cannot write " + file.string();
    }
    return {};
}

FolderRules::FolderRules(const LeaveOut& rules, std::string_view root) {
    std::string base = comparable(root);
    if (base.empty() || base.back() != kSep)
        base += kSep;
    for (const std::string& n : rules.names)
        (hasSpecial(n) ? m_names : m_literals).push_back(comparable(n));
    for (const std::string& p : rules.paths) {
        std::string path = comparable(p);
        if (path.size() > base.size() && path.starts_with(base))
            m_paths.push_back(path.substr(base.size()));
    }
    if (m_names.empty() && m_literals.empty() && m_paths.empty())
        return;
    // The rules in a fixed order, each ended by a byte no name or path holds.
    auto sorted = [](std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    std::string key;
    for (const std::string& n : sorted(m_literals))
        (key += n) += '\0';
    for (const std::string& n : sorted(m_names))
        (key += n) += '\1';
    for (const std::string& p : sorted(m_paths))
        (key += p) += '\2';
    m_fingerprint = std::max<uint64_t>(store::nameHash(key), 1);
}

bool FolderRules::ruled(std::string_view parent, std::string_view name) const {
#ifdef _WIN32
    const std::string folded = text::fold(name);
    name = folded;
#endif
    for (const std::string& n : m_literals)
        if (name == n)
            return true;
    for (const std::string& n : m_names)
        if (matchesName(n, name))
            return true;
    if (m_paths.empty())
        return false;
#ifdef _WIN32
    const std::string foldedParent = text::fold(parent);
    parent = foldedParent;
#endif
    const size_t length = parent.size() + (parent.empty() ? 0 : 1) + name.size();
    for (const std::string& p : m_paths)
        if (p.size() == length && p.starts_with(parent) && p.ends_with(name) &&
            (parent.empty() || p[parent.size()] == kSep))
            return true;
    return false;
}

bool FolderRules::leavesOutPath(std::string_view rel) const {
    for (size_t start = 0; start < rel.size();) {
        size_t end = rel.find(kSep, start);
        if (end == kNone)
            end = rel.size();
        if (leavesOut(rel.substr(0, start == 0 ? 0 : start - 1), rel.substr(start, end - start)))
            return true;
        start = end + 1;
    }
    return false;
}

std::string driveLeftOut(const LeaveOut& rules, const Drive& drive) {
    std::string root = comparable(drive.root);
    if (root.empty() || root.back() != kSep)
        root += kSep;
    for (const std::string& p : rules.paths) {
        std::string path = comparable(p);
        if (path.empty() || path.back() != kSep)
            path += kSep;
        if (root.starts_with(path))
            return "path " + p;
    }
    if (rules.fileSystems.empty())
        return {};
    const std::string type = platform::fileSystemType(drive.root);
    for (const std::string& t : rules.fileSystems)
        if (!type.empty() && lowered(t) == lowered(type))
            return "file system " + type;
    return {};
}

} // namespace qvl::indexer
