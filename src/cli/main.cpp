// qvl: the command-line front end; all the work is in Cli.cpp.
#include "cli/Cli.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <streambuf>
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

// Standard output in 64 KiB writes that keeps the system's reason when one fails, so that
// a full disk is reported as such ("No space left on device"), not as a silent exit 2.
class OutputBuffer : public std::streambuf {
public:
    explicit OutputBuffer(int fd)
        : m_fd(fd) {
        setp(m_buffer, m_buffer + sizeof m_buffer);
    }
    int failure() const { return m_errno; }

protected:
    int_type overflow(int_type c) override {
        if (!drain())
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            sputc(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
    int sync() override { return drain() ? 0 : -1; }

private:
    bool drain() {
        for (char* at = pbase(); at < pptr();) {
            ssize_t n = ::write(m_fd, at, static_cast<size_t>(pptr() - at));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_errno = n < 0 ? errno : EIO;
                setp(m_buffer, m_buffer + sizeof m_buffer);
                return false;
            }
            at += n;
        }
        setp(m_buffer, m_buffer + sizeof m_buffer);
        return true;
    }
    int m_fd;
    int m_errno = 0;
    char m_buffer[1 << 16];
};

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    static OutputBuffer output(STDOUT_FILENO);
    std::cout.rdbuf(&output);
    std::vector<std::string> args(argv + 1, argv + argc);
    // Only the commands that write the index end gracefully, with what they did so far;
    // a search or a listing dies at once as any reader does.
    const std::string command = args.empty() ? "" : args[0];
    if (command == "index" || command == "update" || command == "watch" || command == "serve-changes") {
        std::signal(SIGINT, onInterrupt);
        std::signal(SIGTERM, onTerminate);
    }

    qvl::cli::CliContext context;
    context.location = qvl::store::locateStore();
    context.StopRequested = &g_stop;
    context.progressToTerminal = isatty(STDERR_FILENO) != 0;
    context.outputIsTerminal = isatty(STDOUT_FILENO) != 0;
    int code = qvl::cli::run(args, std::cout, std::cerr, context);
    std::cout.flush();
    if (output.failure() != 0) {
        std::cerr << "qvl: write error: " << std::strerror(output.failure()) << "\n";
        return 2;
    }
    return code;
}
