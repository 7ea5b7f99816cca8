#include "cli/Cli.h"

#include "Version.h"
#include "indexer/DriveCatalogue.h"
#include "indexer/IndexRun.h"
#include "indexer/LeaveOut.h"
#include "indexer/Update.h"
#include "indexer/Watch.h"
#include "platform/ChangeService.h"
#include "search/SearchService.h"
#include "store/DataFolder.h"
#include "store/History.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>

namespace qvl::cli {

namespace {

constexpr const char* kUsage = R"(usage:
  qvl drives                         one line per drive: letter, type, root
  qvl index [LETTERS]                rebuild the index of those drives (default: every fixed drive)
  qvl update [LETTERS]               bring the index of those drives up to date, reading only the
                                     folders that changed (default: every drive it holds); the
                                     history stays
  qvl watch [--share N] [--sweep N] [LETTERS]
                                     update, then keep the index of those drives up to date as
                                     folders come and go, until Ctrl+C; it takes at most N%
                                     (default 50) of the user's watches and checks the folders
                                     past them by a slow sweep of N folders a second (default
                                     2000, about 1 s of CPU a minute)
  qvl find [-e] [-d LETTERS] [-0] [-c] [-l N] [-N] TEXT
                                     folders whose name contains TEXT (-e: is exactly TEXT),
                                     case ignored, "%" and "_" as wildcards; -d: only on those
                                     drives; prints each folder's full path, one per line
                                     (-0: NUL after each); -c: only how many; -l: stop
                                     after N folders; -N: print paths as they are (below)
  qvl history [-N] [--clear]         the search history, oldest first, or empty it
  qvl leave-out [add|remove KIND VALUE...]
                                     the folders every index, update and watch leaves out,
                                     one rule a line (none by default), or add or remove
                                     rules. KIND is name (a folder's name or pattern, with
                                     * ? [a-z] as in the shell: node_modules .git '*.cache'),
                                     path (a folder's full path) or fs (a file system's type,
                                     for whole drives: nfs4 tmpfs). A folder left out goes
                                     with every folder below it; names that begin with a
                                     period are always left out. The next update reads the
                                     drives whole by the new rules; a watcher follows them
  qvl serve-changes [--socket PATH] [FOLDERS]
                                     the system's change service (as root, off by default):
                                     tells each user's qvl watch which folders changed on the
                                     file systems of FOLDERS (default: every local one), only
                                     those the user may list; then watchers need no watch of
                                     their own per folder
  qvl --help | --version
Exit status of find: 0 folders found, 1 none found, 2 error.
To a terminal, a path or text with control characters or bytes that are not UTF-8 is
shown quoted the way a shell reads it back ('a'$'\033''b'), so that it cannot act on
the terminal; -N (--literal) prints it as it is. To a pipe or a file, and with -0,
everything goes out byte for byte.
)";

// The length of the character at `i` when a terminal shows it as itself: valid UTF-8 and
// not a control (C0, DEL or C1); 0 when it is not.
size_t shownAsItself(std::string_view s, size_t i) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned c = b(i);
    if (c < 0x80)
        return c >= 0x20 && c != 0x7F ? 1 : 0;
    size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k)
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
    const unsigned second = b(i + 1);
    if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
        (c == 0xF4 && second > 0x8F))
        return 0; // overlong, a surrogate, or past U+10FFFF
    if (c == 0xC2 && second < 0xA0)
        return 0; // U+0080 to U+009F, the C1 controls (0x9B starts a sequence on some terminals)
    return n;
}

// `text` as a terminal may show it: unchanged when every character shows as itself, else
// quoted as GNU ls quotes for a shell: runs of such characters in '...', the other bytes
// in $'...' (\t, \n and the like by name, the rest in octal), which a shell reads back
// to the very bytes.
std::string forTerminal(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        size_t n = shownAsItself(text, i);
        if (n == 0)
            break;
        i += n;
    }
    if (i == text.size())
        return std::string(text);
    std::string out;
    for (i = 0; i < text.size();) {
        if (shownAsItself(text, i) > 0) {
            out += '\'';
            for (size_t n; i < text.size() && (n = shownAsItself(text, i)) > 0; i += n)
                out += text[i] == '\'' ? std::string("'\\''") : std::string(text.substr(i, n));
            out += '\'';
        } else {
            out += "$'";
            for (; i < text.size() && shownAsItself(text, i) == 0; ++i) {
                const auto c = static_cast<unsigned char>(text[i]);
                const char* named = c == '\a'   ? "\\a"
                                    : c == '\b' ? "\\b"
                                    : c == '\t' ? "\\t"
                                    : c == '\n' ? "\\n"
                                    : c == '\v' ? "\\v"
                                    : c == '\f' ? "\\f"
                                    : c == '\r' ? "\\r"
                                                : nullptr;
                char octal[8];
                std::snprintf(octal, sizeof octal, "\\%03o", c);
                out += named ? named : octal;
            }
            out += '\'';
        }
    }
    return out;
}

