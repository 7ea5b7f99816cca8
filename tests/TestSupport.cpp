#include "TestSupport.h"

#include "search/Pattern.h"
#include "search/TextFold.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace qvl::test {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "qvltest-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
    if (ec) // a chain deeper than the path limit: let the system's rm take it apart
        std::system(("rm -rf '" + m_path.string() + "'").c_str());
}

void makeDirs(const fs::path& root, const std::string& rel) {
    fs::create_directories(root / rel);
}

void makeDeepChain(const fs::path& root, int depth, const std::string& name) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < depth && fd >= 0; ++i) {
        char part[64];
        std::snprintf(part, sizeof part, "%s-%04d", name.c_str(), i);
        ::mkdirat(fd, part, 0755);
        int next = ::openat(fd, part, O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    if (fd >= 0)
        ::close(fd);
}

std::vector<std::string> findDirs(const std::string& root) {
    std::vector<std::string> dirs;
    FILE* pipe = ::popen(("find '" + root + "' -mindepth 1 -type d -print0").c_str(), "r");
    if (!pipe)
        return dirs;
    std::string all;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        all.append(buf, n);
    ::pclose(pipe);
    for (size_t pos = 0; pos < all.size();) {
        size_t end = all.find('\0', pos);
        std::string path = all.substr(pos, end - pos) + "/";
        pos = end + 1;
        if (path.find("/.", root.size()) == std::string::npos)
            dirs.push_back(path);
    }
    return dirs;
}

store::StoreLocation storeIn(const fs::path& dataDir) {
    return {dataDir, QVL_TEMPLATE};
}

indexer::IndexRunResult indexFolders(const fs::path& dataDir, const std::vector<std::string>& roots) {
    indexer::DriveCatalogue catalogue;
    std::string letters;
    for (size_t i = 0; i < roots.size(); ++i) {
        char letter = static_cast<char>('C' + i);
        catalogue.add({letter, indexer::DriveFixed, roots[i]});
        letters += letter;
    }
    std::atomic<bool> stop{false};
    return indexer::runIndex(storeIn(dataDir), catalogue, letters, stop);
}

std::vector<std::string> searchPaths(const std::string& db, const search::SearchQuery& query,
                                     search::SearchError* error) {
    std::vector<std::string> paths;
    search::SearchCursor cursor;
    search::SearchError e = cursor.open(db, query);
    search::SearchHit hit;
    while (e == search::SearchError::None && cursor.next(hit))
        paths.emplace_back(hit.fullDirectory);
    if (error)
        *error = e == search::SearchError::None ? cursor.error() : e;
    return paths;
}

namespace {

// A plain recursive LIKE, independent of the one under test.
size_t charLen(const std::string& s, size_t i) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    for (size_t k = 1; k < n; ++k)
        if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 1;
    return n;
}

bool slowLike(const std::string& s, size_t i, const std::string& p, size_t j) {
    if (j == p.size())
        return i == s.size();
    if (p[j] == '%')
        return slowLike(s, i, p, j + 1) || (i < s.size() && slowLike(s, i + charLen(s, i), p, j));
    if (i == s.size())
        return false;
    if (p[j] == '_')
        return slowLike(s, i + charLen(s, i), p, j + 1);
    return p[j] == s[i] && slowLike(s, i + 1, p, j + 1);
}

// Case folding written out by hand for the letters the differential tests use, so that
// a fault in the folding table or in the index order cannot agree with itself.
std::string referenceFold(const std::string& s) {
    static const std::vector<std::pair<std::string, std::string>> kPairs = {
        {"\xc3\x84", "\xc3\xa4"}, // Ä -> ä
        {"\xc3\x89", "\xc3\xa9"}, // É -> é
        {"\xce\xa3", "\xcf\x83"}, // Σ -> σ
        {"\xcf\x82", "\xcf\x83"}, // final ς -> σ
    };
    std::string out;
    for (size_t i = 0; i < s.size();) {
        bool mapped = false;
        for (const auto& [from, to] : kPairs)
            if (s.compare(i, from.size(), from) == 0) {
                out += to;
                i += from.size();
                mapped = true;
                break;
            }
        if (!mapped) {
            char c = s[i++];
            out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
    }
    return out;
}

std::vector<std::string> components(const std::string& path) {
    std::vector<std::string> parts;
    for (size_t at = 0; at < path.size();) {
        size_t slash = path.find('/', at);
        parts.push_back(path.substr(at, slash - at));
        at = slash == std::string::npos ? path.size() : slash + 1;
    }
    return parts;
}

// Index order: component by component, folded names in byte order, then the exact
// bytes; a path before the paths below it.
bool indexOrderLess(const std::string& a, const std::string& b) {
    std::vector<std::string> ca = components(a), cb = components(b);
    for (size_t i = 0; i < ca.size() && i < cb.size(); ++i) {
        std::string fa = referenceFold(ca[i]), fb = referenceFold(cb[i]);
        if (fa != fb)
            return fa < fb; // std::string compares as unsigned bytes
        if (ca[i] != cb[i])
            return ca[i] < cb[i];
    }
    return ca.size() < cb.size();
}

} // namespace

std::vector<std::string> bruteForce(std::vector<std::string> paths, const std::string& text, int mode) {
    std::string pattern = mode == search::ExactSearch
                              ? referenceFold(text)
                              : std::string("%").append(referenceFold(text)).append("%");
    std::erase_if(paths, [&](const std::string& p) {
        size_t end = p.size() - 1, begin = p.rfind('/', end - 1) + 1;
        std::string name = referenceFold(p.substr(begin, end - begin));
        if (mode == search::ExactSearch)
            return text.empty() || name != pattern;
        return !slowLike(name, 0, pattern, 0);
    });
    std::sort(paths.begin(), paths.end(), indexOrderLess);
    return paths;
}

} // namespace qvl::test
