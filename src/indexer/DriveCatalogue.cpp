#include "indexer/DriveCatalogue.h"

#include "platform/Platform.h"

#include <algorithm>
#include <cctype>

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
        add({letter, type, std::string(root)});
    }
    return {};
}

std::string DriveCatalogue::load() {
    std::string list = platform::getEnv("QVL_DRIVES");
    if (!list.empty())
        return parse(list);
    m_drives.clear();
    for (const platform::SystemDrive& d : platform::systemDrives())
        add({d.letter, d.type, d.root});
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