// Prints `text` and a newline, quoted for a terminal unless `literal`.
void printLine(std::ostream& out, std::string_view text, bool quote) {
    if (quote) {
        out << forTerminal(text) << '\n';
    } else {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.put('\n');
    }
}

int usageError(std::ostream& err, const std::string& why) {
    err << "qvl: " << why << "\n" << kUsage;
    return 2;
}

// "CD", "c,d" and "C: D:" all name the drives C and D.
bool parseLetters(const std::string& text, std::string& letters) {
    letters.clear();
    for (char c : text) {
        if (std::isalpha(static_cast<unsigned char>(c)))
            letters += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        else if (c != ':' && c != ',' && c != ' ')
            return false;
    }
    return true;
}

// The rules of the folders left out, each problem with the file said on `err`.
indexer::LeaveOut leaveOutRules(std::ostream& err, const CliContext& context) {
    indexer::LeaveOut rules;
    for (const std::string& problem : indexer::loadLeaveOut(context.location.dataDir, rules))
        err << "qvl: " << problem << "\n";
    return rules;
}

// The rules on one line: "name node_modules, name .git, path /srv".
std::string rulesInOneLine(const indexer::LeaveOut& rules) {
    std::string text;
    for (const std::string& line : rules.lines())
        text += (text.empty() ? "" : ", ") + line;
    return text;
}

int drivesCommand(std::ostream& out, std::ostream& err, const CliContext& context) {
    indexer::DriveCatalogue catalogue;
    std::string problem = catalogue.load(store::indexedDrives(store::BuildConnectString(context.location)));
    if (!problem.empty()) {
        err << "qvl: " << problem << "\n";
        return 2;
    }
    const indexer::LeaveOut rules = leaveOutRules(err, context);
    for (const indexer::Drive& d : catalogue.drives()) {
        const char* text = indexer::driveTypeText(d.type);
        const char* none = d.type == indexer::DriveNoRootDir ? "(not mounted)" : "(not indexed)";
        out << d.letter << ":\t" << (*text ? text : none) << "\t";
        // A fourth field for a drive the rules leave out whole.
        const std::string leftOut = d.usable() ? indexer::driveLeftOut(rules, d) : std::string();
        printLine(out, leftOut.empty() ? d.root : d.root + "\tleft out (" + leftOut + ")",
                  context.outputIsTerminal);
    }
    // Beside the drives, not among them: a script reads one line per drive.
    if (!rules.empty())
        err << "qvl: left out: " << forTerminal(rulesInOneLine(rules)) << " (see qvl leave-out)\n";
    return 0;
}

int leaveOutCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    const CliContext& context) {
    indexer::LeaveOut rules = leaveOutRules(err, context);
    if (args.size() > 1) {
        const bool adding = args[1] == "add";
        if ((!adding && args[1] != "remove") || args.size() < 4)
            return usageError(err, "leave-out takes add or remove, a kind (name, path or fs) and values");
        const std::string& kind = args[2];
        if (kind != indexer::LeaveOut::kName && kind != indexer::LeaveOut::kPath &&
            kind != indexer::LeaveOut::kFileSystem)
            return usageError(err, "not a kind of rule: " + kind + " (name, path or fs)");
        for (size_t i = 3; i < args.size(); ++i) {
            if (adding) {
                if (std::string why = rules.add(kind, args[i]); !why.empty()) {
                    err << "qvl: " << forTerminal(why) << "; nothing was changed\n";
                    return 2;
                }
            } else if (!rules.remove(kind, args[i])) {
                err << "qvl: there is no rule " << kind << " " << forTerminal(args[i])
                    << "; nothing was changed\n";
                return 2;
            }
        }
        std::string failed = store::checkDataFolder(context.location.dataDir, /*create=*/true);
        if (failed.empty())
            failed = indexer::saveLeaveOut(context.location.dataDir, rules);
        if (!failed.empty()) {
            err << "qvl: " << failed << "\n";
            return 2;
        }
    }
    for (const std::string& line : rules.lines())
        printLine(out, line, context.outputIsTerminal);
    if (rules.empty())
        err << "qvl: no folder is left out but those whose name begins with a period\n";
    return 0;
}

