// Faults a user meets: a damaged index, two writers at once, a full disk, a walk that
// cannot go on, folders that cannot be read, a slow disk.
#include "TestSupport.h"
#include "store/SearchIndex.h"
#include "store/Sqlite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <grp.h>
#include <random>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qvl;
using qvl::test::Outcome;
using qvl::test::runQvl;
using qvl::test::slurp;
using qvl::test::TempDir;

// Damage inside the search blocks of a file that SQLite still reads: flipped bits, cut and
// grown blobs, the documented crash (a name end pointing far past the names). Each search
// either gives the answer of the intact index or says the index is damaged.
TEST(Faults, DamagedBlocksAreReportedNeverCrashOrGiveWrongRows) {
    TempDir tree, data;
    std::mt19937 rng(4242);
    for (int i = 0; i < 6000; ++i)
        test::makeDirs(tree.path(), "f" + std::to_string(i % 40) + "/g" + std::to_string(i) + "_x");
    ASSERT_EQ(test::indexFolders(data.path(), {tree.str()}).error, "");
    const fs::path intact = data.path() / "Files.dat", work = data.path() / "work.dat";
    const std::vector<search::SearchQuery> queries = {
        test::query("f5"), test::query("g12_x", search::ExactSearch), test::query("g1%9_"), test::query(""),
        test::query("g12")};
    std::vector<std::vector<std::string>> expected;
    for (const auto& q : queries)
        expected.push_back(test::searchPaths(intact.string(), q));
    ASSERT_FALSE(expected[0].empty());
    ASSERT_EQ(expected[1].size(), 1u);

    std::vector<int64_t> blocks;
    {
        store::Db probe;
        ASSERT_EQ(probe.open(intact.string(), store::Db::Mode::ReadOnly), "");
        for (store::Stmt s(probe, "SELECT Block FROM qvlBlocks ORDER BY Block"); s.step() == SQLITE_ROW;)
            blocks.push_back(s.integer(0));
    }
    ASSERT_GE(blocks.size(), 2u);

    const std::vector<std::pair<std::string, std::string>> columns = {{"qvlNames", "Names"},
                                                                      {"qvlBlocks", "Ends"},
                                                                      {"qvlBlocks", "Drives"},
                                                                      {"qvlBlocks", "Paths"},
                                                                      {"qvlParts", "Bits"}};
    // The filter parts the searches read (the exact one's, the gram part of "g12"); damage
    // to the others changes nothing they see.
    const unsigned parts[] = {store::filterPart(store::nameHash("g12_x")),
                              store::kGramPartBase + store::filterPart(store::gramHash("g12"))};
    int reported = 0;
    for (int trial = 0; trial < 400; ++trial) {
        fs::copy_file(intact, work, fs::copy_options::overwrite_existing);
        store::Db db;
        ASSERT_EQ(db.open(work.string(), store::Db::Mode::ReadWrite), "");
        const auto& [table, column] = columns[rng() % columns.size()];
        const int64_t block = blocks[rng() % blocks.size()];
        const std::string row =
            " WHERE " + (table == "qvlParts"
                             ? "Key = " + std::to_string(store::partKey(parts[(trial / 4) % 2], block))
                             : "Block = " + std::to_string(block));
        std::string blob;
        {
            store::Stmt read(db, "SELECT " + column + " FROM " + table + row);
            ASSERT_EQ(read.step(), SQLITE_ROW);
            blob = read.blob(0);
        }
        ASSERT_FALSE(blob.empty());
        switch (trial % 4) {
        case 0: // a flipped bit
            blob[rng() % blob.size()] ^= static_cast<char>(1 << (rng() % 8));
            break;
        case 1: // cut short
            blob.resize(rng() % blob.size());
            break;
        case 2: // grown by garbage
            for (unsigned k = 1 + rng() % 9; k > 0; --k)
                blob += static_cast<char>(rng());
            break;
        default: // a four-byte run of 0x00FFFFFF-like garbage somewhere
            if (blob.size() >= 4)
                blob.replace(rng() % (blob.size() - 3), 4, std::string("\x00\xff\xff\xff", 4));
        }
        store::Stmt write(db, "UPDATE " + table + " SET " + column + " = ?" + row);
        ASSERT_EQ(write.bindBlob(1, blob).step(), SQLITE_DONE);
        db.close();
        for (size_t q = 0; q < queries.size(); ++q) {
            search::SearchError error = search::SearchError::None;
            std::vector<std::string> got = test::searchPaths(work.string(), queries[q], &error);
            if (error == search::SearchError::Damaged) {
                ++reported;
                continue;
            }
            ASSERT_EQ(error, search::SearchError::None);
            ASSERT_EQ(got, expected[q]) << "trial " << trial << " " << table << "." << column << " block "
                                        << block << ": wrong rows without a word";
        }
    }
    EXPECT_GT(reported, 400); // most damage lies in what the searches read
}

