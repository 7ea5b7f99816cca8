#include "TestSupport.h"

#include "indexer/Update.h"
#include "indexer/Walker.h"
#include "text/TextFold.h"

#include <gtest/gtest.h>

#include <fstream>

#include <algorithm>
#include <chrono>
#include <numeric>
#include <random>
#include <set>
#include <thread>

namespace fs = std::filesystem;
using namespace qvl;
using qvl::test::TempDir;

namespace {

// Names that have broken folder finders before.
const std::vector<std::string> kHostile = {
    "Program Files/Common Files",
    "Bob's Files",
    "100% done",
    "snake_case",
    "a_c",
    "abc",
    "Microsoft.NET/Framework",
    "v1.2",
    "node.js",
    "trailing.",
    ".hidden/inside/deeper",
    ".git",
    "visible/.cache/x",
    "back\\slash",
    "caf\xc3\xa9",
    "cafe\xcc\x81",
    "\xc3\x84rger/\xc3\xa4rger",
    "bad\xff\xfe"
    "bytes/child",
    "new\nline",
    " lead and trail ",
    "WINDOWS/System32",
    "windows",
    "x'); DELETE FROM tblDirs; --",
};

std::vector<std::string> allRows(const std::string& db) {
    return test::searchPaths(db, test::query("", search::ContainingSearch));
}

} // namespace

TEST(Walker, IndexEqualsFindOnHostileTree) {
    TempDir tree, data;
    std::string root = tree.str();
    for (const std::string& rel : kHostile)
        test::makeDirs(tree.path(), rel);
    test::makeDirs(tree.path(), "deep");
    test::makeDeepChain(tree.path() / "deep", 1000, "level"); // far past the path limit
    fs::create_directory_symlink(tree.path(), tree.path() / "loop");
    fs::create_directory_symlink(tree.path() / "abc", tree.path() / "WINDOWS" / "link");
    test::makeDirs(tree.path(), "has files");
    { std::ofstream(tree.path() / "has files" / "file.txt") << "x"; }

    auto result = test::indexFolders(data.path(), {root});
    ASSERT_EQ(result.error, "");
    std::vector<std::string> expected = test::findDirs(root);
    ASSERT_GT(expected.size(), 1000u);
    EXPECT_EQ(result.caption(), "Done. (" + std::to_string(expected.size()) + " dirs)");

    const std::string db = (data.path() / "Files.dat").string();
    std::vector<std::string> rows = allRows(db);
    std::multiset<std::string> got(rows.begin(), rows.end()), want(expected.begin(), expected.end());
    EXPECT_TRUE(got == want) << "index has " << got.size() << " rows, find lists " << want.size();
    EXPECT_TRUE(std::is_sorted(rows.begin(), rows.end(),
                               [](auto& a, auto& b) { return text::comparePaths(a, b) < 0; }));

    // Every kind of needle gives what a filter over find's list gives.
    for (const char* needle :
         {"files", "FILES", "bob's", "%", "_", "a_c", "100%", "\xc3\xa4rger", "CAF\xc3\x89", "\xff",
          "level-0999", "", "x'); DELETE FROM tblDirs; --", "\\", " "}) {
        for (int mode : {search::ContainingSearch, search::ExactSearch}) {
            EXPECT_EQ(test::searchPaths(db, test::query(needle, mode)),
                      test::bruteForce(expected, needle, mode))
                << "needle '" << needle << "' mode " << mode;
        }
    }
}

