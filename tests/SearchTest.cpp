#include "TestSupport.h"

#include "search/BestMatches.h"
#include "search/SearchService.h"
#include "store/History.h"
#include "store/IndexStore.h"
#include "store/Sqlite.h"
#include "text/TextFold.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>
#include <thread>

using namespace qvl;
using qvl::test::TempDir;

namespace {

// Random names from an alphabet that mixes case, non-ASCII letters, wildcard
// characters and bytes that are not UTF-8.
std::string randomName(std::mt19937& rng) {
    static const std::vector<std::string> alphabet = {"a",        "A",        "b",    "B", "c", "\xc3\xa4",
                                                      "\xc3\x84", "%",        "_",    ".", " ", "'",
                                                      "\xce\xa3", "\xcf\x82", "\xff", "z"};
    std::uniform_int_distribution<size_t> len(1, 6), pick(0, alphabet.size() - 1);
    std::string name;
    for (size_t n = len(rng); name.size() < n;)
        name += alphabet[pick(rng)];
    if (name[0] == '.')
        name[0] = 'x'; // dot names are not indexed; keep the tree's size predictable
    return name;
}

class SearchDifferential : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_tree = new TempDir;
        s_data = new TempDir;
        std::mt19937 rng(12345);
        // Two drives, each a few thousand folders; blocks of several rows each.
        for (const char* drive : {"one", "two"}) {
            std::vector<std::string> dirs = {std::string(drive)};
            for (int i = 0; i < 2500; ++i) {
                std::string parent = dirs[std::uniform_int_distribution<size_t>(0, dirs.size() - 1)(rng)];
                dirs.push_back(parent + "/" + randomName(rng));
                test::makeDirs(s_tree->path(), dirs.back());
            }
        }
        auto result = test::indexFolders(s_data->path(), {s_tree->str() + "/one", s_tree->str() + "/two"});
        ASSERT_EQ(result.error, "");
        s_all = test::findDirs(s_tree->str() + "/one");
        for (auto& p : test::findDirs(s_tree->str() + "/two"))
            s_all.push_back(p);
        ASSERT_EQ(static_cast<size_t>(result.count), s_all.size());
    }
    static void TearDownTestSuite() {
        delete s_tree;
        delete s_data;
    }
    static std::string db() { return (s_data->path() / "Files.dat").string(); }

    static inline TempDir* s_tree = nullptr;
    static inline TempDir* s_data = nullptr;
    static inline std::vector<std::string> s_all;
};

} // namespace

TEST_F(SearchDifferential, RandomNeedlesMatchBruteForce) {
    std::mt19937 rng(777);
    for (int i = 0; i < 300; ++i) {
        std::string needle = randomName(rng).substr(0, 1 + i % 3);
        if (i % 7 == 0)
            needle = text::fold(needle) == needle ? needle : text::fold(needle); // already folded
        int mode = i % 4 == 0 ? search::ExactSearch : search::ContainingSearch;
        ASSERT_EQ(test::searchPaths(db(), test::query(needle, mode)), test::bruteForce(s_all, needle, mode))
            << "needle '" << needle << "' mode " << mode;
    }
}

// A launcher's screenful: exact names first, then the shortest paths, then index order,
// as a stable sort of every hit would give them, whatever the limit.
TEST_F(SearchDifferential, BestMatchesAreTheFirstOfEveryHitSorted) {
    std::mt19937 rng(4242);
    for (int i = 0; i < 200; ++i) {
        std::string needle = randomName(rng).substr(0, 1 + i % 2);
        std::vector<std::string> all = test::bruteForce(s_all, needle, search::ContainingSearch);
        std::vector<std::string> exact = test::bruteForce(s_all, needle, search::ExactSearch);
        auto isExact = [&](const std::string& p) {
            return std::find(exact.begin(), exact.end(), p) != exact.end();
        };
        std::stable_sort(all.begin(), all.end(), [&](const std::string& a, const std::string& b) {
            return std::pair(!isExact(a), a.size()) < std::pair(!isExact(b), b.size());
        });
        for (size_t limit : {size_t(1), size_t(7), size_t(20), all.size() + 1}) {
            std::vector<search::RankedHit> got;
            std::string message;
            ASSERT_EQ(search::bestMatches(db(), needle, limit, got, message), search::SearchError::None)
                << message;
            ASSERT_EQ(got.size(), std::min(limit, all.size())) << needle;
            for (size_t k = 0; k < got.size(); ++k) {
                ASSERT_EQ(got[k].fullDirectory, all[k])
                    << "needle '" << needle << "' limit " << limit << " rank " << k;
                ASSERT_EQ(got[k].exact, isExact(all[k])) << all[k];
            }
        }
    }
    std::vector<search::RankedHit> got;
    std::string message;
    EXPECT_EQ(search::bestMatches((s_data->path() / "none.dat").string(), "a", 20, got, message),
              search::SearchError::NoIndex);
    EXPECT_TRUE(got.empty());
}

