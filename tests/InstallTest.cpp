// What the package installs beside the programs: the manual agrees with `qvl --help`, and
// the bash completion offers what `qvl drives` and `qvl history` say.
#include "TestSupport.h"

#include "store/History.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
using namespace qvl;
using qvl::test::TempDir;

namespace {

std::string run(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    ::pclose(p);
    return out;
}

std::string shellQuoted(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// The second group of every match of `pattern` in `text`.
std::set<std::string> found(const std::string& text, const std::regex& pattern) {
    std::set<std::string> words;
    for (std::sregex_iterator i(text.begin(), text.end(), pattern), end; i != end; ++i)
        words.insert((*i)[2]);
    return words;
}

std::set<std::string> options(const std::string& text) {
    return found(text, std::regex(R"((^|[\s\[|,(])(--?[a-zA-Z0-9]+)\b)"));
}

std::set<std::string> commands(const std::string& text) {
    return found(text, std::regex(R"((^|\n)\s*qvl ([a-z][a-z-]*))"));
}

// The manual's section `name`, as text: roff requests dropped, font changes and escapes undone.
std::string manSection(const std::string& roff, const std::string& name) {
    std::istringstream in(roff);
    std::string line, text;
    bool inside = false;
    for (; std::getline(in, line);) {
        if (line.rfind(".SH ", 0) == 0) {
            inside = line.substr(4) == name;
            continue;
        }
        if (!inside)
            continue;
        line = std::regex_replace(line, std::regex(R"(\\f[BIRP])"), "");
        line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
        line = std::regex_replace(line, std::regex(R"(^\.(B|I|BR|RB|IR|RI|BI|IB|TP|br|PP)\b ?)"), "");
        line = std::regex_replace(line, std::regex("\""), "");
        text += line + "\n";
    }
    return text;
}

} // namespace

TEST(Install, ManualNamesTheCommandsAndOptionsOfTheUsage) {
    std::ifstream file(fs::path(QVL_SOURCE_DIR) / "data" / "man" / "qvl.1");
    std::string roff((std::istreambuf_iterator<char>(file)), {});
    ASSERT_FALSE(roff.empty());
    std::string help = run(std::string(QVL_BINARY) + " --help");
    std::string synopsis = manSection(roff, "SYNOPSIS");
    // The synopsis line for line (the usage's notes below its lines name long forms too);
    // -h is the usage's alias of --help, kept out of its lines.
    const std::string usageLines = help.substr(0, help.find("Exit status"));
    EXPECT_EQ(commands(synopsis), commands(usageLines));
    EXPECT_EQ(options(synopsis), options(usageLines));
    EXPECT_EQ(commands(help), (std::set<std::string>{"drives", "index", "update", "watch", "find", "history",
                                                     "leave-out", "serve-changes"}));
    // Every option of the usage is described, and nothing else is.
    std::set<std::string> described = options(manSection(roff, "OPTIONS"));
    described.erase("-h");
    EXPECT_EQ(described, options(help));
    std::string described2 = manSection(roff, "COMMANDS");
    for (const std::string& c : commands(help))
        EXPECT_NE(described2.find(c + " "), std::string::npos) << c << " is not described";
}

TEST(Install, BashCompletionOffersCommandsLettersAndPastSearches) {
    if (run("command -v bash").empty())
        GTEST_SKIP() << "no bash";
    TempDir tree, data;
    test::makeDirs(tree.path(), "photos");
    test::indexFolders(data.path(), {tree.str()});
    std::string db = (data.path() / "Files.dat").string();
    for (const char* text : {"Bob's Files", "photo%2019", "photos"})
        ASSERT_EQ(store::AddSearchHistory(db, text), "");

    auto complete = [&](const std::string& words, int cword) {
        fs::path script = fs::path(QVL_SOURCE_DIR) / "data" / "completions" / "qvl.bash";
        std::string env =
            "PATH=" + shellQuoted(fs::path(QVL_BINARY).parent_path().string() + ":/usr/bin:/bin") +
            " QVL_DATA_DIR=" + shellQuoted(data.str()) +
            " QVL_DRIVES=" + shellQuoted("C=" + tree.str() + ";E=/nonexistent");
        std::string body = "source " + shellQuoted(script.string()) + "; COMP_WORDS=(" + words +
                           "); COMP_CWORD=" + std::to_string(cword) +
                           "; _qvl; printf '%s\\n' \"${COMPREPLY[@]}\"";
        return run(env + " bash --norc -c " + shellQuoted(body));
    };
    EXPECT_EQ(complete("qvl u", 1), "update\n");
    EXPECT_EQ(complete("qvl ''", 1),
              "drives\nindex\nupdate\nwatch\nfind\nhistory\nleave-out\nserve-changes\n--help\n--version\n");
    EXPECT_EQ(complete("qvl index ''", 2), "C\nE\n");
    EXPECT_EQ(complete("qvl find -d e", 3), "E\n");
    EXPECT_EQ(complete("qvl find -", 2), "-e\n-d\n-0\n-c\n-l\n-N\n");
    // A past search is one word, its blanks and quotes escaped for the command line.
    EXPECT_EQ(complete("qvl find photo", 2), "photo%2019\nphotos\n");
    EXPECT_EQ(complete("qvl find -e B", 3), "Bob\\'s\\ Files\n");
    EXPECT_EQ(complete("qvl history --", 2), "--clear\n");
    // Only the rules there are can be removed.
    run("QVL_DATA_DIR=" + shellQuoted(data.str()) + " " + QVL_BINARY +
        " leave-out add name node_modules nope '*.tmp' a.nope >/dev/null 2>&1");
    EXPECT_EQ(complete("qvl leave-out remove name no", 4), "node_modules\nnope\n");
    EXPECT_EQ(complete("qvl leave-out remove name ''", 4), "node_modules\nnope\n\\*.tmp\na.nope\n");
}
