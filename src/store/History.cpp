#include "store/History.h"

#include "store/Sqlite.h"

#include <filesystem>

namespace qvl::store {

using store::Db;
using store::Stmt;

namespace {

// Opens an existing index for writing; the history never creates the file.
std::string openExisting(Db& db, const std::string& dbConnect, Db::Mode mode) {
    std::error_code ec;
    if (!std::filesystem::exists(dbConnect, ec))
        return "There is no index yet (" + dbConnect + ").";
    return db.open(dbConnect, mode);
}

} // namespace

std::string AddSearchHistory(const std::string& dbConnect, const std::string& text) {
    Db db;
    std::string err = openExisting(db, dbConnect, Db::Mode::ReadWrite);
    if (!err.empty())
        return err;
    Stmt insert(db, "INSERT INTO tblLastSearch (SearchDesc) VALUES (?)");
    insert.bind(1, text);
    return insert.step() == SQLITE_DONE ? std::string() : insert.error();
}

std::string listSearchHistory(const std::string& dbConnect, std::vector<std::string>& texts) {
    texts.clear();
    Db db;
    std::string err = openExisting(db, dbConnect, Db::Mode::ReadOnly);
    if (!err.empty())
        return err;
    Stmt list(db, "SELECT SearchDesc FROM tblLastSearch order by SearchID");
    int rc;
    while ((rc = list.step()) == SQLITE_ROW)
        texts.emplace_back(list.text(0));
    return rc == SQLITE_DONE ? std::string() : list.error();
}

std::string clearSearchHistory(const std::string& dbConnect) {
    Db db;
    std::string err = openExisting(db, dbConnect, Db::Mode::ReadWrite);
    if (!err.empty())
        return err;
    Stmt clear(db, "delete from tblLastSearch");
    return clear.step() == SQLITE_DONE ? std::string() : clear.error();
}

} // namespace qvl::store
