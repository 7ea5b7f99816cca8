// The watcher against the disk: once it has been quiet, the index holds what `find`
// lists, after any churn, after a full index under it, and after it was killed.

#include "TestSupport.h"

#include "indexer/LeaveOut.h"
#include "indexer/Update.h"
#include "indexer/Watch.h"
#include "indexer/WatchedPaths.h"
#include "platform/ChangeService.h"
#include "store/History.h"
#include "store/Sqlite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <random>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace qvl {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::TempDir;

// A watcher on its own thread over the folder `root` as drive C (or as each of `letters`).
class RunningWatcher {
public:
    RunningWatcher(const fs::path& data, const fs::path& root, std::string letters = "C") {
        m_options.location = test::storeIn(data);
        m_options.catalogue = [root, letters] {
            indexer::DriveCatalogue c;
            for (char letter : letters)
                c.add({letter, indexer::DriveFixed, root.string()});
            return c;
        };
        m_options.log = [this](const std::string& line) {
            std::lock_guard lock(m_mutex);
            m_log.push_back(line);
        };
        m_options.ready = [this](int64_t) { m_ready = true; };
        m_thread = std::thread([this] {
            m_result = indexer::watchIndex(m_options, m_stop);
            m_ended = true;
        });
        test::waitFor([this] { return m_ready || m_ended; }); // its first update, on a busy machine
    }
    ~RunningWatcher() { stop(); }
    bool ready() const { return m_ready; }
    std::string stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_result;
    }
    std::vector<std::string> log() {
        std::lock_guard lock(m_mutex);
        return m_log;
    }

private:
    indexer::WatchOptions m_options;
    std::atomic<bool> m_stop{false}, m_ready{false}, m_ended{false};
    std::string m_result;
    std::mutex m_mutex;
    std::vector<std::string> m_log;
    std::thread m_thread;
};

// Waits for the index to match the disk (on each of the drives `letters`), then gives
// the difference. The watcher takes about a second; only one that never catches up
// reaches the deadline.
// With `prune`, against what find lists when it prunes those folders (see findDirs).
std::string settle(const fs::path& data, const fs::path& root, const std::string& letters = {},
                   const std::string& prune = {}) {
    std::string diff;
    test::waitFor([&] { return (diff = test::indexDiffersFromDisk(data, root, letters, prune)).empty(); });
    return diff;
}

// The watcher's table of watched paths against a plain map, over paths that are each
// other's prefixes ("a", "a/b", "ab"), watches shared by two paths, numbers out of order,
// and enough removals to make it rebuild itself many times.
TEST(Watch, TheWatchedPathsAgreeWithAPlainMap) {
    std::mt19937 rng(7);
    std::vector<std::string> names{""};
    for (const char* a : {"a", "ab", "b", "a b", "\xc3\xa9"})
        for (const char* b : {"", "a", "ab", "c"})
            for (const char* c : {"", "a", "d"}) {
                std::string p = a;
                if (*b)
                    p += std::string(1, platform::kSeparator) + b;
                if (*b && *c)
                    p += std::string(1, platform::kSeparator) + c;
                names.push_back(p);
            }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    indexer::WatchedPaths table;
    std::map<std::pair<uint32_t, std::string>, int> oracle;
    auto oracleFind = [&](uint32_t d, const std::string& p) {
        auto it = oracle.find({d, p});
        return it == oracle.end() ? -1 : it->second;
    };
    for (int round = 0; round < 300000; ++round) {
        const uint32_t d = rng() % 3;
        const std::string& p = names[rng() % names.size()];
        if (rng() % 3 != 0) {
            const int id = static_cast<int>(rng() % 40);
            ASSERT_EQ(table.add(d, p, id), oracleFind(d, p)) << p;
            oracle[{d, p}] = id;
        } else {
            ASSERT_EQ(table.remove(d, p), oracleFind(d, p)) << p;
            oracle.erase({d, p});
        }
        if (round % 997 != 0)
            continue;
        ASSERT_EQ(table.size(), oracle.size());
        std::map<int, std::vector<std::pair<uint32_t, std::string>>> byWatch;
        std::vector<size_t> perDrive(3);
        for (const auto& [key, id] : oracle) {
            byWatch[id].push_back(key);
            ++perDrive[key.first];
        }
        ASSERT_EQ(table.watches(), byWatch.size());
        for (uint32_t drive = 0; drive < 3; ++drive) {
            ASSERT_EQ(table.size(drive), perDrive[drive]);
            for (const std::string& q : names) {
                ASSERT_EQ(table.find(drive, q), oracleFind(drive, q)) << q;
                std::vector<std::string> want;
                for (const auto& [key, id] : oracle)
                    if (key.first == drive &&
                        (q.empty() || key.second == q || key.second.starts_with(q + platform::kSeparator)))
                        want.push_back(key.second);
                std::vector<std::string> got = table.below(drive, q);
                std::sort(got.begin(), got.end());
                ASSERT_EQ(got, want) << "below \"" << q << "\"";
            }
        }
        for (int id = 0; id < 40; ++id) {
            std::vector<std::pair<uint32_t, std::string>> got = table.paths(id);
            std::sort(got.begin(), got.end());
            ASSERT_EQ(got, byWatch[id]) << "watch " << id;
            ASSERT_EQ(table.serves(id), !byWatch[id].empty());
        }
    }
}