// Writing ten million folders takes a while: it shows progress and Stop ends it. A Stop
// during the walk still writes every folder the walk found, however many; one during the
// writing keeps the rows written so far, in index order, and the next update adds the
// rest, even where the folders' times are old enough to be trusted: the folders whose
// subfolders were not all written must not be.
TEST(Walker, StopWhileWritingKeepsWhatIsWrittenAndTheUpdateMendsIt) {
    TempDir tree, data;
    for (int i = 0; i < 5000; ++i)
        test::makeDirs(tree.path(), "t" + std::to_string(i) + "/u");
    std::this_thread::sleep_for(std::chrono::milliseconds(2100)); // times within 2 s are never trusted
    indexer::DriveCatalogue catalogue;
    catalogue.add({'C', indexer::DriveFixed, tree.str()});
    std::atomic<bool> stop{true}; // before the walk: the root's 5,000 folders are found
    std::vector<char> started, finished;
    indexer::IndexRunCallbacks driveCallbacks;
    driveCallbacks.driveStarted = [&](char c) { started.push_back(c); };
    driveCallbacks.driveFinished = [&](char c) { finished.push_back(c); };
    auto result = indexer::runIndex(test::storeIn(data.path()), catalogue, "C", stop, driveCallbacks);
    EXPECT_EQ(result.caption(), "Canceled. (5000 dirs)");
    EXPECT_FALSE(stop.load()); // cleared for the next run
    EXPECT_EQ(started, std::vector<char>{'C'});
    EXPECT_EQ(finished, std::vector<char>{'C'});

    std::vector<std::string> writing;
    indexer::IndexRunCallbacks callbacks;
    callbacks.progress = [&](const std::string& text, int64_t rows) {
        if (text.rfind("Writing the index: ", 0) != 0)
            return;
        writing.push_back(text);
        if (rows >= 4096)
            stop = true;
    };
    result = indexer::runIndex(test::storeIn(data.path()), catalogue, "C", stop, callbacks);
    ASSERT_FALSE(writing.empty());
    EXPECT_TRUE(result.canceled);
    EXPECT_GT(result.count, 4096 - 1);
    EXPECT_LT(result.count, 10000);
    std::vector<std::string> all = test::bruteForce(test::findDirs(tree.str()), "", search::ContainingSearch);
    all.resize(static_cast<size_t>(result.count));
    EXPECT_EQ(test::searchPaths((data.path() / "Files.dat").string(), test::query("")), all);

    std::atomic<bool> noStop{false};
    EXPECT_EQ(indexer::runUpdate(test::storeIn(data.path()), catalogue, "C", noStop).error, "");
    EXPECT_EQ(test::indexDiffersFromDisk(data.path(), tree.path()), "");
}

TEST(Walker, ProgressIsThrottledAndNamesTheFolder) {
    TempDir tree;
    for (int i = 0; i < 300; ++i)
        test::makeDirs(tree.path(), std::string("p").append(std::to_string(i)));
    std::atomic<bool> stop{false};
    std::vector<std::string> seen;
    indexer::DirTree dirs;
    std::string root = tree.str();
    auto started = std::chrono::steady_clock::now();
    auto status = indexer::ScanDirectory(root, 'C', dirs, stop,
                                         [&](const std::string& path, int64_t) { seen.push_back(path); });
    auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    EXPECT_EQ(root.back(), '/'); // the caller's path comes back ending in the separator
    EXPECT_EQ(status.rows, 300);
    ASSERT_FALSE(seen.empty());
    EXPECT_LE(seen.size(), static_cast<size_t>(ms.count() / 40 + 2)); // at most every 40 ms, not per folder
    EXPECT_EQ(seen[0].rfind(root, 0), 0u);
}

TEST(Walker, DrivesMergeIntoOneOrderWithTheirLetters) {
    TempDir one, two, data;
    for (const char* rel : {"a/x", "m", "Z"})
        test::makeDirs(one.path(), rel);
    for (const char* rel : {"b", "a"})
        test::makeDirs(two.path(), rel);
    // Drive D's root lies beside drive C's, so their rows interleave in one order.
    auto result = test::indexFolders(data.path(), {one.str(), two.str()});
    ASSERT_EQ(result.count, 6);
    const std::string db = (data.path() / "Files.dat").string();
    std::vector<std::string> rows = allRows(db);
    std::vector<std::string> sorted = rows;
    std::sort(sorted.begin(), sorted.end(), [](auto& a, auto& b) { return text::comparePaths(a, b) < 0; });
    EXPECT_EQ(rows, sorted);

    search::SearchCursor cursor;
    ASSERT_EQ(cursor.open(db, test::scoped("a", search::ExactSearch, "d")), search::SearchError::None);
    search::SearchHit hit;
    ASSERT_TRUE(cursor.next(hit));
    EXPECT_EQ(hit.driveLetter, 'D');
    EXPECT_EQ(hit.fullDirectory, two.str() + "/a/");
    EXPECT_EQ(hit.directory, "a");
    EXPECT_FALSE(cursor.next(hit));
}

