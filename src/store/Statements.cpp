#include "store/Statements.h"

namespace qvl::store {

int64_t generation(const Db& db) {
    Stmt s(db, "SELECT Value FROM qvlMeta WHERE Key = 'generation'");
    return s.step() == SQLITE_ROW ? s.integer(0) : 0;
}

int64_t schemaVersion(const Db& db) {
    Stmt s(db, "PRAGMA user_version");
    return s.step() == SQLITE_ROW ? s.integer(0) : -1;
}

std::string beginReading(const Db& db, int64_t mapBytes) {
    return db.exec(("PRAGMA mmap_size = " + std::to_string(mapBytes) + "; BEGIN").c_str());
}

std::string putDrive(const Db& db, const IndexedDrive& drive) {
    Stmt put(db, sql::kPutDrive);
    put.bind(1, std::string_view(&drive.letter, 1)).bindBlob(2, drive.root).bindBlob(3, drive.identity);
    return put.step() == SQLITE_DONE ? std::string() : put.error();
}

std::string renumberBlocks(const Db& db, const std::vector<std::pair<int64_t, int64_t>>& moves) {
    std::string err =
        db.exec("CREATE TEMP TABLE IF NOT EXISTS qvlMove (OldBlock INTEGER PRIMARY KEY, NewBlock INTEGER);"
                " DELETE FROM qvlMove;");
    if (!err.empty())
        return err;
    {
        Stmt map(db, "INSERT INTO qvlMove (OldBlock, NewBlock) VALUES (?, ?)");
        for (const auto& [from, to] : moves) {
            map.reset();
            map.bind(1, from).bind(2, to);
            if (map.step() != SQLITE_DONE)
                return map.error();
        }
    }
    // A block's number is the low bits of every key (all of it in the first two tables).
    const std::string mask = std::to_string(kMaxBlockNumber);
    for (const auto& [table, key] :
         {std::pair{"qvlNames", "Block"}, std::pair{"qvlBlocks", "Block"}, std::pair{"qvlParts", "Key"}}) {
        const std::string k = key, set = std::string("UPDATE ") + table + " SET " + k + " = -";
        const std::string block = "(" + k + " & " + mask + ")";
        for (const std::string& statement :
             {set + "((" + k + " & ~" + mask + ") | (SELECT NewBlock FROM qvlMove WHERE OldBlock = " + block +
                  ")) WHERE " + block + " IN (SELECT OldBlock FROM qvlMove)",
              set + k + " WHERE " + k + " < 0"})
            if (!(err = db.exec(statement.c_str())).empty())
                return err;
    }
    return db.exec("DELETE FROM qvlMove");
}

} // namespace qvl::store