TEST(Watch, FollowsRandomChurnAndAFullIndexUnderIt) {
    TempDir data, tree, outside;
    const fs::path root = tree.path() / "r";
    for (int i = 0; i < 200; ++i)
        test::makeDirs(root, "d" + std::to_string(i % 7) + "/same" + std::to_string(i % 23) + "/n" +
                                 std::to_string(i));
    ASSERT_EQ(test::indexFolders(data.path(), {root.string()}).error, "");
    const std::string db = (data.path() / "Files.dat").string();
    ASSERT_EQ(store::AddSearchHistory(db, "kept search"), "");
    test::makeDirs(root, "before the watch/starts"); // found by its first update

    RunningWatcher watcher(data.path(), root);
    ASSERT_TRUE(watcher.ready());
    test::FolderChurn churn(root, outside.path(), 15);
    for (int round = 0; round < 6; ++round) {
        if (round == 3) {
            // A full index renames a new file into place: the watcher must follow it.
            ASSERT_EQ(test::indexFolders(data.path(), {root.string()}).error, "");
        }
        churn.steps(30);
        ASSERT_EQ(settle(data.path(), root), "")
            << "round " << round << ::testing::PrintToString(watcher.log());
        if (round == 2) {
            std::vector<std::string> history;
            ASSERT_EQ(store::listSearchHistory(db, history), "");
            EXPECT_EQ(history, std::vector<std::string>{"kept search"});
        }
    }
    // Quiet for two seconds, it still holds exactly what is there.
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(test::indexDiffersFromDisk(data.path(), root), "");
    EXPECT_EQ(watcher.stop(), "");
}

// One folder reached by two paths (two drives on one folder here, a bind mount alike) has
// one watch of the system's: a change in it reaches both, and neither path's end ends the
// other's watch. Folders past the system's path limit (4,096 bytes) are watched too.
TEST(Watch, AFolderReachedTwiceAndFoldersPastThePathLimitAreFollowed) {
    TempDir data, tree;
    const fs::path root = tree.path() / "r";
    test::makeDirs(root, "a/b");
    const std::string level(40, 'n'); // 46 bytes a level: past the limit below level 90
    test::makeDeepChain(root, 120, level);
    ASSERT_EQ(test::indexFolders(data.path(), {root.string(), root.string()}).error, "");
    RunningWatcher watcher(data.path(), root, "CD");
    ASSERT_TRUE(watcher.ready());
    test::makeDirs(root, "a/b/new");
    test::makeDeepChain(root, 110, level, "deep");
    ASSERT_EQ(settle(data.path(), root, "CD"), "") << ::testing::PrintToString(watcher.log());
    fs::remove(root / "a/b/new");
    test::makeDirs(root, "a/b/again");
    ASSERT_EQ(settle(data.path(), root, "CD"), "") << ::testing::PrintToString(watcher.log());
    test::makeDirs(root, "a/b/again/below");
    ASSERT_EQ(settle(data.path(), root, "CD"), "") << ::testing::PrintToString(watcher.log());
    EXPECT_EQ(watcher.stop(), "");
    EXPECT_EQ(watcher.log(), std::vector<std::string>{}); // every folder watched, none rechecked
}

