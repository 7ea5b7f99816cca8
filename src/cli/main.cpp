// qvl: the command-line front end; all the work is in Cli.cpp.
#include "cli/Cli.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace {

std::atomic<bool> g_stop{false};

// The first Ctrl+C stops an index run like the stop button (the count is still printed);
// a second one ends the program at once.
extern "C" void onInterrupt(int) {
    if (g_stop.exchange(true)) {
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
    }
}

// A service manager's stop: end the way Ctrl+C ends.
extern "C" void onTerminate(int) {
    g_stop.store(true);
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    static char outBuffer[1 << 16];
    std::cout.rdbuf()->pubsetbuf(outBuffer, sizeof outBuffer);
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onTerminate);

    qvl::cli::CliContext context;
    context.location = qvl::store::locateStore();
    context.StopRequested = &g_stop;
    context.progressToTerminal = isatty(STDERR_FILENO) != 0;
    std::vector<std::string> args(argv + 1, argv + argc);
    int code = qvl::cli::run(args, std::cout, std::cerr, context);
    std::cout.flush();
    return std::cout.good() || code != 0 ? code : 2;
}
