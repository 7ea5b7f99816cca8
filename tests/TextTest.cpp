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

namespace {

// Whether the matcher finds `name` (already folded) in a block holding only that name.
bool matches(const NameMatcher& matcher, const std::string& name) {
    std::string block = std::string(1, '\0') + name + std::string(1, '\0');
    uint32_t end = static_cast<uint32_t>(block.size() - 1);
    return matcher.findNext(block.data(), block.size(), &end, 1, 0) == 0;
}

} // namespace

TEST(NameMatcher, ModesAndWildcards) {
    EXPECT_TRUE(matches(NameMatcher("WIN", ContainingSearch), "windows"));
    EXPECT_TRUE(matches(NameMatcher("windows", ExactSearch), "windows"));
    EXPECT_FALSE(matches(NameMatcher("window", ExactSearch), "windows"));
    EXPECT_FALSE(matches(NameMatcher("", ExactSearch), "")); // exact and empty finds nothing
    EXPECT_TRUE(matches(NameMatcher("", ContainingSearch), "a"));
    EXPECT_FALSE(matches(NameMatcher("a_c", ExactSearch), "abc")); // no wildcards in exact
    EXPECT_TRUE(matches(NameMatcher("bob's", ContainingSearch), "bob's files"));
    // A text of stray bytes (not UTF-8) matches whole characters only: "\xBB" is not
    // found inside U+F33B, whose last byte it is, but is found where it stands alone.
    EXPECT_FALSE(matches(NameMatcher("\xBB\xF5", ContainingSearch), "a\xEE\xBC\xBB\xF5"));
    EXPECT_TRUE(matches(NameMatcher("\xBB\xF5", ContainingSearch), "a\xBB\xF5"));
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
