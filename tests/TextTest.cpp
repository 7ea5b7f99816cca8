#include "LikeReference.h"
#include "platform/Platform.h"
#include "platform/WinText.h"
#include "search/Pattern.h"
#include "text/TextFold.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using namespace qvl::search;
using namespace qvl::text;

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

// Random names and patterns over a few letters, a two-byte character, its bytes alone
// and both wildcards, patterns long enough to need more than one 64-bit word of states.
TEST(Like, AgreesWithTheDefinitionOnRandomTexts) {
    const std::vector<std::string> pieces = {"a", "b", "\xc3\xa4", "\xc3", "\xa4", "\xe2\x82\xac", "%", "_"};
    std::mt19937 random(16);
    auto text = [&](size_t most, bool wildcards) {
        std::string t;
        for (size_t k = random() % (most + 1); k > 0; --k)
            t += pieces[random() % (wildcards ? pieces.size() : pieces.size() - 2)];
        return t;
    };
    int matched = 0;
    for (int round = 0; round < 20000; ++round) {
        const std::string name = text(12, false);
        const std::string pattern = round % 10 == 0 ? text(90, true) : text(8, true);
        const bool expected = qvl::test::likeReference(name, pattern);
        ASSERT_EQ(likeMatch(name, pattern), expected) << "'" << name << "' LIKE '" << pattern << "'";
        ASSERT_EQ(likeMatchInParallel(name, pattern), expected)
            << "'" << name << "' LIKE '" << pattern << "'";
        matched += expected;
    }
    EXPECT_GT(matched, 500); // the cases are not all misses
    // The pattern that made backtracking slow still gives the right answers.
    std::string many;
    for (int k = 0; k < 100; ++k)
        many += "a_";
    EXPECT_TRUE(likeMatch(std::string(240, 'a'), "%" + many + "%"));
    EXPECT_FALSE(likeMatch(std::string(240, 'a'), "%" + many + "b%"));
    EXPECT_FALSE(likeMatch(std::string(199, 'a'), "%" + many + "%"));
    EXPECT_TRUE(likeMatchInParallel(std::string(240, 'a'), "%" + many + "%"));
}

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
    return qvl::text::comparePaths(P(a), P(b));
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

TEST(WindowsNames, EveryUtf16NameComesBackUnchanged) {
    // Lone surrogates, high and low, at either end and beside a real pair (U+1F600).
    const std::u16string names[] = {u"plain",
                                    u"caf\u00e9",
                                    std::u16string{0xD83D, 0xDE00, u'x'},
                                    std::u16string{u'a', 0xD800},
                                    std::u16string{0xDC00, u'b'},
                                    std::u16string{0xDBFF, 0xD83D, 0xDE00, 0xDFFF}};
    for (const std::u16string& name : names) {
        std::string wtf8 = qvl::platform::wtf8FromUtf16(name);
        EXPECT_EQ(qvl::platform::utf16FromWtf8(wtf8), name);
    }
    // Real pairs are plain UTF-8; a lone one is the three bytes of its code point.
    EXPECT_EQ(qvl::platform::wtf8FromUtf16(std::u16string{0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
    EXPECT_EQ(qvl::platform::wtf8FromUtf16(std::u16string{u'a', 0xD800}), "a\xED\xA0\x80");
    // Bytes that are not well formed (stray, overlong, past U+10FFFF) become U+FFFD each.
    EXPECT_EQ(qvl::platform::utf16FromWtf8("\xFF"
                                           "a\xC0\xAF"),
              (std::u16string{0xFFFD, u'a', 0xFFFD, 0xFFFD}));
    EXPECT_EQ(qvl::platform::utf16FromWtf8("\xF4\x90\x80\x80").front(), 0xFFFD);
}

TEST(WindowsNames, LongPathsGetTheFormWindowsOpens) {
    using qvl::platform::longPath;
    const std::u16string deep(300, u'x');
    EXPECT_EQ(longPath(u"C:/short/path"), u"C:\\short\\path"); // short: only the slashes
    EXPECT_EQ(longPath(u"C:\\" + deep), u"\\\\?\\C:\\" + deep);
    EXPECT_EQ(longPath(u"C:/a/" + deep), u"\\\\?\\C:\\a\\" + deep);
    EXPECT_EQ(longPath(u"\\\\server\\share\\" + deep), u"\\\\?\\UNC\\server\\share\\" + deep);
    EXPECT_EQ(longPath(u"//server/share/" + deep), u"\\\\?\\UNC\\server\\share\\" + deep);
    EXPECT_EQ(longPath(u"\\\\?\\C:\\" + deep), u"\\\\?\\C:\\" + deep); // already long
}
