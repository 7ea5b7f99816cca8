// The core on Windows, run under Wine: drives, the walk, the index, the search, update and
// watch, and the file browser's command lines (the registry's are in SystemChecksTest).
#include "cli/Cli.h"
#include "indexer/IndexRun.h"
#include "indexer/LeaveOut.h"
#include "indexer/Update.h"
#include "indexer/Watch.h"
#include "platform/Platform.h"
#include "search/Search.h"
#include "store/History.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace qvl;

namespace {

// A fresh folder under the temporary folder, removed afterwards.
struct TempDir {
    fs::path path;
    TempDir() {
        std::random_device rd;
        path = fs::temp_directory_path() / (L"qvltest-" + std::to_wstring(rd()));
        fs::create_directories(path);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::string u8(const fs::path& p) {
    auto s = p.u8string();
    return std::string(s.begin(), s.end());
}

const char* const kTree[] = {"Apps\\windows",   "windows",       "windows2",    "Program Files\\Common Files",
                             "Bob's Files",     "Microsoft.NET", "caf\xc3\xa9", "\xc3\x84rger\\\xc3\xa4rger",
                             ".hidden\\inside", "data\\v1.2"};

fs::path u8path(const std::string& s) {
    return fs::u8path(s);
}

} // namespace

TEST(Windows, DrivesHaveTheirTypes) {
    indexer::DriveCatalogue catalogue;
    ASSERT_EQ(catalogue.load(), "");
    const indexer::Drive* c = catalogue.find('C');
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->type, indexer::DriveFixed);
    EXPECT_EQ(c->root, "C:\\");
    // The CI leg links test drives into the prefix and names their types here.
    std::string expected = platform::getEnv("QVL_TEST_DRIVE_TYPES"); // e.g. "D5E2F4"
    for (size_t i = 0; i + 1 < expected.size(); i += 2) {
        const indexer::Drive* d = catalogue.find(expected[i]);
        ASSERT_NE(d, nullptr) << expected[i];
        EXPECT_EQ(d->type, expected[i + 1] - '0') << expected[i];
        EXPECT_STRNE(indexer::driveTypeText(d->type), "");
    }
}

TEST(Windows, QvlIndexAndFindOnATestDrive) {
    std::string root = platform::getEnv("QVL_TEST_DRIVE_D"); // the folder linked as D:
    if (root.empty())
        GTEST_SKIP() << "no test drive D: set up";
    TempDir data;
    ::SetEnvironmentVariableW(L"QVL_DRIVES", L"D=D:\\");
    cli::CliContext context;
    context.location = {data.path, data.path / L"no-template.dat"};
    std::ostringstream out, err;
    ASSERT_EQ(cli::run({"index", "D"}, out, err, context), 0) << err.str();
    out.str("");
    ASSERT_EQ(cli::run({"find", "-e", "windows"}, out, err, context), 0) << err.str();
    EXPECT_EQ(out.str(), "D:\\Apps\\windows\\\nD:\\windows\\\n");
    ::SetEnvironmentVariableW(L"QVL_DRIVES", nullptr);
}

TEST(Windows, LinksAndJunctionsAreNotFollowed) {
    TempDir tree;
    fs::create_directories(tree.path / L"real" / L"inside");
    bool made = ::CreateSymbolicLinkW((tree.path / L"link").c_str(), (tree.path / L"real").c_str(),
                                      SYMBOLIC_LINK_FLAG_DIRECTORY) != 0;
    if (!made)
        GTEST_SKIP() << "this system cannot make directory links";
    indexer::DirTree dirs;
    std::string rootPath = u8(tree.path);
    std::atomic<bool> stop{false};
    auto status = indexer::ScanDirectory(rootPath, 'C', dirs, stop);
    EXPECT_EQ(rootPath.back(), '\\');
    EXPECT_EQ(status.rows, 2); // real and real\inside; the link is not a folder of its own
}

// The folders to leave out, on Windows: names and paths ignore case as the system does, a
// path may be written with slashes, and the drives have file-system types to go by.
TEST(Windows, FoldersAreLeftOutByNameAndPathWhateverTheirCase) {
    TempDir tree;
    for (const char* rel : kTree)
        fs::create_directories(tree.path / u8path(rel));
    std::string root = u8(tree.path);
    indexer::LeaveOut rules;
    ASSERT_EQ(rules.add("name", "WINDOWS"), "");
    ASSERT_EQ(rules.add("name", "CAF?"), "");
    std::string programFiles = root + "\\program files\\";
    std::replace(programFiles.begin(), programFiles.end(), '\\', '/');
    ASSERT_EQ(rules.add("path", programFiles), "");
    indexer::DirTree dirs;
    std::atomic<bool> stop{false};
    const indexer::FolderRules reach(rules, root);
    indexer::ScanDirectory(root, 'C', dirs, stop, {}, 0, nullptr, reach);
    std::vector<std::string> found;
    indexer::eachPath(dirs, [&](uint32_t, const std::string& path) {
        found.push_back(path.substr(root.size()));
        return true;
    });
    std::vector<std::string> kept{
        "Apps\\",       "Bob's Files\\", "Microsoft.NET\\", "data\\",
        "data\\v1.2\\", "windows2\\",    "\xc3\x84rger\\",  "\xc3\x84rger\\\xc3\xa4rger\\"};
    std::sort(found.begin(), found.end());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(found, kept);

    const std::string type = platform::fileSystemType("C:\\");
    ASSERT_NE(type, "");
    std::string lower = type;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(c)); });
    ASSERT_EQ(rules.add("fs", lower), "");
    EXPECT_EQ(indexer::driveLeftOut(rules, {'C', indexer::DriveFixed, "C:\\"}), "file system " + type);
}

