#include "store/DataFolder.h"

#include "platform/Platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <utility>

namespace qvl::store {

namespace fs = std::filesystem;

namespace {

std::mutex g_notesMutex;
std::set<std::string> g_said;
std::vector<std::string> g_pending;

void note(const std::string& text) {
    std::lock_guard lock(g_notesMutex);
    if (g_said.insert(text).second)
        g_pending.push_back(text);
}

std::string octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode);
    return text;
}

} // namespace

std::vector<std::string> takeNotes() {
    std::lock_guard lock(g_notesMutex);
    return std::exchange(g_pending, {});
}

std::string checkDataFolder(const fs::path& dir, bool create) {
    if (dir.empty())
        return "cannot tell where the data folder is: HOME is not set and the system knows no home "
               "folder for this user (set QVL_DATA_DIR)";
    platform::Ownership o = platform::ownership(dir);
    if (!o.exists) {
        if (!create)
            return {}; // nothing to read yet: the caller says there is no index
        int err = platform::createPrivateFolder(dir);
        if (err != 0 && err != EEXIST)
            return "Cannot create the data folder " + dir.string() + ": " + std::strerror(err);
        o = platform::ownership(dir);
    }
    if (!o.folder)
        return "the data folder " + dir.string() + " is not a folder";
    if (!o.mine)
        return "the data folder " + dir.string() +
               " belongs to another user; an index is kept only in a folder of one's own";
    if (!o.keepsModes) {
        if (o.othersWrite || o.othersRead)
            note("the data folder " + dir.string() +
                 " is on a file system that keeps no access rights: whoever can reach it can read the index");
        return {};
    }
    if (o.othersWrite)
        return "the data folder " + dir.string() + " may be changed by other users (mode " + octal(o.mode) +
               "), so its index cannot be trusted; 'chmod 700 " + dir.string() + "' makes it private";
    if (o.othersRead)
        note("the data folder " + dir.string() + " can be read by other users (mode " + octal(o.mode) +
             "); 'chmod 700 " + dir.string() + "' makes it private");
    return {};
}

std::string checkIndexFile(const fs::path& file) {
    platform::Ownership o = platform::ownership(file);
    if (!o.exists)
        return {};
    if (!o.regular)
        return file.string() + " is not a plain file";
    if (!o.mine)
        return file.string() + " belongs to another user";
    if (!o.keepsModes) {
        if (o.othersWrite || o.othersRead)
            note(file.string() + " is on a file system that keeps no access rights: it is used as it is");
        return {};
    }
    if (o.othersWrite)
        return file.string() + " may be changed by other users (mode " + octal(o.mode) + ")";
    if (o.othersRead && !platform::makePrivate(file))
        note(file.string() + " can be read by other users (mode " + octal(o.mode) +
             ") and could not be made private: it is used as it is");
    return {};
}

} // namespace qvl::store
