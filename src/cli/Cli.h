#pragma once
// qvl, the command-line tool: the same index and search as the desktop program.

#include "store/IndexStore.h"

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

namespace qvl::cli {

struct CliContext {
    store::StoreLocation location;
    std::atomic<bool>* StopRequested = nullptr; // set by Ctrl+C
    bool progressToTerminal = false;            // stderr is a terminal: show index progress
    bool outputIsTerminal = false;              // stdout is a terminal: quote what it must not act on
};

// Runs the command in `args` (without the program name); returns the exit code:
// 0 fine (for find: hits), 1 find found nothing, 2 error (message on `err`).
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const CliContext& context);

} // namespace qvl::cli
