// How long one batch of new folders takes to write into a large index, as the watcher
// writes it (IndexEditor::apply): the write is most of the time from mkdir to found.
//   qvl_editlatency DATA_DIR [ROUNDS] [FOLDERS_PER_BATCH]
// Each round adds FOLDERS_PER_BATCH new folders below random folders of the index (one
// batch), then removes as many random folders the index had from the start, with what
// lies below them (a second batch); both are timed.
#include "indexer/IndexEdit.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <random>

using namespace qvl;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: qvl_editlatency DATA_DIR [ROUNDS] [FOLDERS_PER_BATCH]\n";
        return 2;
    }
    const std::filesystem::path file = std::filesystem::path(argv[1]) / "Files.dat";
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 10;
    const size_t perBatch = argc > 3 ? std::stoul(argv[3]) : 40;
    indexer::IndexEditor editor;
    if (std::string err = editor.open(file); !err.empty()) {
        std::cerr << "qvl_editlatency: " << err << "\n";
        return 1;
    }
    std::vector<std::pair<char, std::string>> folders;
    if (std::string err = editor.readRows([&](char d, std::string_view path, std::string_view) {
            folders.emplace_back(d, std::string(path));
        });
        !err.empty()) {
        std::cerr << "qvl_editlatency: " << err << "\n";
        return 1;
    }
    using Ms = std::chrono::duration<double, std::milli>;
    const auto prepared = std::chrono::steady_clock::now();
    if (std::string err = editor.prepare(); !err.empty()) {
        std::cerr << "qvl_editlatency: " << err << "\n";
        return 1;
    }
    std::cout << "blocks read before the first batch in "
              << Ms(std::chrono::steady_clock::now() - prepared).count() << " ms\n";
    std::mt19937 rng(31);
    std::vector<double> adds, removes;
    for (int r = 0; r < rounds; ++r) {
        indexer::IndexChanges add, remove;
        for (size_t i = 0; i < perBatch; ++i) {
            const auto& [d, parent] = folders[rng() % folders.size()];
            add.added.push_back({d, parent + "edit" + std::to_string(r) + "x" + std::to_string(i) + "/"});
            const auto& [gd, gone] = folders[rng() % folders.size()];
            remove.removedTrees.push_back({gd, gone});
        }
        for (auto [changes, times] : {std::pair{&add, &adds}, std::pair{&remove, &removes}}) {
            const auto start = std::chrono::steady_clock::now();
            if (std::string err = editor.apply(*changes); !err.empty()) {
                std::cerr << "qvl_editlatency: " << err << "\n";
                return 1;
            }
            times->push_back(Ms(std::chrono::steady_clock::now() - start).count());
        }
    }
    for (auto [what, times] : {std::pair{"add", &adds}, std::pair{"remove", &removes}}) {
        std::sort(times->begin(), times->end());
        std::cout << what << " " << perBatch << " folders, " << folders.size() << " in the index: median "
                  << (*times)[times->size() / 2] << " ms, worst " << times->back() << " ms\n";
    }
    return 0;
}