// The folders left out by name, pattern and path: a full index, an update and a watcher
// each hold what `find -prune` lists by the same rules, as the disk changes and as the
// rules do (then folders below unchanged ones come in or go).
TEST(Watch, IndexUpdateAndWatchLeaveOutWhatFindPrunes) {
    TempDir data, tree;
    const fs::path root = tree.path() / "r";
    const std::string r = root.string();
    for (const char* rel :
         {"a/node_modules/pkg/lib", "a/b/node_modules", "a/b/c", "node_modules", "NODE_MODULES/x",
          "node_modules2/y", "c.cache/z", "c.cached", "build-1/o", "build-x/o", "keep/skip/deep",
          "keep/skipped", "sp ace/node_modules/q", ".git/objects", "d/e/f/build-9/g"})
        test::makeDirs(root, rel);
    auto leaveOut = [&](const std::vector<std::pair<const char*, std::string>>& list) {
        indexer::LeaveOut rules;
        for (const auto& rule : list)
            EXPECT_EQ(rules.add(rule.first, rule.second), "");
        EXPECT_EQ(indexer::saveLeaveOut(data.path(), rules), "");
    };
    leaveOut({{"name", "node_modules"},
              {"name", "*.cache"},
              {"name", "build-[0-9]"},
              {"path", r + "/keep/skip/"}});
    std::string prune =
        "-name node_modules -o -name '*.cache' -o -name 'build-[0-9]' -o -path '" + r + "/keep/skip'";
    ASSERT_EQ(test::indexFolders(data.path(), {r}).error, "");
    EXPECT_EQ(test::indexDiffersFromDisk(data.path(), root, "", prune), "");

    indexer::DriveCatalogue drives;
    drives.add({'C', indexer::DriveFixed, r});
    auto update = [&] {
        std::atomic<bool> stop{false};
        return indexer::runUpdate(test::storeIn(data.path()), drives, "C", stop);
    };
    fs::rename(root / "keep/skip", root / "keep/unskipped");
    fs::rename(root / "keep/skipped", root / "keep/skip");
    test::makeDirs(root, "new/node_modules/n");
    test::makeDirs(root, "new/old.cache");
    ASSERT_EQ(update().error, "");
    EXPECT_EQ(test::indexDiffersFromDisk(data.path(), root, "", prune), "");
    leaveOut({{"name", "*.cache"}, {"name", "sp*"}, {"path", r + "/a/b"}});
    prune = "-name '*.cache' -o -name 'sp*' -o -path '" + r + "/a/b'";
    const indexer::UpdateResult changed = update();
    ASSERT_EQ(changed.error, "");
    EXPECT_EQ(test::indexDiffersFromDisk(data.path(), root, "", prune), "");
    EXPECT_EQ(changed.notes.size(), 1u) << ::testing::PrintToString(changed.notes); // read whole, and said so
    // A rule that leaves nothing out changes no row, and still is what the drive was read by.
    leaveOut({{"name", "*.cache"}, {"name", "sp*"}, {"path", r + "/a/b"}, {"name", "none-such"}});
    EXPECT_EQ(update().notes.size(), 1u);
    EXPECT_EQ(update().notes, std::vector<std::string>{});

    RunningWatcher watcher(data.path(), root);
    ASSERT_TRUE(watcher.ready());
    test::makeDirs(root, "w/node_modules/in");
    test::makeDirs(root, "w/spin/out");
    test::makeDirs(root, "a/b/still/out");
    EXPECT_EQ(settle(data.path(), root, "", prune), "") << ::testing::PrintToString(watcher.log());
    leaveOut({{"name", "node_modules"}});
    prune = "-name node_modules";
    EXPECT_EQ(settle(data.path(), root, "", prune), "") << ::testing::PrintToString(watcher.log());
    test::makeDirs(root, "w/spin/node_modules/out");
    test::makeDirs(root, "w/spin/now/in");
    EXPECT_EQ(settle(data.path(), root, "", prune), "") << ::testing::PrintToString(watcher.log());
    EXPECT_EQ(watcher.stop(), "");
}

void writeFile(const char* file, const std::string& text) {
    std::ofstream(file) << text;
}

