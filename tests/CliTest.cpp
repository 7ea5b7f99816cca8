#include "TestSupport.h"

#include "cli/Cli.h"
#include "store/History.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iconv.h>
#include <pty.h>
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

TEST_F(Cli, UpdateAndWatchNeedAnIndexAndKeepItsHistory) {
    EXPECT_EQ(qvl({"update"}), 2);
    EXPECT_NE(err.str().find("'qvl index' makes one"), std::string::npos) << err.str();
    EXPECT_EQ(qvl({"watch"}), 2);
    EXPECT_NE(err.str().find("'qvl index' makes one"), std::string::npos) << err.str();

    ASSERT_EQ(qvl({"index"}), 0);
    ASSERT_EQ(store::AddSearchHistory(store::BuildConnectString(context.location), "src"), "");
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

namespace {

// What a shell makes of `quoted`: the bytes it stands for.
std::string shellReads(const std::string& quoted) {
    TempDir dir;
    const fs::path script = dir.path() / "read.sh", out = dir.path() / "out";
    { std::ofstream(script, std::ios::binary) << "printf %s " << quoted << " > '" << out.string() << "'\n"; }
    EXPECT_EQ(std::system(("bash '" + script.string() + "'").c_str()), 0) << quoted;
    return test::slurp(out);
}

// Whether a terminal would show `text` without acting on any of it: valid UTF-8 and no
// control character but the line's end.
bool harmless(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\n') || c == 0x7F ||
            (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0))
            return false;
    }
    // Valid UTF-8, as the C library's converter judges it.
    iconv_t check = iconv_open("UTF-8", "UTF-8");
    std::string in(text), out(text.size() * 4 + 4, '\0');
    char *from = in.data(), *to = out.data();
    size_t left = in.size(), room = out.size();
    const bool valid = iconv(check, &from, &left, &to, &room) != static_cast<size_t>(-1) && left == 0;
    iconv_close(check);
    return valid;
}

} // namespace

// To a terminal, a name that would act on it (a title set, the screen cleared, a CSI of
// its own) or that is not UTF-8 is quoted so that a shell reads it back to the very
// bytes; every other name, -N, -0 and a pipe get the bytes as they are.
TEST_F(Cli, NamesThatWouldActOnATerminalAreQuotedForIt) {
    const std::vector<std::string> odd = {
        "a\x1b]0;PWNED\x07"
        "b",
        "clear\x1b[2Jme",
        "bad\xff\xfe",
        "c1\xc2\x9b"
        "31m",
        "it's\ttabbed",
        "new\nline",
        "del\x7f",
    };
    const std::vector<std::string> plain = {"caf\xc3\xa9 it's", "photos 2019", "\xf0\x9f\x93\xb7 camera"};
    for (const std::string& name : odd)
        test::makeDirs(tree.path(), "Docs/" + name);
    for (const std::string& name : plain)
        test::makeDirs(tree.path(), "Docs/" + name);
    ASSERT_EQ(qvl({"index", "C"}), 0) << err.str();

    context.outputIsTerminal = true;
    for (const std::string& name : odd) {
        const std::string path = tree.str() + "/Docs/" + name + "/";
        ASSERT_EQ(qvl({"find", "-e", name}), 0) << name;
        const std::string line = out.str();
        EXPECT_TRUE(harmless(line)) << line;
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(shellReads(line.substr(0, line.size() - 1)), path) << line;
        ASSERT_EQ(qvl({"find", "-N", "-e", name}), 0);
        EXPECT_EQ(out.str(), path + "\n");
        ASSERT_EQ(qvl({"find", "--literal", "-0", "-e", name}), 0);
        EXPECT_EQ(out.str(), path + '\0');
        ASSERT_EQ(qvl({"find", "-0", "-e", name}), 0);
        EXPECT_EQ(out.str(), path + '\0');
    }
    for (const std::string& name : plain) {
        ASSERT_EQ(qvl({"find", "-e", name}), 0);
        EXPECT_EQ(out.str(), tree.str() + "/Docs/" + name + "/\n");
    }
    EXPECT_EQ(qvl({"find", "-e", "clear\x1b[2Jme"}), 0);
    EXPECT_EQ(out.str(), "'" + tree.str() + "/Docs/clear'$'\\033''[2Jme/'\n");

    const std::string typed = "x\x1b[2J";
    ASSERT_EQ(store::AddSearchHistory(store::BuildConnectString(context.location), typed), "");
    ASSERT_EQ(qvl({"history"}), 0);
    EXPECT_EQ(out.str(), "'x'$'\\033''[2J'\n");
    ASSERT_EQ(qvl({"history", "-N"}), 0);
    EXPECT_EQ(out.str(), typed + "\n");

    context.outputIsTerminal = false; // a pipe or a file
    ASSERT_EQ(qvl({"find", "-e", odd[0]}), 0);
    EXPECT_EQ(out.str(), tree.str() + "/Docs/" + odd[0] + "/\n");
    ASSERT_EQ(qvl({"history"}), 0);
    EXPECT_EQ(out.str(), typed + "\n");
}

