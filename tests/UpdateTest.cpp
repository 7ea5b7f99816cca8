// The incremental update against the disk: after any churn the index must hold what
// `find` lists, in the order a full index of the same tree has, with the history kept.

#include "TestSupport.h"

#include "indexer/IndexEdit.h"
#include "indexer/Update.h"
#include "store/History.h"
#include "store/Sqlite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>

namespace qvl {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

indexer::DriveCatalogue drivesFor(const std::vector<std::string>& roots) {
    indexer::DriveCatalogue catalogue;
    for (size_t i = 0; i < roots.size(); ++i)
        catalogue.add({static_cast<char>('C' + i), indexer::DriveFixed, roots[i]});
    return catalogue;
}

indexer::UpdateResult update(const fs::path& data, const std::vector<std::string>& roots,
                             const std::string& letters = "") {
    std::atomic<bool> stop{false};
    return indexer::runUpdate(test::storeIn(data), drivesFor(roots), letters, stop);
}

// Every row of tblDirs, as "drive|path|name", sorted.
std::vector<std::string> tableRows(const fs::path& db) {
    store::Db d;
    EXPECT_EQ(d.open(db.string(), store::Db::Mode::ReadOnly), "");
    store::Stmt s(d, "SELECT * FROM tblDirs");
    std::vector<std::string> rows;
    while (s.step() == SQLITE_ROW)
        rows.push_back(std::string(s.text(0)) + "|" + std::string(s.text(1)) + "|" + std::string(s.text(2)));
    std::sort(rows.begin(), rows.end());
    return rows;
}

// The index of `data` holds exactly what a full index of the same roots holds: every
// search in the same order, and the same rows of tblDirs.
void expectSameAsFullIndex(const fs::path& data, const std::vector<std::string>& roots) {
    TempDir fresh;
    ASSERT_EQ(test::indexFolders(fresh.path(), roots).error, "");
    const std::string mine = (data / "Files.dat").string(), full = (fresh.path() / "Files.dat").string();
    for (const auto& q : {test::query(""), test::query("d1"), test::query("n%x_"),
                          test::query("same", search::ExactSearch)}) {
        search::SearchError e = search::SearchError::None;
        EXPECT_EQ(test::searchPaths(mine, q, &e), test::searchPaths(full, q)) << "query " << q.text;
        EXPECT_EQ(e, search::SearchError::None);
    }
    EXPECT_EQ(tableRows(data / "Files.dat"), tableRows(fresh.path() / "Files.dat"));
}

TEST(Update, FollowsRandomChurnRowForRowAndKeepsTheHistory) {
    TempDir data, tree, outside;
    const fs::path root = tree.path() / "r";
    for (int i = 0; i < 300; ++i)
        test::makeDirs(root, "d" + std::to_string(i % 9) + "/same" + std::to_string(i % 31) + "/n" +
                                 std::to_string(i) + "x");
    // Times closer than two seconds to a walk are not trusted: let the tree age first,
    // so that the updates below reuse what did not change.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    const std::vector<std::string> roots = {root.string()};
    ASSERT_EQ(test::indexFolders(data.path(), roots).error, "");
    const std::string db = (data.path() / "Files.dat").string();
    ASSERT_EQ(store::AddSearchHistory(db, "kept search"), "");

    test::FolderChurn churn(root, outside.path(), 14);
    for (int round = 0; round < 12; ++round) {
        churn.steps(25);
        if (round == 5) // enough new folders in one place to split a block
            for (int i = 0; i < 5000; ++i)
                fs::create_directory(root / ("bulk" + std::to_string(i)));
        if (round == 8) // rows said to be in order that are not, as another program could leave them
            test::sql(db, "UPDATE qvlMeta SET Value = (SELECT max(rowid) FROM tblDirs) WHERE Key = 'sorted'");
        indexer::UpdateResult r = update(data.path(), roots);
        ASSERT_EQ(r.error, "") << "round " << round;
        ASSERT_EQ(test::indexDiffersFromDisk(data.path(), root), "") << "round " << round;
        EXPECT_EQ(r.count, static_cast<int64_t>(test::findDirs(root.string()).size()));
    }
    expectSameAsFullIndex(data.path(), roots);
    std::vector<std::string> history;
    ASSERT_EQ(store::listSearchHistory(db, history), "");
    EXPECT_EQ(history, std::vector<std::string>{"kept search"});
}

TEST(Update, TrustsAFolderWhoseTimeIsTheRecordedOneAndListsTheOthers) {
    TempDir tree;
    test::makeDirs(tree.path(), "a/b");
    test::makeDirs(tree.path(), "c");
    std::string root = tree.str() + "/";
    int64_t ta = 0, tc = 0, troot = 0;
    platform::WalkRoot walkRoot(root);
    ASSERT_EQ(walkRoot.folderTime("", troot), 0);
    ASSERT_EQ(walkRoot.folderTime("a", ta), 0);
    ASSERT_EQ(walkRoot.folderTime("c", tc), 0);
    // The record says "a" and "c" each hold a "ghost" the disk does not have; "a" has
    // the time recorded, "c" does not.
    indexer::DriveTimes recorded;
    recorded.entries = {{indexer::DriveTimes::pathKey(""), troot},
                        {indexer::DriveTimes::pathKey("a"), ta},
                        {indexer::DriveTimes::pathKey("c"), tc - 1}};
    std::sort(recorded.entries.begin(), recorded.entries.end());
    indexer::TreeLoader loader(root, recorded);
    for (const char* rel : {"a/", "a/b/", "a/ghost/", "c/", "c/ghost/"})
        loader.add(root + rel, fs::path(rel).parent_path().filename().string());
    indexer::DirTree before, after;
    ASSERT_TRUE(loader.finish(before));

    std::atomic<bool> stop{false};
    indexer::WalkStatus status = indexer::ScanDirectory(root, 'C', after, stop, {}, 1, &before);
    EXPECT_EQ(status.rows, 4); // a, b, the trusted ghost in a, c
    indexer::IndexChanges changes = indexer::treeChanges(before, after);
    ASSERT_EQ(changes.removedTrees.size(), 1u);
    EXPECT_EQ(changes.removedTrees[0].fullDirectory, root + "c/ghost/");
    EXPECT_TRUE(changes.added.empty());

    // Rows that are not a tree below the root are refused, never guessed at.
    indexer::TreeLoader orphan(root, recorded);
    orphan.add(root + "a/", "a");
    orphan.add(root + "z/y/", "y");
    EXPECT_FALSE(orphan.finish(before));
}

TEST(Update, TouchesOnlyTheDrivesNamedAndSaysWhenItReadsADriveWhole) {
    TempDir data, one, two;
    test::makeDirs(one.path(), "x/y");
    test::makeDirs(two.path(), "p/q");
    const std::vector<std::string> roots = {one.str(), two.str()};
    ASSERT_EQ(test::indexFolders(data.path(), roots).error, "");
    test::makeDirs(one.path(), "x/new");
    test::makeDirs(two.path(), "p/new");
    indexer::UpdateResult r = update(data.path(), roots, "C");
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.added, 1);
    std::vector<std::string> found =
        test::searchPaths((data.path() / "Files.dat").string(), test::query("new"));
    EXPECT_EQ(found, std::vector<std::string>{one.str() + "/x/new/"});

