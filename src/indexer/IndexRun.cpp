#include "indexer/IndexRun.h"

#include <filesystem>

namespace qvl::indexer {

namespace fs = std::filesystem;

std::string IndexRunResult::caption() const {
    return std::string(canceled ? "Canceled." : "Done.") + " (" + std::to_string(count) + " dirs)";
}

namespace {

// Makes `file` a fresh, empty index: a copy of the template, or the schema itself.
std::string startFromTemplate(const store::StoreLocation& location, const fs::path& file) {
    std::error_code ec;
    fs::create_directories(location.dataDir, ec);
    fs::remove(file, ec);
    if (fs::copy_file(location.templateFile, file, ec))
        return {};
    return store::createEmptyDatabase(file);
}

} // namespace

std::string writeIndexFile(const fs::path& file, const std::vector<DirTree>& trees) {
    store::IndexWriter writer;
    std::string err = writer.open(file);
    IndexOrder order(trees);
    IndexRow row;
    while (err.empty() && order.next(row))
        err = writer.add(row.driveLetter, row.fullDirectory, row.directory, row.foldedDirectory);
    std::string finished = writer.finish();
    return err.empty() ? finished : err;
}

IndexRunResult runIndex(const store::StoreLocation& location, const DriveCatalogue& catalogue,
                        std::string_view letters, std::atomic<bool>& StopRequested,
                        const IndexRunCallbacks& callbacks) {
    IndexRunResult result;
    const fs::path dbFile = location.dbFile();
    const fs::path building = dbFile.string() + ".new";

    std::string err = startFromTemplate(location, building);
    if (!err.empty())
        result.error = "Cannot create the index in " + location.dataDir.string() + ": " + err;

    std::vector<DirTree> trees;
    for (char letter : letters) {
        const Drive* drive = catalogue.find(letter);
        if (!drive || !drive->usable())
            continue;
        if (callbacks.driveStarted)
            callbacks.driveStarted(drive->letter);
        // Once an error has ended the run, the remaining drives are only unticked.
        if (result.error.empty()) {
            std::string root = drive->root;
            trees.emplace_back();
            WalkStatus status =
                ScanDirectory(root, drive->letter, trees.back(), StopRequested, callbacks.progress);
            if (!status.fatalError.empty())
                result.error = status.fatalError;
        }
        if (callbacks.driveFinished)
            callbacks.driveFinished(drive->letter);
    }

    std::error_code ec;
    if (fs::exists(building, ec)) {
        err = writeIndexFile(building, trees);
        trees.clear();
        if (err.empty())
            fs::rename(building, dbFile, ec);
        if (!err.empty() || ec) {
            fs::remove(building, ec);
            result.error =
                "Cannot write the index " + dbFile.string() + ": " + (err.empty() ? ec.message() : err);
        }
    }

    result.canceled = StopRequested.exchange(false);
    result.count = store::CountRows(dbFile.string(), "tblDirs");
    return result;
}

} // namespace qvl::indexer