// The program itself tells a terminal from a pipe: run on a pseudo-terminal, it quotes.
TEST_F(Cli, QvlItselfTellsATerminalFromAPipe) {
    test::makeDirs(tree.path(), "Docs/a\x1b]0;PWNED\x07z");
    ASSERT_EQ(qvl({"index", "C"}), 0);
    int master = -1;
    pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("QVL_DATA_DIR", data.str().c_str(), 1);
        execl(QVL_BINARY, QVL_BINARY, "find", "PWNED", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, static_cast<size_t>(n));
    close(master);
    waitpid(child, nullptr, 0);
    EXPECT_NE(shown.find("/Docs/a'$'\\033'']0;PWNED'$'\\a''z/'"), std::string::npos) << shown;
    EXPECT_EQ(shown.find('\x1b'), std::string::npos) << shown;
}

// The folders to leave out: kept in the data folder, shown, refused when they are not
// rules, obeyed by index and update; a rule of a file system's type leaves out whole drives
// (the type as findmnt tells it, case ignored), and taking it back lets them in again.
TEST_F(Cli, LeaveOutRulesAreKeptShownAndObeyed) {
    EXPECT_EQ(qvl({"leave-out"}), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(qvl({"leave-out", "add", "name", "tools", "*.tmp"}), 0);
    EXPECT_EQ(out.str(), "name tools\nname *.tmp\n");
    for (std::vector<std::string> wrong : {std::vector<std::string>{"leave-out", "add", "path", "rel/x"},
                                           {"leave-out", "add", "name", "a/b"},
                                           {"leave-out", "add", "nam", "x"},
                                           {"leave-out", "remove", "name", "gone"},
                                           {"leave-out", "add", "name"},
                                           {"leave-out", "add", "name", "two\nlines"},
                                           {"leave-out", "add", "name", "blank "}})
        EXPECT_EQ(qvl(wrong), 2) << wrong.back();
    EXPECT_EQ(qvl({"leave-out"}), 0);
    EXPECT_EQ(out.str(), "name tools\nname *.tmp\n"); // nothing half done
    EXPECT_EQ(qvl({"--help"}), 0);
    EXPECT_NE(out.str().find("): name tools, name *.tmp\n"), std::string::npos) << out.str();

    EXPECT_EQ(qvl({"index"}), 0);
    EXPECT_EQ(out.str(), "Done. (2 dirs)\n"); // Work/tools is left out

    FILE* pipe = ::popen(("findmnt -n -o FSTYPE -T '" + tree.str() + "'").c_str(), "r");
    char line[256] = {};
    ASSERT_TRUE(pipe && std::fgets(line, sizeof line, pipe));
    ::pclose(pipe);
    std::string type(line, std::strcspn(line, "\n"));
    std::string shouted = type;
    for (char& c : shouted)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(qvl({"leave-out", "add", "fs", shouted}), 0);
    EXPECT_EQ(qvl({"drives"}), 0);
    EXPECT_NE(
        out.str().find("C:\tHard Drive\t" + tree.str() + "/Docs\tleft out (file system " + type + ")\n"),
        std::string::npos)
        << out.str();
    EXPECT_EQ(qvl({"update"}), 0);
    EXPECT_EQ(out.str(), "Done. (0 added, 2 removed; 0 dirs)\n") << err.str();
    EXPECT_EQ(qvl({"leave-out", "remove", "fs", type}), 0);
    EXPECT_EQ(qvl({"update"}), 0);
    EXPECT_EQ(out.str(), "Done. (2 added, 0 removed; 2 dirs)\n") << err.str();

    // A file written by hand: what is not a rule is named by its line, the rest still counts.
    std::ofstream(data.path() / "LeaveOut.txt") << "# mine\nname a\nbogus\n  path relative\n\tname  b \r\n";
    EXPECT_EQ(qvl({"leave-out"}), 0);
    EXPECT_EQ(out.str(), "name a\nname b\n");
    EXPECT_NE(err.str().find("line 3: not a kind of rule: bogus"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("line 4: not a full path: relative"), std::string::npos) << err.str();
}