namespace {

struct OldIndex {
    TempDir tree, data;
    std::string drives;
    std::string before; // the index's bytes after the first run
    OldIndex() {
        for (int i = 0; i < 8000; ++i)
            test::makeDirs(tree.path(),
                           "d" + std::to_string(i % 50) + "/folder-with-a-long-name-" + std::to_string(i));
        // Deep enough that the walk opens its end in two pieces, two handles at once.
        test::makeDeepChain(tree.path(), 70, std::string(50, 'p'));
        drives = "C=" + tree.str();
        Outcome first = runQvl(data, drives, {"index"});
        EXPECT_EQ(first.code, 0) << first.err;
        before = slurp(data.path() / "Files.dat");
    }
    // The old index is there, whole, and no temp file is left.
    void expectKept() const {
        EXPECT_EQ(slurp(data.path() / "Files.dat"), before);
        for (const fs::directory_entry& e : fs::directory_iterator(data.path()))
            EXPECT_EQ(e.path().extension() != ".tmp", true) << e.path();
    }
};

} // namespace

// A run that cannot finish keeps the old index, never says "Done." and names the cause.
TEST(Faults, FailedRunsKeepTheOldIndexAndSayWhy) {
    OldIndex s;
    struct Case {
        const char* what;
        std::function<void()> limit;
        std::string drives, cause;
    };
    const std::vector<Case> cases = {
        {"disk full",
         [] {
             signal(SIGXFSZ, SIG_IGN);
             rlimit r{600 * 1024, 600 * 1024};
             setrlimit(RLIMIT_FSIZE, &r);
         },
         s.drives, "File too large"},
        {"out of file handles",
         [] {
             rlimit r{6, 6}; // standard streams, the lock, the root and one folder
             setrlimit(RLIMIT_NOFILE, &r);
         },
         s.drives, "Too many open files"},
        {"root cannot be opened", {}, "C=" + s.tree.str() + "/gone", "No such file or directory"},
    };
    for (const Case& c : cases) {
        Outcome o = runQvl(s.data, c.drives, {"index"}, c.limit);
        EXPECT_EQ(o.code, 2) << c.what << ": " << o.err;
        EXPECT_EQ(o.out.find("Done."), std::string::npos) << c.what;
        EXPECT_NE(o.err.find(c.cause), std::string::npos) << c.what << ": " << o.err;
        s.expectKept();
    }
}

// One writer at a time: a second one is refused and changes nothing, and runs started
// together never corrupt the index nor report another's work as theirs.
TEST(Faults, SecondWriterIsRefusedAndChangesNothing) {
    OldIndex s;
    {
        store::WriterLock held;
        ASSERT_EQ(held.acquire(s.data.path()), "");
        Outcome o = runQvl(s.data, s.drives, {"index"});
        EXPECT_EQ(o.code, 2);
        EXPECT_NE(o.err.find("an index run is already in progress"), std::string::npos) << o.err;
        EXPECT_EQ(o.out, "");
        s.expectKept();
    }
    const std::string rows = std::to_string(test::findDirs(s.tree.str()).size());
    for (int round = 0; round < 4; ++round) {
        TempDir otherOut;
        std::vector<Outcome> outcomes(2);
        std::thread second([&] {
            outcomes[1] = runQvl(otherOut, s.drives, {"index"},
                                 [&] { setenv("QVL_DATA_DIR", s.data.str().c_str(), 1); });
        });
        usleep(round * 10000);
        outcomes[0] = runQvl(s.data, s.drives, {"index"});
        second.join();
        int done = 0;
        for (const Outcome& o : outcomes) {
            if (o.code == 0) {
                EXPECT_EQ(o.out, "Done. (" + rows + " dirs)\n");
                ++done;
            } else
                EXPECT_NE(o.err.find("already in progress"), std::string::npos) << o.code << o.out << o.err;
        }
        EXPECT_GE(done, 1);
        EXPECT_EQ(store::CountRows((s.data.path() / "Files.dat").string(), "tblDirs"), std::stoi(rows));
    }
}

