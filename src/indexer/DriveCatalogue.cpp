#include "indexer/DriveCatalogue.h"

#include "platform/Platform.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace qvl::indexer {

const char* driveTypeText(int32_t type) {
    switch (type) {
    case DriveRemovable:
        return "Floppy";
    case DriveFixed:
        return "Hard Drive";
    case DriveRemote:
        return "Network Drive";
    case DriveCdRom:
        return "CDROM";
    default:
        return "";
    }
}

const Drive* DriveCatalogue::find(char letter) const {
    char up = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (const Drive& d : m_drives)
        if (d.letter == up)
            return &d;
    return nullptr;
}

void DriveCatalogue::add(Drive drive) {
    m_drives.erase(std::remove_if(m_drives.begin(), m_drives.end(),
                                  [&](const Drive& d) { return d.letter == drive.letter; }),
                   m_drives.end());
    auto at = std::upper_bound(m_drives.begin(), m_drives.end(), drive,
                               [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    m_drives.insert(at, std::move(drive));
}

namespace {

// A root given relative to the current folder, made whole: stored as it was given, a root
// "-rf" gave rows "-rf/sub/" that a file manager took for an option.
std::string absoluteRoot(std::string_view root) {
    const bool absolute = root[0] == '/' || root[0] == '\\' ||
                          (root.size() >= 3 && root[1] == ':' && (root[2] == '\\' || root[2] == '/'));
    if (absolute)
        return std::string(root);
    std::error_code ec;
    std::filesystem::path whole = (std::filesystem::current_path(ec) / std::string(root)).lexically_normal();
    std::string text = whole.string();
    if (text.size() > 1 && (text.back() == '/' || text.back() == '\\'))
        text.pop_back();
    return text;
}

} // namespace

std::string DriveCatalogue::parse(std::string_view list) {
    m_drives.clear();
    static constexpr std::pair<std::string_view, DriveType> kTypes[] = {
        {"fixed", DriveFixed}, {"removable", DriveRemovable}, {"network", DriveRemote},
        {"cdrom", DriveCdRom}, {"ramdisk", DriveRamDisk},
    };
    std::string seen;
    while (!list.empty()) {
        size_t semi = list.find(';');
        std::string_view entry = list.substr(0, semi);
        list = semi == std::string_view::npos ? std::string_view() : list.substr(semi + 1);
        if (entry.empty())
            continue;
        auto fail = [&](const std::string& why) {
            m_drives.clear();
            return "QVL_DRIVES: entry '" + std::string(entry) + "': " + why;
        };
        size_t eq = entry.find('=');
        if (eq == std::string_view::npos)
            return fail("expected LETTER=ROOT or LETTER:TYPE=ROOT");
        std::string_view head = entry.substr(0, eq), root = entry.substr(eq + 1);
        if (head.empty() || !std::isalpha(static_cast<unsigned char>(head[0])))
            return fail("a drive letter must come first");
        char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(head[0])));
        if (letter < 'C')
            return fail("drive letters run from C to Z");
        if (seen.find(letter) != std::string::npos)
            return fail(std::string("drive ") + letter + " is named twice");
        DriveType type = DriveFixed;
        if (head.size() > 1) {
            if (head[1] != ':' || head.size() == 2)
                return fail("expected LETTER:TYPE before '='");
            std::string_view name = head.substr(2);
            auto it = std::find_if(std::begin(kTypes), std::end(kTypes),
                                   [&](const auto& t) { return t.first == name; });
            if (it == std::end(kTypes))
                return fail("unknown type '" + std::string(name) +
                            "' (fixed, removable, network, cdrom or ramdisk)");
            type = it->second;
        }
        if (root.empty())
            return fail("the root folder is missing");
        seen += letter;
        add({letter, type, absoluteRoot(root)});
    }
    return {};
}

