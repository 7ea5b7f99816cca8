// A second user of the machine: the index and the history are their owner's alone, and
// nothing in a data folder that someone else controls is read, followed or played back.
#include "TestSupport.h"

#include "platform/Platform.h"
#include "store/DataFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qvl;
using test::Outcome;
using test::runQvl;
using test::slurp;
using test::TempDir;

namespace {

unsigned modeOf(const fs::path& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFF;
}

// An index of a small tree, made by qvl.
struct Indexed {
    TempDir tree, data;
    std::string drives;
    fs::path db;
    Indexed() {
        test::makeDirs(tree.path(), "open/inside");
        test::makeDirs(tree.path(), "secret plans");
        drives = "C=" + tree.str();
        db = data.path() / "Files.dat";
        EXPECT_EQ(qvl({"index"}).code, 0);
        EXPECT_EQ(qvl({"find", "x"}).code, 1); // adds nothing, but opens it
    }
    Outcome qvl(std::vector<std::string> args) const {
        return runQvl(data, drives, std::move(args), [] { umask(022); });
    }
    // The same within a minute: a run that hangs is killed (exit 137) and fails the test.
    Outcome qvlWithin(std::vector<std::string> args) const {
        return runQvl(data, drives, std::move(args), {}, {"timeout", "-s", "KILL", "60"});
    }
};

} // namespace

// A new user's first index, with a umask that lets everyone read what is made, under a
// home any user may list: the data folder 0700, the index and its lock and watch files 0600.
// An index an earlier version left readable is made private; a data folder the user
// opened up is used as it is, and said so once.
TEST(Trust, WhatQvlMakesIsTheUsersAloneWhateverTheUmask) {
    TempDir home, tree, unused, bin;
    test::makeDirs(tree.path(), "a/b");
    fs::permissions(home.path(), fs::perms(0755));
    // An installed qvl: a copy without the build folder's portable marker beside it.
    const std::string qvl = (bin.path() / "qvl").string();
    fs::copy_file(QVL_BINARY, qvl);
    fs::copy_file(QVL_TEMPLATE, bin.path() / "fresh.dat");
    const auto asNewUser = [&] {
        unsetenv("QVL_DATA_DIR");
        unsetenv("XDG_DATA_HOME");
        setenv("HOME", home.str().c_str(), 1);
        umask(022);
    };
    Outcome o = runQvl(unused, "C=" + tree.str(), {"index"}, asNewUser, {}, qvl);
    ASSERT_EQ(o.code, 0) << o.err;
    const fs::path data = home.path() / ".local/share/quorvel";
    EXPECT_EQ(modeOf(data), 0700u);
    EXPECT_EQ(modeOf(data / "Files.dat"), 0600u);
    EXPECT_EQ(modeOf(data / "Files.dat.lock"), 0600u);
    const mode_t before = umask(022);
    store::watcherRuns(data); // makes the watch file as a watcher does
    umask(before);
    EXPECT_EQ(modeOf(data / "Files.dat.watch"), 0600u);

    fs::permissions(data / "Files.dat", fs::perms(0644));
    fs::permissions(data, fs::perms(0755));
    o = runQvl(unused, "C=" + tree.str(), {"find", "b"}, asNewUser, {}, qvl);
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.out, tree.str() + "/a/b/\n");
    EXPECT_EQ(modeOf(data / "Files.dat"), 0600u);
    EXPECT_EQ(modeOf(data), 0755u); // the user's choice, told
    const std::string told = "can be read by other users (mode 0755)";
    EXPECT_NE(o.err.find(told), std::string::npos) << o.err;
    EXPECT_EQ(o.err.find(told), o.err.rfind(told)) << o.err;
}

