// Writes an index of N synthetic folders straight into a store, without a disk tree:
//   qvl_genstore N DATA_DIR TEMPLATE
// The names are built like bench/gentree.py's, so the same needles are rare or common.
#include "indexer/IndexRun.h"
#include "text/TextFold.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <random>

using namespace qvl;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: qvl_genstore N DATA_DIR TEMPLATE\n";
        return 2;
    }
    const size_t total = std::stoul(argv[1]);
    std::mt19937 rng(20261206);
    const std::vector<std::string> syllables = {"ka",  "lo",  "mi",  "ne",  "ru",  "ta",  "vo",  "zi",
                                                "pe",  "do",  "sa",  "fu",  "gri", "bel", "tor", "wen",
                                                "qua", "xen", "yul", "har", "dom", "pix"};
    auto word = [&] {
        std::string w;
        for (int n = std::uniform_int_distribution<int>(2, 4)(rng); n > 0; --n)
            w += syllables[rng() % syllables.size()];
        if (rng() % 100 < 15)
            w[0] = static_cast<char>(w[0] - 32);
        if (rng() % 100 < 25)
            w += std::to_string(rng() % 100);
        return w;
    };

    // Breadth first: each folder gets 1 to 8 children until the total is reached;
    // siblings are sorted as the walker sorts them.
    indexer::DirTree tree;
    tree.rootPath = "/bench/";
    tree.nodes.emplace_back();
    for (size_t parent = 0; tree.nodes.size() <= total && parent < tree.nodes.size(); ++parent) {
        size_t n = std::min<size_t>(1 + rng() % 8, total + 1 - tree.nodes.size());
        std::vector<std::string> names;
        while (names.size() < n) {
            std::string w = word();
            if (std::find(names.begin(), names.end(), w) == names.end()) // siblings differ
                names.push_back(w);
        }
        std::sort(names.begin(), names.end(), [](auto& a, auto& b) {
            std::string fa = text::fold(a), fb = text::fold(b);
            return fa != fb ? fa < fb : a < b;
        });
        tree.nodes[parent].firstChild = static_cast<uint32_t>(tree.nodes.size());
        tree.nodes[parent].childCount = static_cast<uint32_t>(n);
        for (const std::string& name : names) {
            indexer::DirNode node;
            node.nameOffset = static_cast<uint32_t>(tree.names.size());
            node.nameLength = static_cast<uint16_t>(name.size());
            tree.names += name;
            std::string folded = text::fold(name);
            node.foldedOffset = static_cast<uint32_t>(tree.names.size());
            node.foldedLength = static_cast<uint16_t>(folded.size());
            tree.names += folded;
            tree.nodes.push_back(node);
        }
    }
    std::filesystem::path dir = argv[2];
    std::filesystem::create_directories(dir);
    std::filesystem::path file = dir / "Files.dat";
    std::filesystem::remove(file);
    std::filesystem::copy_file(argv[3], file);
    std::string err = indexer::writeIndexFile(file, {tree});
    if (!err.empty()) {
        std::cerr << "qvl_genstore: " << err << "\n";
        return 1;
    }
    std::cout << tree.rows() << " folders written to " << file.string() << "\n";
    return 0;
}
