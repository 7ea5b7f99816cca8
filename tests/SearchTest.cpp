#include "TestSupport.h"

#include "search/TextFold.h"

#include <gtest/gtest.h>

#include <random>

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
            needle = search::fold(needle) == needle ? needle : search::fold(needle); // already folded
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