// The share test's child, in a user namespace of its own whose watch limit is `limit`: a
// qvl watch of the index in `data`, then another program's watches, then a folder made
// in many folders. Writes what it saw to `report`; exit 77 where the system allows no
// such namespace.
int shareInNamespace(const fs::path& data, const fs::path& root, int limit, const fs::path& report) {
    std::ofstream out(report);
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    if (unshare(CLONE_NEWUSER) != 0) {
        out << "no user namespace: " << std::strerror(errno);
        return 77;
    }
    writeFile("/proc/self/setgroups", "deny");
    writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
    writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
    writeFile("/proc/sys/user/max_inotify_watches", std::to_string(limit));
    if (test::slurp("/proc/sys/user/max_inotify_watches") != std::to_string(limit) + "\n") {
        out << "the namespace's watch limit cannot be set";
        return 77;
    }
    int fds[2];
    if (pipe(fds) != 0)
        return 1;
    pid_t watcher = fork();
    if (watcher == 0) {
        setenv("QVL_DATA_DIR", data.c_str(), 1);
        setenv("QVL_DRIVES", ("C=" + root.string()).c_str(), 1);
        dup2(fds[1], 2);
        execl(QVL_BINARY, QVL_BINARY, "watch", "--sweep", "300", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string said;
    for (auto until = std::chrono::steady_clock::now() + 60s;
         said.find("Ctrl+C stops") == std::string::npos && std::chrono::steady_clock::now() < until;) {
        pollfd p{fds[0], POLLIN, 0};
        char buffer[4096];
        ssize_t n = poll(&p, 1, 100) > 0 ? read(fds[0], buffer, sizeof buffer) : 0;
        if (n < 0 || (n == 0 && p.revents & POLLHUP))
            break;
        said.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    }
    out << "said: " << said << "\n";
    // Another program of the same user, as many watches as it can get.
    int other = inotify_init1(IN_CLOEXEC), free = 0;
    for (const std::string& dir : test::findDirs(root.string()))
        if (inotify_add_watch(other, dir.c_str(), IN_CREATE) >= 0)
            ++free;
    close(other);
    out << "free: " << free << "\n";
    // Two waves: the second comes once the sweep found the first, so in the middle of a
    // pass, and the folders it had passed already are found only by the next one.
    for (int wave = 0; wave < 2; ++wave) {
        for (int i = 0; i < 30; ++i)
            test::makeDirs(root, "d" + std::to_string(i) + "/e" + std::to_string(i * 50 + wave * 7) + "/new");
        out << "differs: " << settle(data, root) << "\n";
    }
    kill(watcher, SIGTERM);
    waitpid(watcher, nullptr, 0);
    return 0;
}

// A user whose programs may hold 1,000 watches (here a user namespace's limit, as in a
// container) watches 1,500 folders: the watcher takes half and says so, another program
// of the user's still gets the other 500, and the folders past the share are swept (a
// folder made in 30 of them is found; a pass takes a few seconds, so some were passed
// before their change and are found only by the next pass).
TEST(Watch, LeavesHalfTheUsersWatchesToOtherPrograms) {
    TempDir data, tree, scratch;
    const fs::path root = tree.path() / "r";
    for (int i = 0; i < 1500; ++i)
        test::makeDirs(root, "d" + std::to_string(i / 50) + "/e" + std::to_string(i));
    ASSERT_EQ(test::indexFolders(data.path(), {root.string()}).error, "");
    const fs::path report = scratch.path() / "report";
    pid_t child = fork();
    if (child == 0)
        _exit(shareInNamespace(data.path(), root, 1000, report));
    int status = 0;
    waitpid(child, &status, 0);
    const std::string seen = test::slurp(report);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << seen;
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << ": " << seen;
    EXPECT_NE(
        seen.find("watching 500 of 1531 folders, 50% of the 1000 watches the system allows this user (the "
                  "rest are left to other programs); the other 1031 are checked by a sweep of 300 folders "
                  "a second"),
        std::string::npos)
        << seen;
    EXPECT_NE(seen.find("free: 500\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("differs: \ndiffers: \n"), std::string::npos) << seen;
}

// A child process that is ended with the test, however the test ends.
struct Child {
    pid_t pid = -1;
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
};

// The inotify watches this process holds, by the system's own account of them.
int watchesHeld() {
    int held = 0;
    for (const fs::directory_entry& e : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (fs::read_symlink(e.path(), ec).string() != "anon_inode:inotify")
            continue;
        std::ifstream info("/proc/self/fdinfo/" + e.path().filename().string());
        for (std::string line; std::getline(info, line);)
            held += line.rfind("inotify wd:", 0) == 0 ? 1 : 0;
    }
    return held;
}

// The system's change service (as root): a user hears only of the folders they may list;
// a watcher that has it holds one watch (its drive's root) and still follows every change;
// when the service ends, the watcher goes on without it.
TEST(Watch, TheChangeServiceTellsEachUserOnlyOfFoldersTheyMayList) {
    if (geteuid() != 0)
        GTEST_SKIP() << "the change service runs as root";
    TempDir data, tree, run;
    const fs::path root = tree.path() / "r";
    for (int i = 0; i < 300; ++i)
        test::makeDirs(root, "d" + std::to_string(i % 10) + "/e" + std::to_string(i));
    test::makeDirs(root, "private/inner");
    fs::permissions(root / "private", fs::perms(0700));
    for (int i = 0; i < 9000; ++i) // a folder whose rows fill blocks, which a listing passes over
        fs::create_directories(root / "d0" / "bulk" / ("n" + std::to_string(i)));
    for (const fs::path& p : {tree.path(), run.path()}) // the folders above, open to anyone
        fs::permissions(p, fs::perms(0755));
    ASSERT_EQ(test::indexFolders(data.path(), {root.string()}).error, "");
    const std::string socket = (run.path() / "changes.sock").string();
    const fs::path said = run.path() / "service.txt";
    const int out = open(said.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    Child service{test::startQvl(data, "", {"serve-changes", "--socket", socket, tree.str()}, out)};
    close(out);
    int status = 0;
    test::waitFor([&] { return fs::exists(socket) || waitpid(service.pid, &status, WNOHANG) != 0; });
    if (!fs::exists(socket))
        GTEST_SKIP() << "no change service here: " << test::slurp(said);

    // A plain user's connection, told of a folder made in an open folder and of none in a
    // folder only root may list.
    const fs::path report = run.path() / "nobody.txt";
    const std::string open = fs::canonical(root).string();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    Child nobody{fork()};
    if (nobody.pid == 0) {
        std::ofstream heard(report);
        platform::ChangeFeed feed;
        if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0 || !feed.connect(socket))
            _exit(1);
        (void)!write(ready[1], "x", 1);
        std::vector<std::string> folders;
        bool lost = false;
        for (auto until = std::chrono::steady_clock::now() + 60s;
             std::find(folders.begin(), folders.end(), open) == folders.end() &&
             std::chrono::steady_clock::now() < until && feed.read(folders, lost);)
            std::this_thread::sleep_for(20ms);
        for (const std::string& f : folders)
            heard << f << "\n";
        heard.close();
        _exit(0);
    }
    close(ready[1]); // so that the read below ends if the child does
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1) << "the plain user could not connect: " << test::slurp(said);
    test::makeDirs(root, "private/inner/secret");
    test::makeDirs(root, "public");
    waitpid(std::exchange(nobody.pid, -1), &status, 0);
    const std::string heard = test::slurp(report);
    EXPECT_NE(heard.find(open + "\n"), std::string::npos) << heard;
    EXPECT_EQ(heard.find("/private"), std::string::npos) << heard;

    setenv("QVL_CHANGES_SOCKET", socket.c_str(), 1);
    {
        TempDir outside;
        RunningWatcher watcher(data.path(), root);
        unsetenv("QVL_CHANGES_SOCKET");
        ASSERT_TRUE(watcher.ready());
        EXPECT_EQ(watchesHeld(), 1);
        test::makeDirs(root, "d0/late");
        fs::rename(root / "d0" / "e0", root / "e0moved"); // listed after bulk's blocks
        fs::rename(root / "d0" / "bulk" / "n4500", root / "d0" / "n4500");
        fs::rename(root / "d0" / "bulk" / "n8999", root / "d0" / "bulk" / "m");
        ASSERT_EQ(settle(data.path(), root), "") << ::testing::PrintToString(watcher.log());
        test::FolderChurn churn(root, outside.path(), 31);
        for (int round = 0; round < 3; ++round) {
            churn.steps(30);
            ASSERT_EQ(settle(data.path(), root), "") << round << ::testing::PrintToString(watcher.log());
        }
        EXPECT_EQ(watchesHeld(), 1);
        kill(service.pid, SIGTERM);
        waitpid(std::exchange(service.pid, -1), &status, 0);
        EXPECT_FALSE(fs::exists(socket));
        test::makeDirs(root, "after/the/service");
        ASSERT_EQ(settle(data.path(), root), "") << ::testing::PrintToString(watcher.log());
        const std::vector<std::string> log = watcher.log();
        EXPECT_NE(std::find_if(log.begin(), log.end(),
                               [](const std::string& l) {
                                   return l.find("change service went away") != std::string::npos;
                               }),
                  log.end())
            << ::testing::PrintToString(log);
        EXPECT_GT(watchesHeld(), 100); // one a folder again
    }
}

TEST(Watch, OneWatcherPerIndexAndADriveThatGoesAwayEndsOnlyItsWatch) {
    TempDir data, tree;
    const fs::path root = tree.path() / "r";
    test::makeDirs(root, "a/b");
    ASSERT_EQ(test::indexFolders(data.path(), {root.string()}).error, "");
    RunningWatcher first(data.path(), root);
    ASSERT_TRUE(first.ready());
    RunningWatcher second(data.path(), root);
    EXPECT_EQ(second.stop(), indexer::kWatcherBusy);

    // Moved away like an unmounted drive: the watch of that drive ends, and its rows
    // stay as the last change left them for the next index or update to decide.
    fs::rename(root, tree.path() / "elsewhere");
    std::vector<std::string> log;
    test::waitFor([&] { return !(log = first.log()).empty(); });
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("went away"), std::string::npos) << log[0];
    test::makeDirs(tree.path(), "elsewhere/a/new");
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(test::searchPaths((data.path() / "Files.dat").string(), test::query("")).size(), 2u);
    EXPECT_EQ(first.stop(), "");
}

TEST(Watch, KilledInMidBatchLeavesAnIndexThatOpensAndTheNextUpdateMendsIt) {
    TempDir data, tree;
    const fs::path root = tree.path() / "r";
    test::makeDirs(root, "a");
    ASSERT_EQ(test::indexFolders(data.path(), {root.string()}).error, "");
    std::mt19937 rng(16);
    for (int trial = 0; trial < 4; ++trial) {
        const pid_t child = test::startQvl(data, "C=" + root.string(), {"watch"});
        std::this_thread::sleep_for(300ms);
        // Batches of thousands of folders, and a kill somewhere in them.
        for (int i = 0; i < 3000; ++i)
            fs::create_directories(root / ("t" + std::to_string(trial)) / ("d" + std::to_string(i)));
        if (trial % 2)
            fs::remove_all(root / ("t" + std::to_string(trial - 1)));
        std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 400));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);

        search::SearchError e = search::SearchError::None;
        test::searchPaths((data.path() / "Files.dat").string(), test::query("d1"), &e);
        EXPECT_EQ(e, search::SearchError::None) << "trial " << trial;
        std::atomic<bool> stop{false};
        indexer::DriveCatalogue drives;
        drives.add({'C', indexer::DriveFixed, root.string()});
        indexer::UpdateResult r = indexer::runUpdate(test::storeIn(data.path()), drives, "", stop);
        ASSERT_EQ(r.error, "") << "trial " << trial;
        ASSERT_EQ(test::indexDiffersFromDisk(data.path(), root), "") << "trial " << trial;
    }
}

TEST(Watch, AWriterThatDiesInMidTransactionLeavesAFileEveryReaderRollsBack) {
    TempDir data, tree;
    for (int i = 0; i < 3000; ++i)
        test::makeDirs(tree.path(), "d" + std::to_string(i % 50) + "/e" + std::to_string(i));
    ASSERT_EQ(test::indexFolders(data.path(), {tree.str()}).error, "");
    const std::string db = (data.path() / "Files.dat").string();
    const std::vector<std::string> before = test::searchPaths(db, test::query("e1"));
    test::dieInMidTransaction(db, "DELETE FROM tblDirs; DELETE FROM qvlNames; DELETE FROM qvlBlocks;"
                                  " UPDATE qvlParts SET Bits = zeroblob(64);");
    search::SearchError e = search::SearchError::None;
    EXPECT_EQ(test::searchPaths(db, test::query("e1"), &e), before);
    EXPECT_EQ(e, search::SearchError::None);
}

} // namespace
} // namespace qvl