// A writer killed at any point leaves the old index or the new one, whole; the next
// writer clears what it left behind.
TEST(Faults, KilledWritersLeaveAWholeIndexAndTheNextCleansUp) {
    OldIndex s;
    std::mt19937 rng(99);
    for (int i = 0; i < 12; ++i) {
        const mode_t before = umask(022); // what it makes is the user's alone all the same
        const pid_t child = test::startQvl(s.data, s.drives, {"index"});
        umask(before);
        usleep(1000 * (rng() % 150));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        // What a killed run leaves (its copy of the index, its scratch file of folders,
        // the lock) names the same folders as the index: none of it is readable by others.
        for (const fs::directory_entry& e : fs::directory_iterator(s.data.path()))
            EXPECT_EQ(fs::status(e.path()).permissions() & (fs::perms::group_all | fs::perms::others_all),
                      fs::perms::none)
                << e.path();
        search::SearchError error;
        EXPECT_EQ(test::searchPaths((s.data.path() / "Files.dat").string(),
                                    test::query("d1", search::ExactSearch), &error)
                      .size(),
                  1u);
        EXPECT_EQ(error, search::SearchError::None);
    }
    Outcome o = runQvl(s.data, s.drives, {"index"});
    EXPECT_EQ(o.code, 0) << o.err;
    s.before = slurp(s.data.path() / "Files.dat");
    s.expectKept(); // no temp file left
}

// As a plain user, a folder that cannot be read keeps its row and is named; the run
// still succeeds.
TEST(Faults, UnreadableFoldersAreCountedAndNamed) {
    TempDir tree, data;
    test::makeDirs(tree.path(), "open/inside");
    test::makeDirs(tree.path(), "locked/hidden/deeper");
    fs::permissions(tree.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(tree.path() / "locked", fs::perms::none);
    const bool root = geteuid() == 0;
    // Root reads every folder, so it runs qvl as nobody, from a copy that nobody may start
    // wherever the build folder is (a checkout in a private folder, say).
    TempDir bin;
    std::string binary = QVL_BINARY;
    if (root) {
        ASSERT_EQ(chown(data.str().c_str(), 65534, 65534), 0);
        fs::permissions(bin.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
        binary = (bin.path() / "qvl").string();
        fs::copy_file(QVL_BINARY, binary);
        fs::copy_file(QVL_TEMPLATE, bin.path() / "fresh.dat");
    }
    Outcome o = runQvl(
        data, "C=" + tree.str(), {"index"},
        [&] {
            if (root && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
                _exit(126);
        },
        {}, binary);
    fs::permissions(tree.path() / "locked", fs::perms::owner_all);
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.out, "Done. (3 dirs)\n"); // open, open/inside, locked
    EXPECT_NE(o.err.find("1 folder could not be read"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find(tree.str() + "/locked (Permission denied)"), std::string::npos) << o.err;
}

// A disk that has to seek for each folder: strace holds every directory read for 2 ms,
// time the walking thread spends waiting, not working. The walk must see that and list
// many folders at once, on threads beyond the cores, and still find every folder.
TEST(Faults, SlowDiskGetsManyFoldersListedAtOnce) {
    if (std::system("strace -V >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace is not installed";
    TempDir tree, data;
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 50; ++j)
            test::makeDirs(tree.path(), "a" + std::to_string(i) + "/b" + std::to_string(j));
    const std::string trace = (data.path() / "trace.txt").string();
    Outcome o = runQvl(data, "C=" + tree.str(), {"index"}, {},
                       {"strace", "-f", "-qq", "-o", trace, "-e", "trace=getdents64", "-e",
                        "inject=getdents64:delay_enter=2000"});
    if (o.code != 0 && o.err.find("ptrace") != std::string::npos)
        GTEST_SKIP() << "tracing is not permitted here: " << o.err;
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.out, "Done. (2040 dirs)\n");
    std::ifstream in(trace);
    std::set<std::string> threads; // each line begins with the thread's id
    for (std::string line; std::getline(in, line);)
        threads.insert(line.substr(0, line.find(' ')));
    const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    EXPECT_GT(threads.size(), std::max(cores, 7u)) << "folders listed by " << threads.size() << " threads";
}