    // A clock that went back: recorded times can no longer be trusted.
    {
        store::Db db;
        ASSERT_EQ(db.open((data.path() / "Files.dat").string(), store::Db::Mode::ReadWrite), "");
        ASSERT_EQ(db.exec("UPDATE qvlTimes SET Started = 9000000000000000000"), "");
    }
    fs::remove_all(two.path() / "p/q");
    r = update(data.path(), roots);
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.notes.size(), 2u) << ::testing::PrintToString(r.notes);
    EXPECT_NE(r.notes[0].find("clock"), std::string::npos);
    expectSameAsFullIndex(data.path(), roots);

    // Once the times are old enough to be trusted, an update of an unchanged tree does
    // not write the file at all.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    ASSERT_EQ(update(data.path(), roots).error, "");
    auto settled = fs::last_write_time(data.path() / "Files.dat");
    r = update(data.path(), roots);
    EXPECT_EQ(r.added + r.removed, 0);
    EXPECT_EQ(fs::last_write_time(data.path() / "Files.dat"), settled);
}

TEST(Update, RefusedWhileAnotherWriterRuns) {
    TempDir data, tree;
    test::makeDirs(tree.path(), "a");
    ASSERT_EQ(test::indexFolders(data.path(), {tree.str()}).error, "");
    store::WriterLock other;
    ASSERT_EQ(other.acquire(data.path()), "");
    indexer::UpdateResult r = update(data.path(), {tree.str()});
    EXPECT_TRUE(r.busy);
    EXPECT_EQ(r.error, store::kWriterBusy);
}

} // namespace
// Times of many folders (written in pieces) read back as written, whether the file has
// them in the last column, as files are made now, or third, as older files have them.
TEST(Update, TimesReadBackInEitherLayoutOfTheirTable) {
    for (bool older : {false, true}) {
        TempDir data;
        const fs::path file = data.path() / "Files.dat";
        ASSERT_EQ(store::createEmptyDatabase(file), "");
        store::Db db;
        ASSERT_EQ(db.open(file.string(), store::Db::Mode::ReadWrite), "");
        if (older) {
            ASSERT_EQ(db.exec("DROP TABLE qvlTimes; CREATE TABLE qvlTimes (Letter TEXT PRIMARY KEY,"
                              " Started INTEGER NOT NULL, Times BLOB NOT NULL, Sum INTEGER NOT NULL)"),
                      "");
        }
        indexer::DriveTimes written;
        written.drive = 'D';
        written.started = 77;
        std::mt19937_64 rng(older);
        for (int i = 0; i < 150'000; ++i) // 2.4 MB: more than one piece
            written.entries.emplace_back(rng(), static_cast<int64_t>(rng() >> 1));
        std::sort(written.entries.begin(), written.entries.end());
        ASSERT_EQ(store::putDriveTimes(db, 'C', 5, "0123456789abcdef", 0), "");
        ASSERT_EQ(store::putDriveTimes(db, 'D', written.started, written.blob(), 0x8000000000000123ull), "");
        db.close();

        indexer::IndexEditor editor;
        ASSERT_EQ(editor.open(file), "");
        indexer::DriveTimes got = editor.readTimes('D');
        EXPECT_EQ(got.started, 77) << older;
        EXPECT_EQ(got.leaveOut, 0x8000000000000123ull) << older;
        EXPECT_EQ(editor.readTimes('C').leaveOut, 0u) << older;
        EXPECT_TRUE(got.entries == written.entries) << older << ": " << got.entries.size() << " entries";
        EXPECT_EQ(editor.readTimes('C').entries.size(), 1u) << older;
    }
}

// Indexes written by the last two versions: version 3 kept each block's filter whole,
// version 2 also the names inside the blocks. Searches read them right meanwhile (an
// exact one must not trust the old filters, here all zeros), and the first update brings
// them up to date and edits them as usual.
TEST(Update, UpgradesAnIndexOfTheLastVersions) {
    for (int version : {3, 2}) {
        TempDir tree, data;
        for (const char* rel : {"same/a", "b/same", "d1/n1x2", "d1/deep/er"})
            test::makeDirs(tree.path(), rel);
        const std::vector<std::string> roots{tree.str()};
        ASSERT_EQ(test::indexFolders(data.path(), roots).error, "");
        const fs::path file = data.path() / "Files.dat";
        {
            store::Db db;
            ASSERT_EQ(db.open(file.string(), store::Db::Mode::ReadWrite), "");
            ASSERT_EQ(db.exec("BEGIN; DROP TABLE qvlParts;"
                              " CREATE TABLE qvlFilters (Block INTEGER PRIMARY KEY, Filter BLOB NOT NULL,"
                              " Sum INTEGER NOT NULL);"
                              " INSERT INTO qvlFilters SELECT Block, zeroblob(64), 0 FROM qvlNames;"
                              " PRAGMA user_version = 3; COMMIT;"),
                      "");
            if (version == 2) {
                ASSERT_EQ(db.exec("BEGIN; ALTER TABLE qvlBlocks RENAME TO rest;"
                                  " CREATE TABLE qvlBlocks (Block INTEGER PRIMARY KEY, Names BLOB NOT NULL,"
                                  " Ends BLOB NOT NULL, Drives BLOB NOT NULL, Paths BLOB NOT NULL,"
                                  " NamesSum INTEGER NOT NULL, RowsSum INTEGER NOT NULL);"
                                  " INSERT INTO qvlBlocks SELECT r.Block, n.Names, r.Ends, r.Drives, r.Paths,"
                                  " n.NamesSum, r.RowsSum FROM rest r JOIN qvlNames n USING (Block);"
                                  " DROP TABLE rest; DROP TABLE qvlNames; PRAGMA user_version = 2; COMMIT;"),
                          "");
            }
        }
        const std::vector<std::string> same{tree.str() + "/b/same/", tree.str() + "/same/"};
        EXPECT_EQ(test::searchPaths(file.string(), test::query("same")), same) << version;
        EXPECT_EQ(test::searchPaths(file.string(), test::query("same", search::ExactSearch)), same)
            << version;
        {
            indexer::IndexEditor editor; // upgrades the file, changing no row
            ASSERT_EQ(editor.open(file), "") << version;
        }
        EXPECT_EQ(test::searchPaths(file.string(), test::query("same", search::ExactSearch)), same)
            << version;

        test::makeDirs(tree.path(), "d1/new");
        indexer::UpdateResult r = update(data.path(), roots);
        ASSERT_EQ(r.error, "");
        EXPECT_EQ(r.added, 1);
        store::Db db;
        ASSERT_EQ(db.open(file.string(), store::Db::Mode::ReadOnly), "");
        store::Stmt fresh(db, "SELECT user_version FROM pragma_user_version");
        ASSERT_EQ(fresh.step(), SQLITE_ROW);
        EXPECT_EQ(fresh.integer(0), 4);
        EXPECT_EQ(test::searchPaths(file.string(), test::query("new", search::ExactSearch)),
                  std::vector<std::string>{tree.str() + "/d1/new/"})
            << version;
        expectSameAsFullIndex(data.path(), roots);
    }
}

// Blocks that split in the same place, update after update, use up the numbers between
// their neighbours; then every block is numbered anew, its names, rows and filter parts
// moved together. Searches that read the parts (exact, and containing by grams) must
// still find what a full index finds.
TEST(Update, SplitsInOnePlaceUntilTheBlocksAreNumberedAnew) {
    TempDir data, tree;
    const fs::path root = tree.path() / "r";
    for (const char* rel : {"a/same", "hot", "z/same"})
        test::makeDirs(root, rel);
    for (int i = 0; i < 5000; ++i) // blocks after hot/, whose numbers bound its splits
        fs::create_directory(root / "z" / ("n" + std::to_string(i)));
    const std::vector<std::string> roots = {root.string()};
    ASSERT_EQ(test::indexFolders(data.path(), roots).error, "");
    const std::string file = (data.path() / "Files.dat").string();
    auto blockNumbers = [&] {
        store::Db db;
        EXPECT_EQ(db.open(file, store::Db::Mode::ReadOnly), "");
        store::Stmt s(db, "SELECT Block FROM qvlBlocks ORDER BY Block");
        std::vector<int64_t> numbers;
        while (s.step() == SQLITE_ROW)
            numbers.push_back(s.integer(0));
        return numbers;
    };
    // Splits number new blocks between their neighbours, below the last block's number;
    // numbering anew spreads all of them, past it.
    const int64_t lastAtFirst = blockNumbers().back();
    bool numberedAnew = false;
    for (int round = 10; round < 40 && !numberedAnew; ++round) {
        // Each round's names sort after the last round's, into the last block of hot/; long,
        // so that a few hundred fill blocks.
        for (int i = 0; i < 700; ++i)
            fs::create_directory(
                root / "hot" /
                ("r" + std::to_string(round) + "x" + std::to_string(i) + std::string(60, 'p')));
        indexer::UpdateResult r = update(data.path(), roots);
        ASSERT_EQ(r.error, "") << "round " << round;
        numberedAnew = blockNumbers().back() > lastAtFirst;
    }
    ASSERT_TRUE(numberedAnew) << "the splits never ran out of numbers";
    TempDir fresh;
    ASSERT_EQ(test::indexFolders(fresh.path(), roots).error, "");
    const std::string full = (fresh.path() / "Files.dat").string();
    for (const auto& q : {test::query("same", search::ExactSearch),
                          test::query("r11x7" + std::string(60, 'p'), search::ExactSearch),
                          test::query("r12x24"), test::query("x249")}) {
        search::SearchError e = search::SearchError::None;
        const std::vector<std::string> got = test::searchPaths(file, q, &e);
        EXPECT_FALSE(got.empty()) << q.text;
        EXPECT_EQ(got, test::searchPaths(full, q)) << q.text;
        EXPECT_EQ(e, search::SearchError::None);
    }
    expectSameAsFullIndex(data.path(), roots);
}

// The watcher's view of a folder when the change service names it: read from the blocks,
// passing over those wholly below one subfolder. Checked against the disk for every folder
// near the top and a sample of the rest, on a tree whose subtrees end anywhere in a block.
TEST(Update, AFoldersSubfoldersReadFromTheBlocksAreThoseOnDisk) {
    TempDir data, tree;
    const fs::path root = tree.path() / "r";
    std::mt19937 rng(7);
    for (int i = 0; i < 40; ++i) {
        // Subtrees of every size, some names differing only in case.
        const std::string top = (i % 7 == 0 ? "Top" : "top") + std::to_string(i / 2);
        for (int k = static_cast<int>(rng() % (i % 5 == 0 ? 2500 : 60)); k-- > 0;)
            test::makeDirs(root, top + "/s" + std::to_string(k % 97) + "/l" + std::to_string(k));
    }
    ASSERT_EQ(test::indexFolders(data.path(), {root.string()}).error, "");
    std::vector<std::string> folders = test::findDirs(root.string());
    std::stable_sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
        return std::count(a.begin(), a.end(), '/') < std::count(b.begin(), b.end(), '/');
    });
    ASSERT_GT(folders.size(), 5000u);
    std::shuffle(folders.begin() + 200, folders.end(), rng);
    folders.resize(std::min<size_t>(folders.size(), 600));
    folders.push_back(root.string() + "/");
    indexer::IndexEditor editor;
    ASSERT_EQ(editor.open(data.path() / "Files.dat"), "");
    for (const std::string& folder : folders) {
        std::vector<std::string> onDisk, read;
        for (const auto& e : fs::directory_iterator(folder))
            onDisk.push_back(e.path().filename().string());
        bool isRow = false;
        ASSERT_EQ(editor.children('C', folder, read, isRow), "");
        std::sort(onDisk.begin(), onDisk.end());
        std::sort(read.begin(), read.end());
        EXPECT_EQ(read, onDisk) << folder;
        EXPECT_EQ(isRow, folder != root.string() + "/") << folder;
    }
    std::vector<std::string> none;
    bool isRow = true;
    ASSERT_EQ(editor.children('C', root.string() + "/top1/nowhere/", none, isRow), "");
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(isRow);
}

} // namespace qvl
