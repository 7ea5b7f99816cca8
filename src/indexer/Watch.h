#pragma once
// Live watching: an update, then the system's change notifications, so that every
// folder created, removed, renamed or moved on the watched drives is in the index within
// a second. Changes are applied in batches, each one transaction (see IndexEdit.h),
// under the writers' lock taken per batch, so that a full index or an update can run in
// between; a watcher that finds Files.dat replaced follows the new file.

#include "indexer/DriveCatalogue.h"
#include "store/IndexStore.h"

#include <atomic>
#include <functional>
#include <string>

namespace qvl::indexer {

struct WatchOptions {
    store::StoreLocation location;
    std::string letters; // "" watches every drive the index holds that is mounted
    // The drives there are; by default the system's (or QVL_DRIVES).
    std::function<DriveCatalogue()> catalogue;
    // Notes and fallbacks, one line each ("watch limit reached ...").
    std::function<void(const std::string&)> log;
    // After the first update, and after each batch written (for tests and benchmarks).
    std::function<void(int64_t folders)> ready;
    std::function<void()> applied;
    bool waitForIndex = false; // no index yet: wait for one instead of failing
    int settleMs = 20;         // a batch is written once events pause this long,
    int batchMs = 100;         // or this long after its first event
    // The share of the user's watches (fs.inotify.max_user_watches) this watcher takes,
    // in percent: the rest stay free for the user's other programs. The folders past it
    // are checked by a sweep of `sweepPerSecond` folders a second (one stat each, at idle
    // I/O priority); the home folder's and those changed last are watched first.
    int watchShare = 50;
    int sweepPerSecond = 2000;
};

// The lock a watcher holds for its whole life, beside the writers' lock: one watcher
// per data folder. "" once held, kWatcherBusy when another watcher has it.
inline constexpr const char* kWatcherBusy = "another watcher follows this index already";

// Runs until `stop`, then writes what is pending and returns "". Returns the error
// that ended it early: no index, a damaged one, notifications not available.
std::string watchIndex(const WatchOptions& options, std::atomic<bool>& stop);

} // namespace qvl::indexer