// Blocks whose names are made of different letters, so that most blocks lack most of a
// needle's three-byte runs and are skipped unread: what is skipped must never hold a hit,
// for a plain text or for a pattern's runs between wildcards.
TEST(SearchGrams, SkippedBlocksNeverHoldAHit) {
    TempDir data;
    std::mt19937 rng(99);
    std::vector<std::string> paths;
    for (int region = 0; region < 40; ++region)
        for (int i = 0; i < 1500; ++i) {
            std::string name;
            for (size_t n = 4 + rng() % 7; name.size() < n;)
                name += static_cast<char>('a' + (region * 3 + rng() % 7) % 26); // 7 letters a region
            paths.push_back("/r/g" + std::to_string(100 + region) + "/" + name + "/");
        }
    paths = test::bruteForce(paths, "", search::ContainingSearch); // all of them, in index order
    std::filesystem::copy_file(QVL_TEMPLATE, data.path() / "Files.dat");
    {
        store::IndexWriter writer;
        ASSERT_EQ(writer.open(data.path() / "Files.dat"), "");
        for (const std::string& p : paths) {
            const size_t begin = p.rfind('/', p.size() - 2) + 1;
            const std::string name = p.substr(begin, p.size() - 1 - begin);
            ASSERT_EQ(writer.add('C', p, name, name), "");
        }
        ASSERT_EQ(writer.finish(), "");
    }
    const std::string db = (data.path() / "Files.dat").string();
    int withHits = 0;
    for (int i = 0; i < 300; ++i) {
        // Half the needles are cut from a name, so that many have hits.
        const std::string& from = paths[rng() % paths.size()];
        const size_t begin = from.rfind('/', from.size() - 2) + 1;
        std::string needle = from.substr(begin, from.size() - 1 - begin).substr(rng() % 2, 3 + rng() % 3);
        if (i % 2)
            for (char& c : needle)
                c = static_cast<char>('a' + rng() % 26);
        if (i % 5 == 1)
            needle.insert(1 + rng() % (needle.size() - 1), rng() % 2 ? "%" : "_");
        std::vector<std::string> expected = test::bruteForce(paths, needle, search::ContainingSearch);
        withHits += expected.empty() ? 0 : 1;
        ASSERT_EQ(test::searchPaths(db, test::query(needle)), expected) << "needle '" << needle << "'";
    }
    EXPECT_GT(withHits, 100);
}

TEST(SearchService, HandsOverEveryHitInOrderToASlowReaderAndStopsWhenCanceled) {
    TempDir data;
    const std::string db = test::writeBigIndex(data.path(), 100000);
    const std::vector<std::string> expected = test::searchPaths(db, test::query("e1"));
    ASSERT_GT(expected.size(), 70000u); // more than the service holds back for a slow reader

    search::SearchService service;
    ASSERT_EQ(service.start(db, test::query("e1")), search::SearchError::None);
    std::vector<std::string> got;
    search::SearchService::Batch batch;
    while (service.take(batch, std::chrono::milliseconds(50))) {
        if (got.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(200)); // let the worker run ahead
        for (size_t i = 0; i < batch.size(); ++i)
            got.emplace_back(batch.path(i));
    }
    EXPECT_EQ(got, expected);
    EXPECT_FALSE(service.canceled());
    EXPECT_EQ(service.error(), search::SearchError::None);

    // A pattern that matches nothing scans everything: canceled, it ends at once with
    // nothing more handed over, and a new search on the same service runs whole.
    ASSERT_EQ(service.start(db, test::query("e%x_q")), search::SearchError::None);
    service.cancel();
    EXPECT_FALSE(service.take(batch, std::chrono::milliseconds(0)));
    EXPECT_TRUE(batch.empty());
    ASSERT_EQ(service.start(db, test::query("d1001", search::ExactSearch)), search::SearchError::None);
    got.clear();
    while (service.take(batch, std::chrono::milliseconds(50)))
        for (size_t i = 0; i < batch.size(); ++i)
            got.emplace_back(batch.path(i));
    EXPECT_EQ(got, std::vector<std::string>{"/r/d1001/"});

    EXPECT_EQ(service.start(db, test::scoped("x", search::ContainingSearch, "")),
              search::SearchError::WrongCriteria);
}