TEST(Windows, ExplorerCommandLines) {
    // The browser by its full path, so a planted explorer.exe is never the one started;
    // the folder quoted, so a comma in its name does not send it elsewhere.
    const std::string windows = platform::windowsFolder();
    ASSERT_FALSE(windows.empty());
    const std::string exe = "\"" + windows + "\\explorer.exe\"";
    EXPECT_EQ(platform::explorerCommandLine("C:\\Windows\\", true, windows), exe + " /e,  \"C:\\Windows\"");
    EXPECT_EQ(platform::explorerCommandLine("D:\\My Files, old\\", false, windows),
              exe + " \"D:\\My Files, old\"");
    EXPECT_EQ(platform::explorerCommandLine("C:\\", false, windows), exe + " C:\\");
}

TEST(Windows, NamesWithLoneSurrogatesAndLongRootsWithSlashesAreWalked) {
    TempDir tree;
    // A name Windows allows and UTF-8 cannot hold: a high surrogate with no pair.
    std::wstring odd = L"half";
    odd += static_cast<wchar_t>(0xD800);
    bool made = ::CreateDirectoryW((tree.path / odd).c_str(), nullptr) != 0 &&
                ::CreateDirectoryW((tree.path / odd / L"below").c_str(), nullptr) != 0;
    // Past MAX_PATH: made through the long form, walked from a root written with '/'.
    std::wstring deep = L"\\\\?\\" + tree.path.wstring();
    for (int i = 0; i < 30; ++i) {
        deep += L"\\level-" + std::to_wstring(i);
        ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr)) << i;
    }
    std::string root = u8(tree.path);
    std::replace(root.begin(), root.end(), '\\', '/');
    indexer::DirTree dirs;
    std::atomic<bool> stop{false};
    auto status = indexer::ScanDirectory(root, 'C', dirs, stop);
    EXPECT_EQ(status.unreadable, 0);
    EXPECT_EQ(status.rows, 30 + (made ? 2 : 0));
    if (!made)
        GTEST_SKIP() << "this file system refuses names with lone surrogates";
    // The name comes back from the index as the same UTF-16, so the folder opens.
    platform::WalkRoot walk(u8(tree.path));
    std::vector<char> buffer;
    std::vector<std::string> names;
    ASSERT_EQ(walk.listSubdirs(
                  "", buffer,
                  [](void* ctx, std::string_view n) {
                      static_cast<std::vector<std::string>*>(ctx)->emplace_back(n);
                  },
                  &names),
              0);
    auto it = std::find_if(names.begin(), names.end(),
                           [](const std::string& n) { return n.rfind("half", 0) == 0; });
    ASSERT_NE(it, names.end());
    EXPECT_EQ(*it, "half\xED\xA0\x80");
    std::vector<std::string> inside;
    EXPECT_EQ(walk.listSubdirs(
                  *it, buffer,
                  [](void* ctx, std::string_view n) {
                      static_cast<std::vector<std::string>*>(ctx)->emplace_back(n);
                  },
                  &inside),
              0);
    EXPECT_EQ(inside, std::vector<std::string>{"below"});
}

TEST(Windows, AStaleWriteProbeLeavesTheFolderWritable) {
    TempDir dir;
    // Probes a crash left behind, read-only, under the names this and an earlier process used.
    for (const std::wstring& name :
         {std::wstring(L"qvl-write-test.tmp"), L"qvl-write-test-" + std::to_wstring(GetCurrentProcessId()) +
                                                   L"-" + std::to_wstring(GetTickCount64()) + L"-0.tmp"}) {
        std::ofstream(dir.path / name) << "x";
        ::SetFileAttributesW((dir.path / name).c_str(), FILE_ATTRIBUTE_READONLY);
    }
    EXPECT_TRUE(platform::isWritableDir(dir.path));
    for (const fs::directory_entry& e : fs::directory_iterator(dir.path))
        ::SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);
}

namespace {

// Every folder below root as the index writes it, by the standard library's own walk.
std::vector<std::string> foldersOnDisk(const fs::path& root) {
    std::vector<std::string> dirs;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path().filename().u8string()[0] == u8'.')
            it.disable_recursion_pending();
        else if (it->is_directory())
            dirs.push_back(u8(it->path()) + "\\");
    }
    std::sort(dirs.begin(), dirs.end());
    return dirs;
}