// A folder on the way down swapped for a link to elsewhere while folders below it are
// opened: neither way of opening may ever list what the link points to.
TEST(Walker, ChurnNeverLeadsOutOfTheDrive) {
    TempDir tree, outside;
    test::makeDirs(outside.path(), "sub/OUTSIDE");
    test::makeDirs(tree.path(), "a/sub/inside");
    const fs::path a = tree.path() / "a", parked = tree.path() / "parked";
    std::atomic<bool> done{false};
    std::thread churn([&] {
        std::error_code ec;
        while (!done) {
            fs::rename(a, parked, ec);
            fs::create_directory_symlink(outside.path(), a, ec);
            std::this_thread::yield();
            fs::remove(a, ec);
            fs::rename(parked, a, ec);
            // A moment with the real folder in place, so that a loaded machine lists it too.
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    int escaped = 0;
    for (bool kernel : {true, false}) {
        platform::WalkRoot root(tree.str(), kernel);
        std::vector<char> buffer;
        int inside = 0;
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        // Until the real folder was listed often enough, for a loaded machine too.
        for (int i = 0; (i < 4000 || inside < 50) && std::chrono::steady_clock::now() < until; ++i) {
            std::vector<std::string> names;
            root.listSubdirs(
                "a/sub", buffer,
                [](void* ctx, std::string_view n) {
                    static_cast<std::vector<std::string>*>(ctx)->emplace_back(n);
                },
                &names);
            for (const std::string& n : names)
                ++(n == "OUTSIDE" ? escaped : inside);
        }
        EXPECT_GT(inside, 0) << "kernel " << kernel;
    }
    done = true;
    churn.join();
    EXPECT_EQ(escaped, 0);
}

// The scratch file of a walk, read back in any order: records across the writes of its
// buffer and past the read window, names of every length, folded names kept apart only
// where they differ, folders never listed.
TEST(Walker, SpilledTreeGivesBackEveryRecordInAnyOrder) {
    TempDir dir;
    indexer::SpilledTree tree;
    ASSERT_EQ(tree.open(dir.path() / "scratch.tmp"), "");
    struct Want {
        int64_t time;
        uint32_t first;
        std::vector<std::string> names, folded;
    };
    std::vector<Want> want(1); // per node; the root first
    std::mt19937 rng(7);
    std::vector<uint32_t> unlisted{0};
    while (want.size() < 200'000 && !unlisted.empty()) {
        std::swap(unlisted[rng() % unlisted.size()], unlisted.back());
        const uint32_t node = unlisted.back();
        unlisted.pop_back();
        Want w;
        w.time = static_cast<int64_t>(rng());
        const uint32_t count = rng() % 9;
        w.first = tree.beginListing(node, w.time, count);
        for (uint32_t k = 0; k < count; ++k) {
            std::string name(rng() % 7 == 0 ? 300 + rng() % 400 : 1 + rng() % 12,
                             static_cast<char>('A' + rng() % 26));
            std::string folded = rng() % 2 ? text::fold(name) : name;
            tree.child(name, folded);
            w.names.push_back(name);
            w.folded.push_back(folded);
            unlisted.push_back(w.first + k);
            want.emplace_back();
        }
        tree.endListing();
        want[node] = std::move(w);
    }
    ASSERT_EQ(tree.error(), "");
    EXPECT_EQ(tree.rows(), static_cast<int64_t>(want.size()) - 1);
    const std::set<uint32_t> never(unlisted.begin(), unlisted.end());
    std::vector<uint32_t> order(want.size());
    std::iota(order.begin(), order.end(), 0u);
    std::shuffle(order.begin() + order.size() * 9 / 10, order.end(), rng); // the last tenth at random
    indexer::SpilledTree::Listing got;
    for (uint32_t node : order) {
        ASSERT_EQ(tree.read(node, got), !never.count(node)) << node;
        if (never.count(node))
            continue;
        EXPECT_EQ(got.time, want[node].time);
        EXPECT_EQ(got.firstChild, want[node].first);
        ASSERT_EQ(std::vector<std::string>(got.names.begin(), got.names.end()), want[node].names) << node;
        ASSERT_EQ(std::vector<std::string>(got.folded.begin(), got.folded.end()), want[node].folded) << node;
    }
    EXPECT_EQ(tree.error(), "");
}
