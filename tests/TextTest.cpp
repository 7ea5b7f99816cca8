#include "platform/Platform.h"
#include "search/Pattern.h"
#include "search/TextFold.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qvl::search;

TEST(TextFold, FoldsEveryScriptAndKeepsStrayBytes) {
    EXPECT_EQ(fold("WINDOWS"), "windows");
    EXPECT_EQ(fold("ÄRGER"), "ärger");
    EXPECT_EQ(fold("ΣΊΣΥΦΟΣ"), fold("σίσυφος")); // final sigma folds like sigma
    EXPECT_EQ(fold("ПРИВЕТ"), "привет");
    EXPECT_EQ(fold("ẞ"), "ß"); // one character stays one character
    EXPECT_EQ(fold("\xff"
                   "A\xc3"),
              "\xff"
              "a\xc3");                        // not UTF-8: bytes pass through
    EXPECT_EQ(fold("e\xcc\x81"), "e\xcc\x81"); // decomposed forms are left as they are
}

struct LikeCase {
    const char* name;
    const char* pattern;
    bool match;
};

class Like : public testing::TestWithParam<LikeCase> {};

TEST_P(Like, Matches) {
    const LikeCase& c = GetParam();
    EXPECT_EQ(likeMatch(c.name, c.pattern), c.match) << c.name << " LIKE " << c.pattern;
}

INSTANTIATE_TEST_SUITE_P(Patterns, Like,
                         testing::Values(LikeCase{"abc", "%a_c%", true}, LikeCase{"abbc", "%a_c%", false},
                                         LikeCase{"xäy", "x_y", true}, // "_" is a whole character
                                         LikeCase{"anything", "%", true}, LikeCase{"", "%%", true},
                                         LikeCase{"aXbXc", "a%b%c", true}, LikeCase{"acb", "a%b%c", false},
                                         LikeCase{"ab", "ab_", false}, LikeCase{"[ab]", "%[a%", true},
                                         LikeCase{"mississippi", "%iss%ipp%", true}));

TEST(NameMatcher, ModesAndWildcards) {
    EXPECT_TRUE(NameMatcher("WIN", ContainingSearch).matches("windows"));
    EXPECT_TRUE(NameMatcher("windows", ExactSearch).matches("windows"));
    EXPECT_FALSE(NameMatcher("window", ExactSearch).matches("windows"));
    EXPECT_FALSE(NameMatcher("", ExactSearch).matches("")); // exact and empty finds nothing
    EXPECT_TRUE(NameMatcher("", ContainingSearch).matches("a"));
    EXPECT_FALSE(NameMatcher("a_c", ExactSearch).matches("abc")); // no wildcards in exact
    EXPECT_TRUE(NameMatcher("bob's", ContainingSearch).matches("bob's files"));
}

namespace {

// A path written with "/" in the system's own separator.
std::string P(std::string path) {
    std::replace(path.begin(), path.end(), '/', qvl::platform::kSeparator);
    return path;
}

int comparePaths(const char* a, const char* b) {
    return qvl::search::comparePaths(P(a), P(b));
}

} // namespace

TEST(PathOrder, FolderComesBeforeItsSubfoldersAndCaseIsIgnored) {
    // '-' sorts below '/' as a byte, but a folder's subfolders still follow it directly.
    EXPECT_LT(comparePaths("/a/", "/a/b/"), 0);
    EXPECT_LT(comparePaths("/a/b/", "/a-b/"), 0);
    EXPECT_LT(comparePaths("/Apple/", "/banana/"), 0);
    EXPECT_GT(comparePaths("/ä/", "/B/"), 0); // folded text in UTF-8 byte order
    // Names equal but for case: exact bytes decide, and each keeps its subtree together.
    EXPECT_LT(comparePaths("/A/", "/a/"), 0);
    EXPECT_LT(comparePaths("/A/z/", "/a/"), 0);
    EXPECT_EQ(comparePaths("/x/", "/x/"), 0);
}