// The drive letters a writing command was given, each a mounted drive; 0, or the exit status.
int driveArgument(const std::vector<std::string>& args, const indexer::DriveCatalogue& catalogue,
                  std::ostream& err, std::string& letters) {
    letters.clear();
    if (args.size() > 2)
        return usageError(err, args[0] + " takes one list of drive letters");
    if (args.size() < 2)
        return 0;
    if (!parseLetters(args[1], letters) || letters.empty())
        return usageError(err, "not a list of drive letters: " + args[1]);
    for (char c : letters) {
        const indexer::Drive* d = catalogue.find(c);
        if (d && d->type == indexer::DriveNoRootDir) {
            err << "qvl: drive " << c << ": (" << d->root << ") is not mounted\n";
            return 2;
        }
        if (!d || !d->usable()) {
            err << "qvl: there is no drive " << c << ": to " << args[0] << " (see 'qvl drives')\n";
            return 2;
        }
    }
    return 0;
}

// Progress on the terminal's error stream, so that it never mixes with what a script
// reads from the output.
struct TerminalProgress {
    std::ostream& err;
    bool shown;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();

    indexer::ProgressFn callback() {
        if (!shown)
            return {};
        return [this](const std::string& path, int64_t rows) {
            double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            std::string tail = path.size() > 60 ? "..." + path.substr(path.size() - 57) : path;
            char line[64];
            std::snprintf(line, sizeof line, "%lld folders, %.1f s, ", static_cast<long long>(rows), seconds);
            err << "\r\033[K" << line << tail << std::flush;
        };
    }
    ~TerminalProgress() {
        if (shown)
            err << "\r\033[K" << std::flush;
    }
};

// For a command that changes an index there is already: the drives, the letters it was
// given, and that index. 0, or the exit status.
int existingIndex(const std::vector<std::string>& args, std::ostream& err, const CliContext& context,
                  indexer::DriveCatalogue& catalogue, std::string& letters) {
    const std::string db = store::BuildConnectString(context.location);
    std::string problem = catalogue.load(store::indexedDrives(db));
    if (!problem.empty()) {
        err << "qvl: " << problem << "\n";
        return 2;
    }
    if (int status = driveArgument(args, catalogue, err, letters); status != 0)
        return status;
    std::error_code ec;
    if (!std::filesystem::exists(context.location.dbFile(), ec)) {
        err << "qvl: there is no index to " << args[0] << " yet; 'qvl index' makes one\n";
        return 2;
    }
    return 0;
}

int updateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const CliContext& context) {
    indexer::DriveCatalogue catalogue;
    std::string letters;
    if (int status = existingIndex(args, err, context, catalogue, letters); status != 0)
        return status;
    std::atomic<bool> localStop{false};
    std::atomic<bool>& stop = context.StopRequested ? *context.StopRequested : localStop;
    indexer::UpdateResult result;
    {
        TerminalProgress progress{err, context.progressToTerminal};
        result = indexer::runUpdate(context.location, catalogue, letters, stop, progress.callback());
    }
    for (const std::string& note : result.notes)
        err << "qvl: " << note << "\n";
    if (!result.error.empty()) {
        err << "qvl: " << result.error << "\n";
        return 2;
    }
    out << result.caption() << "\n";
    if (result.unreadable > 0) {
        indexer::IndexRunResult shown;
        shown.unreadable = result.unreadable;
        shown.firstUnreadable = result.firstUnreadable;
        err << "qvl: " << shown.unreadableText() << "\n";
    }
    return 0;
}

int watchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 const CliContext& context) {
    const std::string db = store::BuildConnectString(context.location);
    indexer::DriveCatalogue catalogue;
    indexer::WatchOptions options;
    options.location = context.location;
    std::vector<std::string> rest;
    // A whole number from 1 to `most`, or 0.
    auto number = [](const std::string& text, int most) {
        if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos)
            return 0;
        const int n = std::stoi(text);
        return n <= most ? n : 0;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--share") {
            if (++i == args.size() || (options.watchShare = number(args[i], 100)) == 0)
                return usageError(err, "--share needs a percentage from 1 to 100");
        } else if (args[i] == "--sweep") {
            if (++i == args.size() || (options.sweepPerSecond = number(args[i], 1000000)) == 0)
                return usageError(err, "--sweep needs a number of folders a second from 1 to 1000000");
        } else {
            rest.push_back(args[i]);
        }
    }
    if (int status = existingIndex(rest, err, context, catalogue, options.letters); status != 0)
        return status;
    options.log = [&](const std::string& line) { err << "qvl: " << line << std::endl; };
    options.ready = [&](int64_t folders) {
        err << "qvl: watching " << folders << " folders; Ctrl+C stops" << std::endl;
    };
    std::atomic<bool> localStop{false};
    std::atomic<bool>& stop = context.StopRequested ? *context.StopRequested : localStop;
    std::string failed = indexer::watchIndex(options, stop);
    stop.store(false);
    if (!failed.empty()) {
        err << "qvl: " << failed << "\n";
        return 2;
    }
    out << "Stopped. (" << store::CountRows(db, "tblDirs") << " dirs)\n";
    return 0;
}

int serveChangesCommand(const std::vector<std::string>& args, std::ostream& err, const CliContext& context) {
    std::string socket = platform::kChangesSocket;
    std::vector<std::string> folders;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--socket") {
            if (++i == args.size() || args[i].empty() || args[i][0] != '/')
                return usageError(err, "--socket needs the full path of the socket");
            socket = args[i];
        } else if (args[i].empty() || args[i][0] == '-') {
            return usageError(err, "unexpected argument: " + args[i]);
        } else {
            folders.push_back(args[i]);
        }
    }
    std::atomic<bool> localStop{false};
    std::atomic<bool>& stop = context.StopRequested ? *context.StopRequested : localStop;
    std::string failed = platform::serveChanges(
        socket, folders, stop, [&](const std::string& line) { err << "qvl: " << line << std::endl; });
    stop.store(false);
    if (!failed.empty()) {
        err << "qvl: " << failed << "\n";
        return 2;
    }
    return 0;
}

int indexCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 const CliContext& context) {
    indexer::DriveCatalogue catalogue;
    std::string problem = catalogue.load(store::indexedDrives(store::BuildConnectString(context.location)));
    if (!problem.empty()) {
        err << "qvl: " << problem << "\n";
        return 2;
    }
    std::string letters;
    if (int status = driveArgument(args, catalogue, err, letters); status != 0)
        return status;
    if (args.size() == 1) {
        indexer::DriveSelection ticks;
        indexer::MarkAllDrives(catalogue, indexer::DriveFixed, ticks);
        letters = indexer::selectedLetters(ticks);
    }

    std::atomic<bool> localStop{false};
    std::atomic<bool>& stop = context.StopRequested ? *context.StopRequested : localStop;
    indexer::IndexRunResult result;
    {
        TerminalProgress progress{err, context.progressToTerminal};
        indexer::IndexRunCallbacks callbacks;
        callbacks.progress = progress.callback();
        result = indexer::runIndex(context.location, catalogue, letters, stop, callbacks);
    }
    if (!result.error.empty()) {
        err << "qvl: " << result.error << "\n";
        return 2;
    }
    for (const std::string& note : result.notes)
        err << "qvl: " << forTerminal(note) << "\n";
    out << result.caption() << "\n";
    if (result.unreadable > 0)
        err << "qvl: " << result.unreadableText() << "\n";
    return 0;
}

int searchFailed(const search::SearchService& search, std::ostream& err) {
    err << "qvl: " << search.message();
    if (search.error() == search::SearchError::Damaged)
        err << "; 'qvl index' rebuilds it";
    err << "\n";
    return 2;
}

int findCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                const CliContext& context) {
    search::SearchQuery query;
    char terminator = '\n';
    bool haveText = false, countOnly = false, literal = false;
    uint64_t limit = UINT64_MAX;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-e") {
            query.mode = search::ExactSearch;
        } else if (a == "-0") {
            terminator = '\0';
        } else if (a == "-c") {
            countOnly = true;
        } else if (a == "-N" || a == "--literal") {
            literal = true;
        } else if (a == "-l") {
            if (++i == args.size() || args[i].empty() ||
                args[i].find_first_not_of("0123456789") != std::string::npos || args[i].size() > 18)
                return usageError(err, "-l needs a number of folders");
            limit = std::stoull(args[i]);
            if (limit == 0)
                return usageError(err, "-l needs a number of folders");
        } else if (a == "-d") {
            if (++i == args.size())
                return usageError(err, "-d needs drive letters");
            if (!parseLetters(args[i], query.drives))
                return usageError(err, "not a list of drive letters: " + args[i]);
            query.allDrives = false;
        } else if (a == "--" && i + 2 == args.size()) {
            query.text = args[++i];
            haveText = true;
        } else if (!haveText && (a.empty() || a[0] != '-')) {
            query.text = a;
            haveText = true;
        } else {
            return usageError(err, "unexpected argument: " + a);
        }
    }
    if (!haveText)
        return usageError(err, "find needs a text to look for");

    search::SearchService service;
    if (service.start(store::BuildConnectString(context.location), query) != search::SearchError::None)
        return searchFailed(service, err);
    const bool quote = context.outputIsTerminal && !literal && terminator == '\n';
    search::SearchService::Batch batch;
    uint64_t found = 0;
    // A write that failed (a full disk) ends the listing: the caller reports it.
    while (found < limit && out && service.take(batch, std::chrono::milliseconds(100))) {
        for (size_t i = 0; i < batch.size(); ++i) {
            std::string_view path = batch.path(i);
            if (found == limit)
                break;
            ++found;
            if (countOnly)
                continue;
            if (quote) {
                printLine(out, path, true);
            } else {
                out.write(path.data(), static_cast<std::streamsize>(path.size()));
                out.put(terminator);
            }
        }
    }
    service.cancel(); // past the limit the scan need not go on
    if (countOnly)
        out << found << "\n";
    out.flush();
    if (service.error() != search::SearchError::None)
        return searchFailed(service, err);
    return found > 0 ? 0 : 1;
}

int historyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const CliContext& context) {
    const std::string db = store::BuildConnectString(context.location);
    bool literal = false, clear = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "-N" || args[i] == "--literal")
            literal = true;
        else if (args[i] == "--clear")
            clear = true;
        else
            return usageError(err, "history takes only -N and --clear");
    }
    if (clear) {
        std::string problem = store::clearSearchHistory(db);
        if (!problem.empty()) {
            err << "qvl: cannot clear the history: " << problem << "\n";
            return 2;
        }
        return 0;
    }
    std::vector<std::string> texts;
    std::string problem = store::listSearchHistory(db, texts);
    if (!problem.empty()) {
        err << "qvl: cannot read the history: " << problem << "\n";
        return 2;
    }
    for (const std::string& t : texts)
        printLine(out, t, context.outputIsTerminal && !literal);
    return 0;
}

} // namespace

namespace {

int runCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               const CliContext& context) {
    const std::string& command = args[0];
    if (command == "drives" && args.size() == 1)
        return drivesCommand(out, err, context);
    if (command == "index")
        return indexCommand(args, out, err, context);
    if (command == "update")
        return updateCommand(args, out, err, context);
    if (command == "watch")
        return watchCommand(args, out, err, context);
    if (command == "find")
        return findCommand(args, out, err, context);
    if (command == "history")
        return historyCommand(args, out, err, context);
    if (command == "leave-out")
        return leaveOutCommand(args, out, err, context);
    return usageError(err, "unknown command: " + command);
}

} // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const CliContext& context) {
    if (args.empty())
        return usageError(err, "no command given");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        indexer::LeaveOut rules;
        if (store::checkDataFolder(context.location.dataDir, /*create=*/false).empty() &&
            indexer::loadLeaveOut(context.location.dataDir, rules).empty() && !rules.empty())
            out << "Left out now (" << forTerminal(indexer::leaveOutFile(context.location.dataDir).string())
                << "): " << forTerminal(rulesInOneLine(rules)) << "\n";
        return 0;
    }
    if (command == "--version") {
        out << "qvl " << kVersion << "\n";
        return 0;
    }
    if (command == "serve-changes") // a system service: no user's data folder is read
        return serveChangesCommand(args, err, context);
    // Before anything in the data folder is read: a folder someone else may change holds
    // nothing to trust (a planted journal, lock or index).
    if (std::string refused = store::checkDataFolder(context.location.dataDir, /*create=*/false);
        !refused.empty()) {
        err << "qvl: " << refused << "\n";
        return 2;
    }
    const int code = runCommand(args, out, err, context);
    for (const std::string& note : store::takeNotes())
        err << "qvl: " << note << "\n";
    return code;
}

} // namespace qvl::cli
