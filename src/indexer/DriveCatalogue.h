#pragma once
// The drive catalogue: for each letter C to Z, whether a drive exists there, its type
// and the folder to walk; the drive selection, and the presets that tick groups of
// drives. On Windows the letters are the system's; elsewhere C: is "/" and D: onwards the
// other mounted real file systems, each keeping the letter the index gave it (see
// keepLetters). QVL_DRIVES replaces it.

#include "store/IndexStore.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qvl::indexer {

// The type codes of the platform's drive query.
enum DriveType : int32_t {
    DriveUnknown = 0,
    DriveNoRootDir = 1,
    DriveRemovable = 2,
    DriveFixed = 3,
    DriveRemote = 4,
    DriveCdRom = 5,
    DriveRamDisk = 6,
};

// "Floppy", "Hard Drive", "Network Drive", "CDROM"; "" for the types that stay disabled.
const char* driveTypeText(int32_t type);

struct Drive {
    char letter = 0; // 'A'..'Z'
    int32_t type = DriveUnknown;
    std::string root = {};     // the folder to walk, native form
    std::string identity = {}; // the file system there (platform::SystemDrive), "" when unknown
    // A drive can be ticked and walked when its type is one of the four with a text.
    bool usable() const { return type >= DriveRemovable && type <= DriveCdRom; }
};

class DriveCatalogue {
public:
    // The drives in the platform's order (A to Z), each letter at most once.
    const std::vector<Drive>& drives() const { return m_drives; }
    // The drive at `letter` (any case), or nullptr.
    const Drive* find(char letter) const;

    // The machine's drives, or QVL_DRIVES when it is set. `indexed` are the drives the
    // current index records, whose letters stay as they were. Returns "" or what is wrong
    // with QVL_DRIVES; the catalogue is then left empty.
    std::string load(const std::vector<store::IndexedDrive>& indexed = {});
    // Entries separated by ";", each LETTER=ROOT or LETTER:TYPE=ROOT, TYPE one of
    // fixed, removable, network, cdrom, ramdisk. "" or what is wrong.
    std::string parse(std::string_view list);
    void add(Drive drive);

private:
    std::vector<Drive> m_drives;
};

// Letters for the drives of a system that has none of its own, given in mount order with
// provisional letters: "/" is C; a mount the index records (same root, same identity)
// keeps its letter; a recorded letter whose mount is gone now stays taken (by an unusable
// drive of type DriveNoRootDir with the recorded root), so its rows are never taken for
// another drive's; the other mounts get the free letters from D on, in
// order. Drives left without a letter are dropped. The result is in letter order.
std::vector<Drive> keepLetters(std::vector<Drive> mounts, const std::vector<store::IndexedDrive>& indexed);

// Ticks, one per letter A..Z (index letter - 'A'); A and B never hold a tick.
using DriveSelection = std::bitset<26>;

// Ticks every usable drive of `type` and gives each drive its tab position, counting
// from 40 over the platform's drives in order (letters without a box count too).
void MarkAllDrives(const DriveCatalogue& catalogue, int32_t type, DriveSelection& ticks,
                   std::array<int, 26>* tabIndex = nullptr);
void ClearAllForm(DriveSelection& ticks);

inline constexpr std::array<const char*, 4> kPresetEntries = {"All Available Drives", "All Network Drives",
                                                              "All Local Hard Drives", "None"};
// Runs the preset named `entry` (compared exactly); any other text changes nothing.
void applyPreset(const DriveCatalogue& catalogue, std::string_view entry, DriveSelection& ticks);

// The ticked letters, in alphabetical order.
std::string selectedLetters(const DriveSelection& ticks);

} // namespace qvl::indexer