std::vector<Drive> keepLetters(std::vector<Drive> mounts, const std::vector<store::IndexedDrive>& indexed) {
    std::bitset<26> taken;
    auto take = [&](char letter) { taken.set(static_cast<size_t>(letter - 'A')); };
    auto isTaken = [&](char letter) { return taken.test(static_cast<size_t>(letter - 'A')); };
    take('A');
    take('B');
    take('C');
    // Only records with an identity came from the mount table; a QVL_DRIVES index has none.
    for (const store::IndexedDrive& known : indexed)
        if (!known.identity.empty() && known.letter > 'C' && known.letter <= 'Z')
            take(known.letter);
    std::vector<bool> placed(mounts.size(), false);
    for (size_t i = 0; i < mounts.size(); ++i) {
        Drive& d = mounts[i];
        if (d.root == "/") {
            d.letter = 'C';
            placed[i] = true;
            continue;
        }
        for (const store::IndexedDrive& known : indexed)
            if (!known.identity.empty() && known.letter > 'C' && known.root == d.root &&
                known.identity == d.identity) {
                d.letter = known.letter;
                placed[i] = true;
                break;
            }
    }
    char next = 'D';
    for (size_t i = 0; i < mounts.size(); ++i) {
        if (placed[i])
            continue;
        while (next <= 'Z' && isTaken(next))
            ++next;
        mounts[i].letter = next <= 'Z' ? next++ : 0;
    }
    std::erase_if(mounts, [](const Drive& d) { return d.letter == 0; });
    // A recorded drive not mounted now stays in the catalogue, unusable, so that its rows
    // still show the root they were found under.
    for (const store::IndexedDrive& known : indexed) {
        bool mounted = std::any_of(mounts.begin(), mounts.end(),
                                   [&](const Drive& d) { return d.letter == known.letter; });
        if (!known.identity.empty() && known.letter > 'C' && known.letter <= 'Z' && !mounted)
            mounts.push_back({known.letter, DriveNoRootDir, known.root, known.identity});
    }
    std::sort(mounts.begin(), mounts.end(),
              [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return mounts;
}

std::string DriveCatalogue::load(const std::vector<store::IndexedDrive>& indexed) {
    std::string list = platform::getEnv("QVL_DRIVES");
    if (!list.empty())
        return parse(list);
    m_drives.clear();
    std::vector<Drive> drives;
    for (const platform::SystemDrive& d : platform::systemDrives())
        drives.push_back({d.letter, d.type, d.root, d.identity});
#ifndef _WIN32
    drives = keepLetters(std::move(drives), indexed);
#else
    (void)indexed; // the system's letters
#endif
    for (Drive& d : drives)
        add(std::move(d));
    return {};
}

void MarkAllDrives(const DriveCatalogue& catalogue, int32_t type, DriveSelection& ticks,
                   std::array<int, 26>* tabIndex) {
    int counter = 40;
    for (const Drive& d : catalogue.drives()) {
        int i = d.letter - 'A';
        if (i < 0 || i >= 26)
            continue;
        if (d.type == type && d.usable() && d.letter >= 'C')
            ticks.set(i);
        if (tabIndex)
            (*tabIndex)[i] = counter;
        ++counter;
    }
}

void ClearAllForm(DriveSelection& ticks) {
    ticks.reset();
}

void applyPreset(const DriveCatalogue& catalogue, std::string_view entry, DriveSelection& ticks) {
    if (entry == "All Local Hard Drives") {
        ClearAllForm(ticks);
        MarkAllDrives(catalogue, DriveFixed, ticks);
    } else if (entry == "All Network Drives") {
        ClearAllForm(ticks);
        MarkAllDrives(catalogue, DriveRemote, ticks);
    } else if (entry == "All Available Drives") {
        ClearAllForm(ticks);
        MarkAllDrives(catalogue, DriveFixed, ticks);
        MarkAllDrives(catalogue, DriveRemote, ticks);
    } else if (entry == "None") {
        ClearAllForm(ticks);
    }
}

std::string selectedLetters(const DriveSelection& ticks) {
    std::string letters;
    for (int i = 0; i < 26; ++i)
        if (ticks.test(i))
            letters += static_cast<char>('A' + i);
    return letters;
}

} // namespace qvl::indexer
