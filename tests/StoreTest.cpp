#include "TestSupport.h"

#include "store/History.h"
#include "store/SearchIndex.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qvl;
using qvl::test::TempDir;

namespace {

struct IndexedStore {
    TempDir tree, data;
    std::string db;
    IndexedStore() {
        for (const char* rel : {"Bob's Files", "photos/2019", "photos/2020", "Windows"})
            test::makeDirs(tree.path(), rel);
        test::indexFolders(data.path(), {tree.str()});
        db = (data.path() / "Files.dat").string();
    }
};

} // namespace

TEST(Store, CountsAreZeroWithoutAnIndex) {
    TempDir data;
    std::string db = (data.path() / "Files.dat").string();
    EXPECT_EQ(store::CountRows(db, "tblDirs"), 0);
    EXPECT_FALSE(store::IndexHasRows(db));
    EXPECT_FALSE(fs::exists(db)); // counting never creates the file
    search::SearchError error;
    test::searchPaths(db, test::query("x"), &error);
    EXPECT_EQ(error, search::SearchError::NoIndex);
}

TEST(Store, TextIsBoundNeverPastedIntoStatements) {
    IndexedStore s;
    ASSERT_EQ(store::CountRows(s.db, "tblDirs"), 5);
    EXPECT_EQ(store::CountRows(s.db, "tblDirs; DROP TABLE tblDirs"), 0);
    EXPECT_EQ(test::searchPaths(s.db, test::query("x'); DELETE FROM tblDirs; --")).size(), 0u);
    EXPECT_EQ(test::searchPaths(s.db, test::query("bob's")),
              std::vector<std::string>{s.tree.str() + "/Bob's Files/"});
    EXPECT_EQ(store::AddSearchHistory(s.db, "x'); DELETE FROM tblDirs; --"), "");
    EXPECT_EQ(store::CountRows(s.db, "tblDirs"), 5);
    EXPECT_TRUE(store::IndexHasRows(s.db));
}

TEST(Store, HistoryKeepsEveryTextInOrderAndReindexEmptiesIt) {
    IndexedStore s;
    for (const char* t : {"abc", "Bob's", "abc", ""})
        EXPECT_EQ(store::AddSearchHistory(s.db, t), "");
    std::vector<std::string> texts;
    EXPECT_EQ(store::listSearchHistory(s.db, texts), "");
    EXPECT_EQ(texts, (std::vector<std::string>{"abc", "Bob's", "abc", ""}));
    EXPECT_EQ(store::CountRows(s.db, "tblLastSearch"), 4);

    EXPECT_EQ(store::clearSearchHistory(s.db), "");
    EXPECT_EQ(store::listSearchHistory(s.db, texts), "");
    EXPECT_TRUE(texts.empty());

    store::AddSearchHistory(s.db, "kept until the next index");
    test::indexFolders(s.data.path(), {s.tree.str()});
    EXPECT_EQ(store::CountRows(s.db, "tblLastSearch"), 0);
}

TEST(Store, FinishedSearchHoldsNoLockOnTheHistory) {
    IndexedStore s;
    search::SearchCursor cursor;
    ASSERT_EQ(cursor.open(s.db, test::query("photos")), search::SearchError::None);
    search::SearchHit hit;
    while (cursor.next(hit)) {
    }
    EXPECT_EQ(store::AddSearchHistory(s.db, "photos"), ""); // at once, not after a busy wait
}

TEST(Store, RowsChangedBehindTheSearchBlocksAreStillFound) {
    IndexedStore s;
    test::sql(s.db, "INSERT INTO tblDirs VALUES ('C', '/added/Windows/', 'Windows')");
    EXPECT_EQ(test::searchPaths(s.db, test::query("windows", search::ExactSearch)),
              (std::vector<std::string>{"/added/Windows/", s.tree.str() + "/Windows/"}));
    EXPECT_EQ(store::ClearIndex(s.db), "");
    EXPECT_FALSE(store::IndexHasRows(s.db));
    EXPECT_TRUE(test::searchPaths(s.db, test::query("")).empty());
}

TEST(Store, MissingTemplateStillGivesAnIndex) {
    TempDir tree, data;
    test::makeDirs(tree.path(), "only");
    indexer::DriveCatalogue catalogue;
    catalogue.add({'C', indexer::DriveFixed, tree.str()});
    std::atomic<bool> stop{false};
    auto result =
        indexer::runIndex({data.path() / "sub", data.path() / "no-fresh.dat"}, catalogue, "C", stop);
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.caption(), "Done. (1 dirs)");
    EXPECT_EQ(store::AddSearchHistory((data.path() / "sub" / "Files.dat").string(), "works"), "");
}

