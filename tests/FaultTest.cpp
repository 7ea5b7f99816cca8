// Faults a user meets: a damaged index, two writers at once, a full disk, a walk that
// cannot go on, folders that cannot be read.
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <random>

namespace fs = std::filesystem;
using namespace qvl;
using qvl::test::TempDir;

namespace {

struct BlobRef {
    std::string table, column;
    int64_t block;
};

std::string readBlob(sqlite3* db, const BlobRef& ref) {
    std::string sql =
        "SELECT " + ref.column + " FROM " + ref.table + " WHERE Block = " + std::to_string(ref.block);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    std::string out;
    if (sqlite3_step(st) == SQLITE_ROW)
        out.assign(static_cast<const char*>(sqlite3_column_blob(st, 0)), sqlite3_column_bytes(st, 0));
    sqlite3_finalize(st);
    return out;
}

void writeBlob(sqlite3* db, const BlobRef& ref, const std::string& bytes) {
    std::string sql =
        "UPDATE " + ref.table + " SET " + ref.column + " = ? WHERE Block = " + std::to_string(ref.block);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    sqlite3_bind_blob(st, 1, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    ASSERT_EQ(sqlite3_step(st), SQLITE_DONE);
    sqlite3_finalize(st);
}

} // namespace

// Damage inside the search blocks of a file that SQLite still reads: flipped bits, cut and
// grown blobs, the documented crash (a name end pointing far past the names). Each search
// either gives the answer of the intact index or says the index is damaged.
TEST(Faults, DamagedBlocksAreReportedNeverCrashOrGiveWrongRows) {
    TempDir tree, data;
    std::mt19937 rng(4242);
    for (int i = 0; i < 6000; ++i)
        test::makeDirs(tree.path(), "f" + std::to_string(i % 40) + "/g" + std::to_string(i) + "_x");
    ASSERT_EQ(test::indexFolders(data.path(), {tree.str()}).error, "");
    const fs::path intact = data.path() / "Files.dat", work = data.path() / "work.dat";
    const std::vector<search::SearchQuery> queries = {
        test::query("f5"), test::query("g12_x", search::ExactSearch), test::query("g1%9_"), test::query("")};
    std::vector<std::vector<std::string>> expected;
    for (const auto& q : queries)
        expected.push_back(test::searchPaths(intact.string(), q));
    ASSERT_FALSE(expected[0].empty());
    ASSERT_EQ(expected[1].size(), 1u);

    sqlite3* probe = nullptr;
    ASSERT_EQ(sqlite3_open(intact.c_str(), &probe), SQLITE_OK);
    int64_t blocks = 0;
    sqlite3_exec(
        probe, "SELECT max(Block) FROM qvlBlocks",
        [](void* out, int, char** v, char**) { return *static_cast<int64_t*>(out) = std::atoll(v[0]), 0; },
        &blocks, nullptr);
    sqlite3_close(probe);
    ASSERT_GE(blocks, 2);

    const std::vector<std::pair<std::string, std::string>> columns = {{"qvlBlocks", "Names"},
                                                                      {"qvlBlocks", "Ends"},
                                                                      {"qvlBlocks", "Drives"},
                                                                      {"qvlBlocks", "Paths"},
                                                                      {"qvlFilters", "Filter"}};
    int reported = 0;
    for (int trial = 0; trial < 400; ++trial) {
        fs::copy_file(intact, work, fs::copy_options::overwrite_existing);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(work.c_str(), &db), SQLITE_OK);
        const auto& [table, column] = columns[rng() % columns.size()];
        BlobRef ref{table, column, 1 + static_cast<int64_t>(rng() % blocks)};
        std::string blob = readBlob(db, ref);
        ASSERT_FALSE(blob.empty());
        switch (trial % 4) {
        case 0: // a flipped bit
            blob[rng() % blob.size()] ^= static_cast<char>(1 << (rng() % 8));
            break;
        case 1: // cut short
            blob.resize(rng() % blob.size());
            break;
        case 2: // grown by garbage
            for (unsigned k = 1 + rng() % 9; k > 0; --k)
                blob += static_cast<char>(rng());
            break;
        default: // a four-byte run of 0x00FFFFFF-like garbage somewhere
            if (blob.size() >= 4)
                blob.replace(rng() % (blob.size() - 3), 4, std::string("\x00\xff\xff\xff", 4));
        }
        writeBlob(db, ref, blob);
        sqlite3_close(db);
        for (size_t q = 0; q < queries.size(); ++q) {
            search::SearchError error = search::SearchError::None;
            std::vector<std::string> got = test::searchPaths(work.string(), queries[q], &error);
            if (error == search::SearchError::Damaged) {
                ++reported;
                continue;
            }
            ASSERT_EQ(error, search::SearchError::None);
            ASSERT_EQ(got, expected[q]) << "trial " << trial << " " << table << "." << column << " block "
                                        << ref.block << ": wrong rows without a word";
        }
    }
    EXPECT_GT(reported, 400); // most damage lies in what the searches read
}
