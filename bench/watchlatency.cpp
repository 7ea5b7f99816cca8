// How soon a folder made on disk can be found, with `qvl watch` running: makes folders
// one at a time in random places of a tree and searches for each until it is there.
// Usage: qvl_watchlatency DATA_DIR TREE [COUNT [SECONDS]], with a qvl watch of TREE running;
// a folder not found within SECONDS (default 5) counts as not found.
#include "search/Search.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: qvl_watchlatency DATA_DIR TREE [COUNT [SECONDS]]\n");
        return 2;
    }
    const std::string db = (fs::path(argv[1]) / "Files.dat").string();
    const fs::path tree = argv[2];
    const int count = argc > 3 ? std::atoi(argv[3]) : 1000;
    const auto patience = std::chrono::seconds(argc > 4 ? std::atoi(argv[4]) : 5);
    std::vector<fs::path> dirs;
    for (auto it = fs::recursive_directory_iterator(tree); it != fs::recursive_directory_iterator(); ++it)
        if (it->is_directory() && it->path().filename().string()[0] != '.')
            dirs.push_back(it->path());
    std::mt19937 rng(14);
    std::vector<double> ms;
    std::vector<fs::path> made;
    int lost = 0;
    for (int i = 0; i < count; ++i) {
        std::string name = "latency" + std::to_string(i) + "x";
        made.push_back(dirs[rng() % dirs.size()] / name);
        fs::create_directory(made.back());
        const auto start = Clock::now();
        bool found = false;
        while (!found && Clock::now() - start < patience) {
            qvl::search::SearchQuery q;
            q.text = name;
            q.mode = qvl::search::ExactSearch;
            qvl::search::SearchCursor cursor;
            qvl::search::SearchHit hit;
            found = cursor.open(db, q) == qvl::search::SearchError::None && cursor.next(hit);
            if (!found)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (!found)
            ++lost;
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 20));
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "mkdir to found, %d folders: median %.0f ms, 90%% %.0f ms, worst %.0f ms, not found in %lld s: %d\n",
        count, ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back(), static_cast<long long>(patience.count()),
        lost);
    for (const fs::path& p : made)
        fs::remove(p);
    return lost == 0 ? 0 : 1;
}