TEST(Store, UnwritableDataFolderIsAnErrorNotDone) {
    TempDir tree;
    indexer::DriveCatalogue catalogue;
    catalogue.add({'C', indexer::DriveFixed, tree.str()});
    std::atomic<bool> stop{false};
    // A data folder below a plain file can never be created, even by root.
    std::ofstream((tree.path() / "file").string()) << "x";
    auto result = indexer::runIndex({tree.path() / "file" / "data", QVL_TEMPLATE}, catalogue, "C", stop);
    EXPECT_NE(result.error, "");
    EXPECT_EQ(result.count, 0);
}

// The data folder: a program folder is used only when it says it is portable, so an
// installed program run by root (who may write anywhere) never writes beside itself.
TEST(Store, DataFolderIsTheProgramFolderOnlyWhenMarkedPortable) {
    TempDir exe, home;
    const char* oldData = std::getenv("QVL_DATA_DIR");
    std::string keepData = oldData ? oldData : "";
    const char* oldXdg = std::getenv("XDG_DATA_HOME");
    std::string keepXdg = oldXdg ? oldXdg : "";
    ::unsetenv("QVL_DATA_DIR");
    ::setenv("XDG_DATA_HOME", home.str().c_str(), 1);

    // Writable, no marker (an installed bin folder as root): the per-user folder.
    EXPECT_EQ(store::locateStore(exe.path(), {}).dataDir, home.path() / "quorvel");
    std::ofstream(exe.path() / "quorvel.portable") << "\n";
    EXPECT_EQ(store::locateStore(exe.path(), {}).dataDir, exe.path());
    // A marker in a folder this process may not write to (a plain user): per-user again.
    if (::geteuid() != 0) {
        fs::permissions(exe.path(), fs::perms::owner_write, fs::perm_options::remove);
        EXPECT_EQ(store::locateStore(exe.path(), {}).dataDir, home.path() / "quorvel");
        fs::permissions(exe.path(), fs::perms::owner_write, fs::perm_options::add);
    }
    ::setenv("QVL_DATA_DIR", (home.path() / "elsewhere").c_str(), 1);
    EXPECT_EQ(store::locateStore(exe.path(), {}).dataDir, home.path() / "elsewhere");

    if (oldData)
        ::setenv("QVL_DATA_DIR", keepData.c_str(), 1);
    else
        ::unsetenv("QVL_DATA_DIR");
    if (oldXdg)
        ::setenv("XDG_DATA_HOME", keepXdg.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}

// The template: beside the program in a build folder, else where the install put it.
TEST(Store, TemplateIsBesideTheProgramElseInTheInstalledDataFolder) {
    TempDir prefix;
    fs::path bin = prefix.path() / "bin";
    fs::create_directories(bin);
    EXPECT_EQ(store::locateStore(bin, "../share/quorvel").templateFile,
              prefix.path() / "share" / "quorvel" / "fresh.dat");
    std::ofstream(bin / "fresh.dat") << "";
    EXPECT_EQ(store::locateStore(bin, "../share/quorvel").templateFile, bin / "fresh.dat");
}

// The filter an exact search checks: every name of the block passes it, and so few others
// that a search reads hardly any block in vain.
TEST(Store, BlockFilterPassesItsNamesAndFewOthers) {
    store::BlockBuilder builder;
    for (int i = 0; i < 2000; ++i) {
        std::string name = "n" + std::to_string(i * 7919);
        builder.add('C', "/r/" + name + "/", name);
    }
    const store::Block block = builder.take();
    auto passes = [&](const std::string& name) {
        const uint64_t hash = store::nameHash(name);
        return store::partMayContain(store::filterPartOf(block.filter, store::filterPart(hash)), hash);
    };
    for (int i = 0; i < 2000; ++i)
        ASSERT_TRUE(passes("n" + std::to_string(i * 7919))) << i;
    int falseHits = 0;
    for (int i = 0; i < 20000; ++i)
        falseHits += passes("m" + std::to_string(i)) ? 1 : 0;
    EXPECT_LT(falseHits, 300); // 1.5%: under 1% expected
}
