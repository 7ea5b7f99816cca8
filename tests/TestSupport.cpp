#include "TestSupport.h"

#include "LikeReference.h"

#include "search/Pattern.h"
#include "text/TextFold.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
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

void makeDeepChain(const fs::path& root, int depth, const std::string& name, const std::string& leaf) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < depth && fd >= 0; ++i) {
        char part[64];
        std::snprintf(part, sizeof part, "%s-%04d", name.c_str(), i);
        ::mkdirat(fd, part, 0755);
        int next = ::openat(fd, part, O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    if (fd >= 0 && !leaf.empty())
        ::mkdirat(fd, leaf.c_str(), 0755);
    if (fd >= 0)
        ::close(fd);
}

std::vector<std::string> findDirs(const std::string& root, const std::string& prune) {
    std::vector<std::string> dirs;
    const std::string pruned = prune.empty() ? std::string() : " \\( " + prune + " \\) -prune -o";
    FILE* pipe = ::popen(("find '" + root + "' -mindepth 1" + pruned + " -type d -print0").c_str(), "r");
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

std::string writeBigIndex(const fs::path& data, int count) {
    fs::copy_file(QVL_TEMPLATE, data / "Files.dat");
    store::IndexWriter writer;
    EXPECT_EQ(writer.open(data / "Files.dat"), "");
    for (int d = 0; d < count / 1000; ++d) {
        std::string parent = "/r/d" + std::to_string(1000 + d) + "/";
        EXPECT_EQ(writer.add('C', parent, "d" + std::to_string(1000 + d), "d" + std::to_string(1000 + d)),
                  "");
        for (int e = 0; e < 999; ++e) {
            std::string name = "e" + std::to_string(100000 + d * 1000 + e);
            EXPECT_EQ(writer.add('C', parent + name + "/", name, name), "");
        }
    }
    EXPECT_EQ(writer.finish(), "");
    return (data / "Files.dat").string();
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

// Index order: component by component, folded names in byte order, then the exact
// bytes; a path before the paths below it. As one byte string per path: each component
// folded, a NUL, the component, a NUL (names hold no NUL, and NUL sorts first, so a name
// that is the start of another sorts before it, and fewer components before more).
// Built once per path: folding both sides of every comparison made sorting a tree a
// thousand levels deep take most of a minute under the sanitizers.
std::string indexOrderKey(const std::string& path) {
    std::string key;
    for (size_t at = 0; at < path.size();) {
        size_t slash = std::min(path.find('/', at), path.size());
        const std::string part = path.substr(at, slash - at);
        key.append(referenceFold(part)).push_back('\0');
        key.append(part).push_back('\0');
        at = slash + 1;
    }
    return key;
}

void sortInIndexOrder(std::vector<std::string>& paths) {
    std::vector<std::pair<std::string, std::string>> keyed;
    keyed.reserve(paths.size());
    for (std::string& p : paths)
        keyed.emplace_back(indexOrderKey(p), std::move(p));
    std::sort(keyed.begin(), keyed.end());
    for (size_t i = 0; i < paths.size(); ++i)
        paths[i] = std::move(keyed[i].second);
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
        return !likeReference(name, pattern);
    });
    sortInIndexOrder(paths);
    return paths;
}

} // namespace qvl::test

namespace qvl::test {

namespace {

bool isBelow(const fs::path& p, const fs::path& dir) {
    auto rel = p.lexically_relative(dir);
    return !rel.empty() && *rel.begin() != "..";
}

// Every folder but the bulk ones, which would crowd out the rest.
std::vector<fs::path> churnTargets(const fs::path& root) {
    std::vector<fs::path> dirs;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->path().filename().string().starts_with("bulk"))
            it.disable_recursion_pending();
        else if (it->is_directory(ec) && !it->is_symlink(ec))
            dirs.push_back(it->path());
    }
    std::sort(dirs.begin(), dirs.end());
    return dirs;
}

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

} // namespace

FolderChurn::FolderChurn(fs::path root, fs::path outside, unsigned seed)
    : m_root(std::move(root))
    , m_outside(std::move(outside))
    , m_rng(seed) {}

void FolderChurn::steps(int count) {
    std::vector<fs::path> dirs = churnTargets(m_root);
    dirs.push_back(m_root);
    for (int i = 0; i < count; ++i)
        step(dirs);
}

