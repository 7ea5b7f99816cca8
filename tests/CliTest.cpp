#include "TestSupport.h"

#include "cli/Cli.h"
#include "search/History.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace qvl;
using qvl::test::TempDir;

namespace {

class Cli : public testing::Test {
protected:
    void SetUp() override {
        for (const char* rel : {"Docs/src", "Work/SRC", "Work/tools", "media/Bob's Files"})
            test::makeDirs(tree.path(), rel);
        setenv(
            "QVL_DRIVES",
            ("C=" + tree.str() + "/Docs;D=" + tree.str() + "/Work;E:cdrom=" + tree.str() + "/media").c_str(),
            1);
        context.location = test::storeIn(data.path());
    }
    void TearDown() override { unsetenv("QVL_DRIVES"); }

    int qvl(std::vector<std::string> args) {
        out.str("");
        err.str("");
        return cli::run(args, out, err, context);
    }

    TempDir tree, data;
    cli::CliContext context;
    std::ostringstream out, err;
};

} // namespace

TEST_F(Cli, IndexThenFindWithExitCodes) {
    EXPECT_EQ(qvl({"find", "src"}), 2);
    EXPECT_NE(err.str().find("no index yet"), std::string::npos) << err.str();

    EXPECT_EQ(qvl({"index"}), 0); // fixed drives only: C and D, not the CD-ROM
    EXPECT_EQ(out.str(), "Done. (3 dirs)\n");

    EXPECT_EQ(qvl({"find", "-e", "SRC"}), 0);
    EXPECT_EQ(out.str(), tree.str() + "/Docs/src/\n" + tree.str() + "/Work/SRC/\n");
    EXPECT_EQ(qvl({"find", "-d", "d:", "-0", "s"}), 0);
    EXPECT_EQ(out.str(), tree.str() + "/Work/SRC/" + '\0' + tree.str() + "/Work/tools/" + '\0');
    EXPECT_EQ(qvl({"find", "nothing-like-this"}), 1);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(qvl({"find", "--", "-e"}), 1); // a text that looks like an option
    // As locate users know them: -c only the count, -l the first N folders in index order.
    EXPECT_EQ(qvl({"find", "-c", "s"}), 0);
    EXPECT_EQ(out.str(), "3\n");
    EXPECT_EQ(qvl({"find", "-l", "2", "s"}), 0);
    EXPECT_EQ(out.str(), tree.str() + "/Docs/src/\n" + tree.str() + "/Work/SRC/\n");
    EXPECT_EQ(qvl({"find", "-c", "-l", "2", "s"}), 0);
    EXPECT_EQ(out.str(), "2\n");
    EXPECT_EQ(qvl({"find", "-c", "nothing-like-this"}), 1);
    EXPECT_EQ(out.str(), "0\n");

    EXPECT_EQ(qvl({"index", "E"}), 0);
    EXPECT_EQ(qvl({"find", "bob's"}), 0);
    EXPECT_EQ(qvl({"history"}), 0);
    EXPECT_EQ(out.str(), ""); // find does not add to the history
}

TEST_F(Cli, BadArgumentsAndDrivesAreErrors) {
    EXPECT_EQ(qvl({}), 2);
    EXPECT_EQ(qvl({"find"}), 2);
    EXPECT_EQ(qvl({"find", "-x", "a"}), 2);
    EXPECT_EQ(qvl({"find", "-d"}), 2);
    for (const char* limit : {"0", "x", "-1", "99999999999999999999"})
        EXPECT_EQ(qvl({"find", "-l", limit, "a"}), 2) << limit;
    EXPECT_EQ(qvl({"find", "a", "-l"}), 2);
    EXPECT_EQ(qvl({"index", "Q"}), 2);
    EXPECT_NE(err.str().find("no drive Q:"), std::string::npos);
    EXPECT_EQ(qvl({"frobnicate"}), 2);
    EXPECT_EQ(qvl({"--help"}), 0);
    EXPECT_NE(out.str().find("qvl find"), std::string::npos);

    EXPECT_EQ(qvl({"drives"}), 0);
    EXPECT_EQ(out.str(), "C:\tHard Drive\t" + tree.str() + "/Docs\nD:\tHard Drive\t" + tree.str() +
                             "/Work\nE:\tCDROM\t" + tree.str() + "/media\n");
    setenv("QVL_DRIVES", "C=/x;nonsense", 1);
    EXPECT_EQ(qvl({"drives"}), 2);
    EXPECT_NE(err.str().find("nonsense"), std::string::npos);
    EXPECT_EQ(qvl({"index"}), 2);
}

TEST_F(Cli, GarbageDatabaseGivesExitTwoAndStaysThere) {
    fs::path db = data.path() / "Files.dat";
    { std::ofstream(db, std::ios::binary) << std::string(70000, '\x01'); }
    EXPECT_EQ(qvl({"find", "src"}), 2);
    EXPECT_NE(err.str().find("is damaged"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("'qvl index' rebuilds it"), std::string::npos) << err.str();
    EXPECT_EQ(qvl({"history"}), 2);
    EXPECT_EQ(fs::file_size(db), 70000u);
}

TEST_F(Cli, KilledIndexLeavesAnIndexThatOpens) {
    // Index once, then kill a second, larger run part way through, many times over.
    ASSERT_EQ(qvl({"index"}), 0);
    for (int i = 0; i < 3000; ++i)
        test::makeDirs(tree.path(), "Docs/many/d" + std::to_string(i) + "/e");
    for (int delayMs : {5, 20, 60, 120}) {
        pid_t child = fork();
        if (child == 0) {
            setenv("QVL_DATA_DIR", data.str().c_str(), 1);
            int devnull = open("/dev/null", O_WRONLY);
            dup2(devnull, 1);
            dup2(devnull, 2);
            execl(QVL_BINARY, QVL_BINARY, "index", static_cast<char*>(nullptr));
            _exit(127);
        }
        usleep(delayMs * 1000);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        int code = qvl({"find", "-e", "src"});
        EXPECT_EQ(code, 0) << "after a kill at " << delayMs << " ms: " << err.str();
    }
}

TEST_F(Cli, UpdateAndWatchNeedAnIndexAndKeepItsHistory) {
    EXPECT_EQ(qvl({"update"}), 2);
    EXPECT_NE(err.str().find("'qvl index' makes one"), std::string::npos) << err.str();
    EXPECT_EQ(qvl({"watch"}), 2);
    EXPECT_NE(err.str().find("'qvl index' makes one"), std::string::npos) << err.str();

    ASSERT_EQ(qvl({"index"}), 0);
    ASSERT_EQ(search::AddSearchHistory(store::BuildConnectString(context.location), "src"), "");
    test::makeDirs(tree.path(), "Docs/src/new");
    fs::remove_all(tree.path() / "Work/tools");
    EXPECT_EQ(qvl({"update", "C"}), 0) << err.str();
    EXPECT_EQ(out.str(), "Done. (1 added, 0 removed; 4 dirs)\n"); // D: was not named
    EXPECT_EQ(qvl({"update"}), 0) << err.str();                   // the drives the index holds
    EXPECT_EQ(out.str(), "Done. (0 added, 1 removed; 3 dirs)\n");
    EXPECT_EQ(qvl({"find", "-e", "new"}), 0);
    EXPECT_EQ(qvl({"history"}), 0);
    EXPECT_EQ(out.str(), "src\n");

    EXPECT_EQ(qvl({"update", "Q"}), 2);
    EXPECT_NE(err.str().find("no drive Q: to update"), std::string::npos) << err.str();
    EXPECT_EQ(qvl({"update", "C", "D"}), 2); // one list of letters
}
