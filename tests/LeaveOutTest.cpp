// The rules of the folders to leave out: the shell's patterns, the file that keeps the
// rules, and which of them reach which drive.

#include "TestSupport.h"

#include "indexer/LeaveOut.h"

#include <gtest/gtest.h>

#include <clocale>
#include <fnmatch.h>
#include <random>
#include <string>
#include <vector>

namespace qvl {
namespace {

using indexer::matchesName;

// Random patterns of stars, question marks, sets, ranges, negations and escapes, over
// names with periods and the sets' own characters, against fnmatch, the C library's own.
// It is the oracle for ASCII only: with a set and a two-byte letter it matches bytes.
TEST(LeaveOut, NamesMatchAsTheShellMatchesThem) {
    const std::string before = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    std::mt19937 rng(11);
    const std::vector<std::string> letters{"a", "b", "c", ".", "-", "]", "!", "[", "*"};
    const std::vector<std::string> tokens{"a",     "b",    "c",    ".",   "*",   "?", "[ab]", "[!a]", "[^b]",
                                          "[a-c]", "[]a]", "[!]]", "\\*", "\\a", "-", "[",    "]"};
    for (int i = 0; i < 300000; ++i) {
        std::string pattern, name;
        for (auto k = rng() % 5; k-- > 0;)
            pattern += tokens[rng() % tokens.size()];
        for (auto k = rng() % 6; k-- > 0;)
            name += letters[rng() % letters.size()];
        ASSERT_EQ(matchesName(pattern, name), fnmatch(pattern.c_str(), name.c_str(), 0) == 0)
            << "'" << pattern << "' '" << name << "'";
    }
    std::setlocale(LC_CTYPE, before.c_str());
    // A UTF-8 letter is one character; a byte that is not UTF-8 is one of its own, as a
    // lone lead byte is.
    EXPECT_TRUE(matchesName("[!a]?-", "\xc3\xa9z-"));
    EXPECT_FALSE(matchesName("[!a]?*-", "\xc3\xa9-"));
    EXPECT_TRUE(matchesName("*\xc3\xa9?", "x\xc3\xa9\xc3\xa9"));
    EXPECT_FALSE(matchesName("*\xa9", "\xc3\xa9")); // never half a letter
    EXPECT_TRUE(matchesName("?", "\xff"));
    EXPECT_TRUE(matchesName("a?b", "a\xc3"
                                   "b"));
    EXPECT_FALSE(matchesName("?", "\xff\xfe"));
    EXPECT_TRUE(matchesName("*\xfe", "\xff\xfe"));
    // Ranges go by code point (the C library's go by the locale's order, beyond ASCII).
    EXPECT_TRUE(matchesName("[\xc3\xa0-\xc3\xaa]", "\xc3\xa9"));
    EXPECT_FALSE(matchesName("[\xc3\xa0-\xc3\xaa]", "c"));
}

TEST(LeaveOut, RulesAreKeptAndReachTheDrivesTheyName) {
    test::TempDir data;
    indexer::LeaveOut rules;
    EXPECT_TRUE(indexer::loadLeaveOut(data.path(), rules).empty()); // no file: no rules
    EXPECT_TRUE(rules.empty());
    EXPECT_EQ(rules.add("path", "/srv//data/x/"), "");
    EXPECT_EQ(rules.add("path", "/srv/data/x"), ""); // the same folder
    EXPECT_NE(rules.add("path", "/srv/../etc"), "");
    EXPECT_NE(rules.add("path", "srv/data"), "");
    EXPECT_EQ(rules.add("name", "node_modules"), "");
    EXPECT_EQ(rules.add("name", "*.cache"), "");
    EXPECT_EQ(rules.add("fs", "NFS4"), "");
    EXPECT_EQ(rules.add("fs", "nfs4"), "");
    EXPECT_EQ(rules.paths, std::vector<std::string>{"/srv/data/x"});
    EXPECT_EQ(rules.fileSystems, std::vector<std::string>{"NFS4"});
    ASSERT_EQ(indexer::saveLeaveOut(data.path(), rules), "");
    indexer::LeaveOut read;
    EXPECT_TRUE(indexer::loadLeaveOut(data.path(), read).empty());
    EXPECT_EQ(read, rules);

    // Only "name" rules and the paths below a drive's root reach that drive.
    const indexer::FolderRules none;
    EXPECT_TRUE(none.leavesOut("", ".git"));
    EXPECT_FALSE(none.leavesOut("", "node_modules"));
    EXPECT_EQ(none.fingerprint(), 0u);
    const indexer::FolderRules srv(rules, "/srv/");
    EXPECT_TRUE(srv.leavesOut("data", "x"));
    EXPECT_FALSE(srv.leavesOut("data", "xy"));
    EXPECT_FALSE(srv.leavesOut("dat", "x"));
    EXPECT_FALSE(srv.leavesOut("", "x"));
    EXPECT_TRUE(srv.leavesOut("a/b", "node_modules"));
    EXPECT_TRUE(srv.leavesOut("", "b.cache"));
    EXPECT_TRUE(srv.leavesOutPath("data/x/below"));
    EXPECT_TRUE(srv.leavesOutPath("q/node_modules/r"));
    EXPECT_FALSE(srv.leavesOutPath("data/xy/z"));
    EXPECT_FALSE(indexer::FolderRules(rules, "/srv/data/").leavesOut("data", "x"));

    // The fingerprint tells the rules apart where they reach the drive, and only there.
    indexer::LeaveOut elsewhere = rules, more = rules;
    EXPECT_EQ(elsewhere.add("path", "/home/u/tmp"), "");
    EXPECT_EQ(more.add("path", "/srv/y"), "");
    EXPECT_EQ(indexer::FolderRules(elsewhere, "/srv").fingerprint(), srv.fingerprint());
    EXPECT_NE(indexer::FolderRules(more, "/srv").fingerprint(), srv.fingerprint());
    EXPECT_NE(srv.fingerprint(), 0u);

    // A drive is left out whole when its folder is one a path rule names, or below one.
    EXPECT_EQ(indexer::driveLeftOut(rules, {'D', indexer::DriveFixed, "/srv/data/x/"}), "path /srv/data/x");
    EXPECT_EQ(indexer::driveLeftOut(rules, {'D', indexer::DriveFixed, "/srv/data/x/y"}), "path /srv/data/x");
    EXPECT_EQ(indexer::driveLeftOut(rules, {'D', indexer::DriveFixed, "/srv/data/xy"}), "");
}

} // namespace
} // namespace qvl