namespace {

// An index large enough to be scanned on every core: 150,000 folders with long names,
// written in index order, and their paths in that order as the oracle.
class ParallelSearch : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_data = new TempDir;
        std::filesystem::copy_file(QVL_TEMPLATE, s_data->path() / "Files.dat");
        store::IndexWriter writer;
        ASSERT_EQ(writer.open(s_data->path() / "Files.dat"), "");
        const char* words[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf"};
        char name[96];
        for (int i = 0; i < 150000; ++i) {
            std::snprintf(name, sizeof name, "n%06d-%s-lorem-ipsum-dolor-sit-amet-consectetur", i,
                          words[i % 7]);
            std::string path = "/p/g" + std::to_string(1000 + i / 500) + "/" + name + "/";
            ASSERT_EQ(writer.add(i % 3 == 0 ? 'D' : 'C', path, name, name), "");
            s_all.push_back(path);
            s_drives += i % 3 == 0 ? 'D' : 'C';
        }
        ASSERT_EQ(writer.finish(), "");
    }
    static void TearDownTestSuite() {
        delete s_data;
        s_all.clear();
        s_drives.clear();
    }
    static std::string db() { return (s_data->path() / "Files.dat").string(); }

    static inline TempDir* s_data = nullptr;
    static inline std::vector<std::string> s_all;
    static inline std::string s_drives;
};

} // namespace

// The best few of a large index, scanned by several threads that leave out what can no
// longer be among the best: names that hold the text at every length, exact names (in
// either case) deep down and late, against a stable sort of every hit.
TEST(BestMatches, LeaveOutOnlyWhatCannotBeAmongTheBest) {
    TempDir data;
    std::filesystem::copy_file(QVL_TEMPLATE, data.path() / "Files.dat");
    store::IndexWriter writer;
    ASSERT_EQ(writer.open(data.path() / "Files.dat"), "");
    std::vector<std::pair<std::string, bool>> hits; // every hit in index order, and whether exact
    auto add = [&](const std::string& path, const std::string& name) {
        std::string folded = name;
        for (char& c : folded)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        ASSERT_EQ(writer.add('C', path, name, folded), "");
        if (folded.find("photo") != std::string::npos)
            hits.emplace_back(path, folded == "photo");
    };
    for (int i = 0; i < 150000; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "n%06d", i);
        std::string name =
            std::string(number) + (i % 5 == 0 ? "-Photo-" : "-x-") + std::string((i * 7919) % 40, 'a');
        std::string path = "/p/g" + std::to_string(1000 + i / 500) + "/" + name + "/";
        add(path, name);
        if (i % 997 == 0 || i % 1009 == 0)
            add(path + "deeper/" + std::string(1 + i % 30, 'b') + "/", std::string(1 + i % 30, 'b'));
        if (i % 997 == 0)
            add(path + "deeper/" + std::string(1 + i % 30, 'b') + "/photo/", "photo");
        if (i % 1009 == 0)
            add(path + "PHOTO/", "PHOTO");
    }
    // Last, short names of every length up to the shortest above: each must win its place
    // against what the scanners were told to leave out by then.
    add("/p/h/", "h");
    for (size_t k = 0; k <= 12; ++k)
        add("/p/h/xphoto" + std::string(k, 'c') + "/", "xphoto" + std::string(k, 'c'));
    ASSERT_EQ(writer.finish(), "");
    std::vector<std::pair<std::string, bool>> sorted = hits;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return std::pair(!a.second, a.first.size()) < std::pair(!b.second, b.first.size());
    });
    for (size_t limit : {1, 20, 200, 400}) {
        std::vector<search::RankedHit> got;
        std::string message;
        ASSERT_EQ(search::bestMatches((data.path() / "Files.dat").string(), "photo", limit, got, message),
                  search::SearchError::None)
            << message;
        ASSERT_EQ(got.size(), limit);
        for (size_t k = 0; k < limit; ++k) {
            ASSERT_EQ(got[k].fullDirectory, sorted[k].first) << "limit " << limit << " rank " << k;
            ASSERT_EQ(got[k].exact, sorted[k].second) << sorted[k].first;
        }
    }
}