void FolderChurn::step(const std::vector<fs::path>& dirs) {
    const fs::path& where = dirs[m_rng() % dirs.size()];
    std::error_code ec;
    switch (m_rng() % 6) {
    case 0:
    case 1:
        fs::create_directory(where / newName(), ec);
        break;
    case 2: // a folder and all below it
        if (where != m_root)
            fs::remove_all(where, ec);
        break;
    case 3: { // renamed or moved inside the tree, unless into itself
        const fs::path& to = dirs[m_rng() % dirs.size()];
        if (where != m_root && !isBelow(to, where) && to != where)
            fs::rename(where, to / newName(), ec);
        break;
    }
    case 4: // out of the tree
        if (where != m_root)
            fs::rename(where, m_outside / ("out" + std::to_string(m_serial++)), ec);
        break;
    case 5: { // back in, with its subfolders
        std::vector<fs::path> out;
        for (const auto& e : fs::directory_iterator(m_outside, ec))
            out.push_back(e.path());
        std::sort(out.begin(), out.end());
        if (!out.empty())
            fs::rename(out[m_rng() % out.size()], where / newName(), ec);
        break;
    }
    }
}

std::string FolderChurn::newName() {
    static const char* const kNames[] = {"d1",   "D1",   "it's",        "50%",     "a b",     "n_x",
                                         "same", "SAME", "caf\xc3\xa9", "bad\xff", ".hidden", "x%_y"};
    return std::string(kNames[m_rng() % std::size(kNames)]) + std::to_string(m_serial++ % 7);
}

std::string indexDiffersFromDisk(const fs::path& dataDir, const fs::path& root, const std::string& letters,
                                 const std::string& prune) {
    const std::string db = (dataDir / "Files.dat").string();
    const std::vector<std::string> want = sorted(findDirs(root.string(), prune));
    std::string text;
    for (char letter : letters.empty() ? std::string(1, '\0') : letters) {
        const std::vector<std::string> have = sorted(searchPaths(
            db, letter ? scoped("", search::ContainingSearch, std::string(1, letter)) : query("")));
        std::vector<std::string> extra, missing;
        std::set_difference(have.begin(), have.end(), want.begin(), want.end(), std::back_inserter(extra));
        std::set_difference(want.begin(), want.end(), have.begin(), have.end(), std::back_inserter(missing));
        if (extra.empty() && missing.empty())
            continue;
        text += letter ? std::string(1, letter) + ": not on disk:" : std::string("not on disk:");
        for (const std::string& p : extra)
            text += " " + p;
        text += "\nnot in the index:";
        for (const std::string& p : missing)
            text += " " + p;
        text += "\n";
    }
    return text;
}

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    for (auto until = std::chrono::steady_clock::now() + limit; !done();) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

void sql(const fs::path& db, const std::string& statements) {
    sqlite3* d = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &d), SQLITE_OK);
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(d, statements.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
    sqlite3_free(err);
    sqlite3_close(d);
}

void dieInMidTransaction(const fs::path& db, const std::string& statements) {
    pid_t child = fork();
    if (child == 0) {
        sqlite3* d = nullptr;
        sqlite3_open(db.c_str(), &d);
        sqlite3_exec(d, ("PRAGMA cache_size = 2; BEGIN IMMEDIATE; " + statements).c_str(), nullptr, nullptr,
                     nullptr);
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(fs::exists(db.string() + "-journal"));
}

int startQvl(const TempDir& data, const std::string& drives, const std::vector<std::string>& args, int out) {
    pid_t child = fork();
    if (child == 0) {
        setenv("QVL_DATA_DIR", data.str().c_str(), 1);
        setenv("QVL_DRIVES", drives.c_str(), 1);
        if (out < 0)
            out = open("/dev/null", O_WRONLY);
        dup2(out, 1);
        dup2(out, 2);
        std::vector<char*> argv{const_cast<char*>(QVL_BINARY)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(QVL_BINARY, argv.data());
        _exit(127);
    }
    return child;
}

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

Outcome runQvl(const TempDir& data, const std::string& drives, std::vector<std::string> args,
               const std::function<void()>& inChild, std::vector<std::string> wrapper, std::string binary) {
    TempDir output; // apart from the data folder, which a test may make anyone's
    const fs::path out = output.path() / "out.txt", err = output.path() / "err.txt";
    pid_t child = fork();
    if (child == 0) {
        setenv("QVL_DATA_DIR", data.str().c_str(), 1);
        setenv("QVL_DRIVES", drives.c_str(), 1);
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        dup2(o, 1);
        dup2(e, 2);
        close(o);
        close(e);
        if (inChild)
            inChild();
        std::vector<char*> argv;
        for (std::string& w : wrapper)
            argv.push_back(w.data());
        argv.push_back(binary.data());
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (wrapper.empty())
            execv(binary.c_str(), argv.data());
        else
            execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    Outcome result;
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = slurp(out);
    result.err = slurp(err);
    return result;
}

} // namespace qvl::test