// A data folder, index or journal that another user owns or may change is refused with
// exit status 2 before it is read: the index stays as it was, and a journal planted
// beside it (made from a copy with rows of its own) is not played back. In a folder of the
// user's own, an index run replaces such a file (it never reads it); in a folder that
// others may change, nothing runs.
TEST(Trust, AFolderOrIndexOthersMayChangeIsRefusedAndLeftAsItIs) {
    const bool root = geteuid() == 0;
    struct Case {
        const char* what;
        std::function<void(const Indexed&)> plant;
        const char* said;
        bool wholeFolder = false;
    };
    const auto plantJournal = [](const Indexed& s) {
        const fs::path copy = s.data.path() / "copy.dat";
        fs::copy_file(s.db, copy);
        test::sql(copy, "INSERT INTO tblDirs VALUES ('C', '/injected/', 'injected');");
        test::dieInMidTransaction(copy, "DELETE FROM tblDirs; DELETE FROM qvlNames;");
        fs::rename(copy.string() + "-journal", s.db.string() + "-journal");
        fs::remove(copy);
    };
    std::vector<Case> cases = {
        {"a folder anyone may write",
         [](const Indexed& s) { fs::permissions(s.data.path(), fs::perms(0777)); },
         "may be changed by other users (mode 0777)", true},
        {"a shared sticky folder with a journal planted in it",
         [&](const Indexed& s) {
             plantJournal(s);
             fs::permissions(s.data.path(), fs::perms(01777));
         },
         "may be changed by other users (mode 1777)", true},
        {"an index its group may write", [](const Indexed& s) { fs::permissions(s.db, fs::perms(0660)); },
         "may be changed by other users (mode 0660)"},
    };
    if (root) {
        cases.push_back({"a folder of another user's",
                         [](const Indexed& s) { ASSERT_EQ(chown(s.data.str().c_str(), 65534, 65534), 0); },
                         "belongs to another user", true});
        cases.push_back({"an index of another user's",
                         [](const Indexed& s) { ASSERT_EQ(chown(s.db.c_str(), 65534, 65534), 0); },
                         "belongs to another user"});
        cases.push_back({"a journal of another user's beside the index",
                         [&](const Indexed& s) {
                             plantJournal(s);
                             ASSERT_EQ(chown((s.db.string() + "-journal").c_str(), 65534, 65534), 0);
                         },
                         "belongs to another user"});
    }
    for (const Case& c : cases) {
        Indexed s;
        c.plant(s);
        const std::string before = slurp(s.db);
        const bool journal = fs::exists(s.db.string() + "-journal");
        for (const char* command : {"find", "history", "update", "index"}) {
            if (std::string(command) == "index" && !c.wholeFolder)
                break;
            std::vector<std::string> args{command};
            if (std::string(command) == "find")
                args.push_back("o");
            Outcome o = s.qvl(args);
            EXPECT_EQ(o.code, 2) << c.what << ", qvl " << command << ": " << o.out << o.err;
            EXPECT_NE(o.err.find(c.said), std::string::npos)
                << c.what << ", qvl " << command << ": " << o.err;
            EXPECT_EQ(o.out, "") << c.what << ", qvl " << command;
        }
        EXPECT_TRUE(slurp(s.db) == before) << c.what << ": the index changed";
        EXPECT_EQ(fs::exists(s.db.string() + "-journal"), journal) << c.what;
        if (!c.wholeFolder) {
            Outcome o = s.qvl({"index"});
            EXPECT_EQ(o.code, 0) << c.what << ": " << o.err;
            EXPECT_FALSE(fs::exists(s.db.string() + "-journal")) << c.what;
            EXPECT_EQ(s.qvl({"find", "-e", "injected"}).code, 1) << c.what;
            EXPECT_EQ(s.qvl({"find", "inside"}).out, s.tree.str() + "/open/inside/\n") << c.what;
        }
        if (root) {
            ASSERT_EQ(chown(s.data.str().c_str(), 0, 0), 0);
        }
        fs::permissions(s.data.path(), fs::perms(0700)); // for the folder's removal
    }
}

// A link planted at the lock's or the watch file's name is never followed (it would have
// the user, or root, create any file), and a FIFO at the index's name hangs nothing.
TEST(Trust, LinksAndFilesThatAreNotFilesAreNeverFollowed) {
    Indexed s;
    TempDir elsewhere;
    const fs::path target = elsewhere.path() / "made-through-the-link";
    for (const char* name : {"Files.dat.lock", "Files.dat.watch"}) {
        fs::remove(s.data.path() / name);
        fs::create_symlink(target, s.data.path() / name);
    }
    Outcome o = s.qvl({"index"});
    EXPECT_EQ(o.code, 2);
    EXPECT_NE(o.err.find("Files.dat.lock is a link or not a plain file"), std::string::npos) << o.err;
    o = s.qvl({"watch"});
    EXPECT_EQ(o.code, 2);
    EXPECT_NE(o.err.find("is a link or not a plain file"), std::string::npos) << o.err;
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(fs::is_symlink(target));

    for (const char* name : {"Files.dat.lock", "Files.dat.watch"})
        fs::remove(s.data.path() / name);
    fs::remove(s.db);
    ASSERT_EQ(mkfifo(s.db.c_str(), 0600), 0);
    for (std::vector<std::string> command :
         {std::vector<std::string>{"find", "x"}, std::vector<std::string>{"history"},
          std::vector<std::string>{"update"}}) {
        o = s.qvlWithin(command);
        EXPECT_EQ(o.code, 2) << command[0];
        EXPECT_NE(o.err.find("is not a plain file"), std::string::npos) << command[0] << ": " << o.err;
    }
}