// The folders a search finds, sorted: all of them by default.
std::vector<std::string> foldersIndexed(const fs::path& data, const char* text = "",
                                        int mode = search::ContainingSearch) {
    search::SearchQuery q;
    q.text = text;
    q.mode = mode;
    search::SearchCursor cursor;
    std::vector<std::string> rows;
    if (cursor.open(u8(data / L"Files.dat"), q) == search::SearchError::None) {
        search::SearchHit hit;
        while (cursor.next(hit))
            rows.emplace_back(hit.fullDirectory);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace

TEST(Windows, IndexUpdateAndWatchFollowTheDisk) {
    TempDir tree, data, outside;
    for (const char* rel : kTree)
        fs::create_directories(tree.path / u8path(rel));
    std::ofstream(tree.path / L"windows" / L"file.txt") << "x";
    indexer::DriveCatalogue catalogue;
    catalogue.add({'C', indexer::DriveFixed, u8(tree.path)});
    const store::StoreLocation location{data.path, data.path / L"no-template.dat"};
    std::atomic<bool> stop{false};
    auto result = indexer::runIndex(location, catalogue, "C", stop);
    ASSERT_EQ(result.error, "");
    EXPECT_EQ(result.caption(), "Done. (13 dirs)"); // everything but the dot folder and below
    const std::string root = u8(tree.path) + "\\";
    auto found = [&](const char* text, int mode) {
        std::vector<std::string> rows;
        for (const std::string& row : foldersIndexed(data.path, text, mode))
            rows.push_back(row.substr(root.size()));
        return rows;
    };
    EXPECT_EQ(found("windows", search::ExactSearch),
              (std::vector<std::string>{"Apps\\windows\\", "windows\\"}));
    EXPECT_EQ(found("bob's", search::ContainingSearch), std::vector<std::string>{"Bob's Files\\"});
    EXPECT_EQ(found(".net", search::ContainingSearch), std::vector<std::string>{"Microsoft.NET\\"});
    EXPECT_EQ(found("\xc3\xa4rger", search::ExactSearch),
              (std::vector<std::string>{"\xc3\x84rger\\", "\xc3\x84rger\\\xc3\xa4rger\\"}));
    EXPECT_EQ(found("CAF\xc3\x89", search::ExactSearch), std::vector<std::string>{"caf\xc3\xa9\\"});
    EXPECT_EQ(found("hidden", search::ContainingSearch), std::vector<std::string>{});
    ASSERT_EQ(store::AddSearchHistory(u8(data.path / L"Files.dat"), "kept"), "");

    fs::create_directories(tree.path / L"new" / L"deeper");
    fs::rename(tree.path / L"windows2", tree.path / L"Apps" / L"moved");
    fs::remove_all(tree.path / L"data");
    indexer::UpdateResult updated = indexer::runUpdate(location, catalogue, "C", stop);
    ASSERT_EQ(updated.error, "");
    EXPECT_EQ(updated.caption(), "Done. (3 added, 3 removed; 13 dirs)");
    EXPECT_EQ(foldersIndexed(data.path), foldersOnDisk(tree.path));

    indexer::WatchOptions options;
    options.location = location;
    options.catalogue = [&] { return catalogue; };
    std::atomic<bool> ready{false};
    std::string ended = "still running";
    options.ready = [&](int64_t) { ready = true; };
    std::thread watcher([&] { ended = indexer::watchIndex(options, stop); });
    for (int i = 0; i < 200 && !ready; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(ready);
    std::mt19937 rng(17);
    for (int i = 0; i < 40; ++i) {
        std::vector<fs::path> dirs{tree.path};
        for (auto it = fs::recursive_directory_iterator(tree.path); it != fs::recursive_directory_iterator();
             ++it)
            if (it->is_directory())
                dirs.push_back(it->path());
        const fs::path& where = dirs[rng() % dirs.size()];
        std::error_code ec;
        switch (rng() % 4) {
        case 0:
        case 1:
            fs::create_directory(where / (L"n" + std::to_wstring(i)), ec);
            break;
        case 2:
            if (where != tree.path)
                fs::remove_all(where, ec);
            break;
        case 3:
            if (where != tree.path)
                fs::rename(where, outside.path / (L"out" + std::to_wstring(i)), ec);
            break;
        }
    }
    std::vector<std::string> indexed;
    for (int i = 0; i < 50 && (indexed = foldersIndexed(data.path)) != foldersOnDisk(tree.path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(indexed, foldersOnDisk(tree.path));
    stop = true;
    watcher.join();
    EXPECT_EQ(ended, "");
    std::vector<std::string> history;
    ASSERT_EQ(store::listSearchHistory(u8(data.path / L"Files.dat"), history), "");
    EXPECT_EQ(history, std::vector<std::string>{"kept"});
}
