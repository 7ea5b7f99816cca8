// Writes the empty template database fresh.dat; run by the build.
#include "store/IndexStore.h"

#include <iostream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: qvl_mkfresh FILE\n";
        return 2;
    }
    std::string err = qvl::store::createEmptyDatabase(argv[1]);
    if (!err.empty()) {
        std::cerr << "qvl_mkfresh: " << err << "\n";
        return 1;
    }
    return 0;
}