// A file with SQL of its own is data to refuse, not code to run: a trigger that would
// empty the folders on the next search, views standing in for the tables (a view named
// qvlMeta had the search spin for ever), a table or index of its own, a computed column,
// a CHECK that would run as the history is written.
TEST(Trust, AFileWithSqlOfItsOwnIsNotAnIndexAndRunsNothing) {
    struct Case {
        const char* what;
        const char* plant;
        const char* said;
    };
    const Case cases[] = {
        {"a trigger", "CREATE TRIGGER t AFTER INSERT ON tblLastSearch BEGIN DELETE FROM tblDirs; END;",
         "the trigger t"},
        {"a view for the folders",
         "ALTER TABLE tblDirs RENAME TO realDirs;"
         " CREATE VIEW tblDirs AS SELECT * FROM realDirs, realDirs, realDirs, realDirs;",
         "the table realDirs"},
        {"a view for the meta table",
         "DROP TABLE qvlMeta; CREATE VIEW qvlMeta AS SELECT 'rows' AS Key, 1 AS Value;", "the view qvlMeta"},
        {"an index of its own", "CREATE INDEX byName ON tblDirs (Directory);", "the index byName"},
        {"a check of its own",
         "DROP TABLE tblLastSearch; CREATE TABLE tblLastSearch (SearchID INTEGER PRIMARY KEY AUTOINCREMENT,"
         " SearchDesc TEXT CHECK (length(SearchDesc) < 1000));",
         "computes a value (CHECK)"},
        {"a computed column",
         "ALTER TABLE tblLastSearch ADD COLUMN Extra TEXT GENERATED ALWAYS AS (upper(SearchDesc)) VIRTUAL;",
         "computes a value (GENERATED)"},
    };
    for (const Case& c : cases) {
        Indexed s;
        test::sql(s.db, c.plant);
        const std::string before = slurp(s.db);
        for (std::vector<std::string> command :
             {std::vector<std::string>{"find", "o"}, std::vector<std::string>{"history"}}) {
            Outcome o = s.qvlWithin(command);
            EXPECT_EQ(o.code, 2) << c.what << ", qvl " << command[0];
            EXPECT_NE(o.err.find("not a Quorvel index"), std::string::npos) << c.what << ": " << o.err;
            EXPECT_NE(o.err.find(c.said), std::string::npos) << c.what << ": " << o.err;
        }
        EXPECT_TRUE(slurp(s.db) == before) << c.what << ": the file changed"; // no trigger ran
        // An index run replaces it with an index.
        Outcome o = s.qvl({"index"});
        EXPECT_EQ(o.code, 0) << c.what << ": " << o.err;
        EXPECT_EQ(s.qvl({"find", "inside"}).out, s.tree.str() + "/open/inside/\n") << c.what;
    }
}

// Without HOME the system's record of the user names the home: never a shared folder such
// as /tmp, where another user could have made the data folder first.
TEST(Trust, WithoutHomeTheDataFolderIsInTheUsersRecordedHome) {
    const char* home = getenv("HOME");
    const std::string saved = home ? home : "";
    const char* xdg = getenv("XDG_DATA_HOME");
    const std::string savedXdg = xdg ? xdg : "";
    unsetenv("HOME");
    setenv("XDG_DATA_HOME", "relative/is/ignored", 1);
    const fs::path found = platform::userDataDir();
    if (!saved.empty())
        setenv("HOME", saved.c_str(), 1);
    if (xdg)
        setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
    const passwd* user = getpwuid(geteuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(found, fs::path(user->pw_dir) / ".local/share/quorvel");
}

// A search or a listing ends at once on SIGTERM, even while its output is blocked;
// an output that cannot be written is an error that says why.
TEST(Trust, ReadersEndOnSigtermAndAFullDiskIsSaid) {
    TempDir data;
    test::writeBigIndex(data.path(), 20000);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0); // nobody reads it: the search blocks once it is full
    const pid_t child = test::startQvl(data, "", {"find", "e"}, fds[1]);
    close(fds[1]);
    // Blocked once the pipe holds what it can: more than 64 KiB of paths were written.
    EXPECT_TRUE(test::waitFor([&] {
        int queued = 0;
        return ioctl(fds[0], FIONREAD, &queued) == 0 && queued >= 65536;
    }));
    kill(child, SIGTERM);
    int status = 0;
    if (!test::waitFor([&] { return waitpid(child, &status, WNOHANG) != 0; })) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        ADD_FAILURE() << "qvl find went on after SIGTERM";
    }
    close(fds[0]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;

    Outcome o = runQvl(data, "", {"find", "e"}, [] {
        int full = open("/dev/full", O_WRONLY);
        dup2(full, 1);
    });
    EXPECT_EQ(o.code, 2);
    EXPECT_EQ(o.err, "qvl: write error: No space left on device\n");
}