TEST_F(ParallelSearch, GivesEveryHitOnceInIndexOrder) {
    const std::vector<std::pair<std::string, int>> searches = {
        {"bravo", search::ContainingSearch},    // hits in every part of the index
        {"n104242-", search::ContainingSearch}, // one, near the end
        {"N000007-ALPHA-lorem-ipsum-dolor-sit-amet-consectetur", search::ExactSearch},
        {"n0_1%charlie", search::ContainingSearch},
        {"zzz", search::ContainingSearch}};
    for (const auto& [text, mode] : searches) {
        search::SearchCursor cursor;
        ASSERT_EQ(cursor.open(db(), test::query(text, mode)), search::SearchError::None);
        if (std::thread::hardware_concurrency() > 1) {
            EXPECT_GT(cursor.scanners(), 1u) << text;
        }
        std::vector<std::string> got;
        search::SearchHit hit;
        while (cursor.next(hit)) {
            got.emplace_back(hit.fullDirectory);
            ASSERT_EQ(hit.driveLetter,
                      s_drives[static_cast<size_t>(std::stoi(std::string(hit.directory.substr(1, 6))))]);
        }
        EXPECT_EQ(cursor.error(), search::SearchError::None) << cursor.message();
        EXPECT_EQ(got, test::bruteForce(s_all, text, mode)) << text;
    }
    // A scope keeps only its drive's hits, wherever they were found.
    std::vector<std::string> onD;
    for (size_t i = 0; i < s_all.size(); ++i)
        if (s_drives[i] == 'D')
            onD.push_back(s_all[i]);
    EXPECT_EQ(test::searchPaths(db(), test::scoped("echo", search::ContainingSearch, "D")),
              test::bruteForce(onD, "echo", search::ContainingSearch));
}

TEST_F(ParallelSearch, EndsEarlyWhenLeftOrCanceled) {
    const size_t all = s_all.size();           // every name has "lorem"
    for (int round = 0; round < 20; ++round) { // a cursor left after a few hits lets its threads go
        search::SearchCursor cursor;
        ASSERT_EQ(cursor.open(db(), test::query("lorem")), search::SearchError::None);
        search::SearchHit hit;
        for (int k = 0; k < round && cursor.next(hit); ++k) {
        }
    }
    std::atomic<bool> cancel{false};
    search::SearchCursor cursor;
    ASSERT_EQ(cursor.open(db(), test::query("lorem")), search::SearchError::None);
    cursor.setCancel(&cancel);
    search::SearchHit hit;
    size_t got = 0;
    while (cursor.next(hit))
        if (++got == 1000)
            cancel = true;
    EXPECT_TRUE(cursor.canceled());
    EXPECT_EQ(cursor.error(), search::SearchError::None);
    EXPECT_LT(got, all / 2);
    EXPECT_EQ(store::AddSearchHistory(db(), "lorem"), ""); // the file is let go at once
}

TEST_F(ParallelSearch, DamageFarInTheIndexComesAfterEveryHitBeforeIt) {
    TempDir work;
    const std::filesystem::path copy = work.path() / "Files.dat";
    std::filesystem::copy_file(db(), copy);
    // The names' checksum of a block about two thirds in, and how many rows come before it.
    int64_t block = 0;
    size_t rowsBefore = 0;
    {
        store::Db db;
        ASSERT_EQ(db.open(copy.string(), store::Db::Mode::ReadOnly), "");
        store::Stmt st(
            db, "SELECT Block, (SELECT sum(length(Drives)) FROM qvlBlocks b WHERE b.Block < a.Block)"
                " FROM qvlBlocks a ORDER BY Block LIMIT 1 OFFSET (SELECT count(*) * 2 / 3 FROM qvlBlocks)");
        ASSERT_EQ(st.step(), SQLITE_ROW);
        block = st.integer(0);
        rowsBefore = static_cast<size_t>(st.integer(1));
    }
    test::sql(copy, "UPDATE qvlNames SET NamesSum = NamesSum + 1 WHERE Block = " + std::to_string(block));

    search::SearchError error = search::SearchError::None;
    std::vector<std::string> got = test::searchPaths(copy.string(), test::query("delta"), &error);
    EXPECT_EQ(error, search::SearchError::Damaged);
    std::vector<std::string> before(s_all.begin(), s_all.begin() + static_cast<std::ptrdiff_t>(rowsBefore));
    EXPECT_EQ(got, test::bruteForce(before, "delta", search::ContainingSearch));
}
