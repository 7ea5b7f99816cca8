#include "TestSupport.h"

#include "search/SearchService.h"
#include "store/IndexStore.h"
#include "text/TextFold.h"

#include <gtest/gtest.h>

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

TEST_F(SearchDifferential, DriveScopeKeepsOnlyThoseDrives) {
    std::vector<std::string> onlyTwo;
    for (const std::string& p : s_all)
        if (p.find("/two/") != std::string::npos)
            onlyTwo.push_back(p);
    EXPECT_EQ(test::searchPaths(db(), test::scoped("a", search::ContainingSearch, "D")),
              test::bruteForce(onlyTwo, "a", search::ContainingSearch));
    EXPECT_EQ(test::searchPaths(db(), test::scoped("a", search::ContainingSearch, "cd")),
              test::bruteForce(s_all, "a", search::ContainingSearch));
    search::SearchError error;
    EXPECT_TRUE(test::searchPaths(db(), test::scoped("a", search::ContainingSearch, ""), &error).empty());
    EXPECT_EQ(error, search::SearchError::WrongCriteria);
}

namespace {

// An index of `count` folders written straight through the writer, fast enough for
// hundreds of thousands: /r/dNNN/eNNNNNN/.
std::string writeBigIndex(const std::filesystem::path& data, int count) {
    std::filesystem::copy_file(QVL_TEMPLATE, data / "Files.dat");
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

} // namespace

TEST(SearchService, HandsOverEveryHitInOrderToASlowReaderAndStopsWhenCanceled) {
    TempDir data;
    const std::string db = writeBigIndex(data.path(), 100000);
    const std::vector<std::string> expected = test::searchPaths(db, test::query("e1"));
    ASSERT_GT(expected.size(), 70000u); // more than the service holds back for a slow reader

    search::SearchService service;
    ASSERT_EQ(service.start(db, test::query("e1")), search::SearchError::None);
    std::vector<std::string> got;
    search::SearchService::Batch batch;
    while (service.take(batch, std::chrono::milliseconds(50))) {
        if (got.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(200)); // let the worker run ahead
        got.insert(got.end(), batch.paths.begin(), batch.paths.end());
    }
    EXPECT_EQ(got, expected);
    EXPECT_FALSE(service.canceled());
    EXPECT_EQ(service.error(), search::SearchError::None);

    // A pattern that matches nothing scans everything: canceled, it ends at once with
    // nothing more handed over, and a new search on the same service runs whole.
    ASSERT_EQ(service.start(db, test::query("e%x_q")), search::SearchError::None);
    service.cancel();
    EXPECT_FALSE(service.take(batch, std::chrono::milliseconds(0)));
    EXPECT_TRUE(batch.paths.empty());
    ASSERT_EQ(service.start(db, test::query("d1001", search::ExactSearch)), search::SearchError::None);
    got.clear();
    while (service.take(batch, std::chrono::milliseconds(50)))
        got.insert(got.end(), batch.paths.begin(), batch.paths.end());
    EXPECT_EQ(got, std::vector<std::string>{"/r/d1001/"});

    EXPECT_EQ(service.start(db, test::scoped("x", search::ContainingSearch, "")),
              search::SearchError::WrongCriteria);
}
