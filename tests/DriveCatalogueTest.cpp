#include "indexer/DriveCatalogue.h"
#include "TestSupport.h"
#include "platform/Platform.h"

#include <atomic>

#include <gtest/gtest.h>

#include <filesystem>

using namespace qvl::indexer;

TEST(DriveCatalogue, ParsesDriveList) {
    DriveCatalogue c;
    ASSERT_EQ(c.parse("C=/srv/data;z:network=/mnt/share;;E:cdrom=/media/cd"), "");
    ASSERT_EQ(c.drives().size(), 3u);
    EXPECT_EQ(c.drives()[0].letter, 'C');
    EXPECT_EQ(c.drives()[0].type, DriveFixed);
    EXPECT_EQ(c.drives()[0].root, "/srv/data");
    EXPECT_EQ(c.drives()[1].letter, 'E'); // kept in letter order
    EXPECT_EQ(c.find('z')->type, DriveRemote);
    EXPECT_EQ(c.find('D'), nullptr);

    // A root relative to the current folder is made whole: "-rf" stored as given became
    // rows "-rf/sub/" that the file manager took for an option.
    ASSERT_EQ(c.parse("C=-rf;D=rel/./x/"), "");
    const std::string here = std::filesystem::current_path().string();
    EXPECT_EQ(c.find('C')->root, here + "/-rf");
    EXPECT_EQ(c.find('D')->root, here + "/rel/x");
}

TEST(DriveCatalogue, RejectsMalformedListsWithAReason) {
    for (const char* bad : {"C", "C:/x", "1=/x", "A=/floppy", "C:disk=/x", "C=", "C=/a;C=/b", "C:=/x"}) {
        DriveCatalogue c;
        std::string why = c.parse(bad);
        EXPECT_NE(why, "") << bad;
        EXPECT_NE(why.find("QVL_DRIVES"), std::string::npos) << why;
        EXPECT_TRUE(c.drives().empty()) << bad;
    }
}

TEST(DriveCatalogue, PresetsTickOnlyUsableDrivesOfTheirTypes) {
    // A removable, C fixed, D CD-ROM, R RAM disk, Z network.
    DriveCatalogue c;
    ASSERT_EQ(c.parse("C=/c;D:cdrom=/d;R:ramdisk=/r;Z:network=/z"), "");
    c.add({'A', DriveRemovable, "/a"});
    EXPECT_STREQ(driveTypeText(DriveCdRom), "CDROM");
    EXPECT_FALSE(c.find('R')->usable());

    DriveSelection ticks;
    std::array<int, 26> tab{};
    MarkAllDrives(c, DriveFixed, ticks, &tab);
    EXPECT_EQ(selectedLetters(ticks), "C");
    EXPECT_EQ(tab['C' - 'A'], 41); // A counts too
    EXPECT_EQ(tab['Z' - 'A'], 44);

    applyPreset(c, "All Available Drives", ticks);
    EXPECT_EQ(selectedLetters(ticks), "CZ"); // removable and CD-ROM are left alone
    applyPreset(c, "All Network Drives", ticks);
    EXPECT_EQ(selectedLetters(ticks), "Z");
    applyPreset(c, "all local hard drives", ticks); // compared exactly: nothing happens
    EXPECT_EQ(selectedLetters(ticks), "Z");
    applyPreset(c, "All Local Hard Drives", ticks);
    EXPECT_EQ(selectedLetters(ticks), "C");
    MarkAllDrives(c, DriveRemovable, ticks); // A has no box: never ticked
    EXPECT_EQ(selectedLetters(ticks), "C");
    applyPreset(c, "None", ticks);
    EXPECT_TRUE(ticks.none());
}

TEST(DriveCatalogue, MachineCatalogueHasRootAsC) {
    unsetenv("QVL_DRIVES");
    DriveCatalogue c;
    ASSERT_EQ(c.load(), "");
    ASSERT_NE(c.find('C'), nullptr);
    EXPECT_EQ(c.find('C')->root, "/");
    for (const Drive& d : c.drives())
        EXPECT_NE(d.root.rfind("/proc", 0), 0u) << d.root; // virtual file systems get no letter
}

namespace {

Drive mount(const std::string& root, const std::string& identity) {
    return {'?', DriveFixed, root, identity};
}

std::string lettersOf(const std::vector<Drive>& drives) {
    std::string out;
    for (const Drive& d : drives)
        out += std::string(1, d.letter) + "=" + d.root + (d.usable() ? "" : "(gone)") + " ";
    return out;
}

} // namespace

TEST(DriveCatalogue, IndexedMountsKeepTheirLettersAcrossMountChanges) {
    qvl::test::TempDir dir;
    qvl::test::makeDirs(dir.path(), "data/x");
    qvl::test::makeDirs(dir.path(), "usb/y");
    const std::string data = (dir.path() / "data").string(), usb = (dir.path() / "usb").string();

    // First start: the mount table gives D and E; both are indexed, and the index
    // file itself is what the next start reads them back from.
    std::vector<Drive> first =
        keepLetters({mount("/", ""), mount(data, "ext4 /dev/sdb1"), mount(usb, "vfat /dev/sdc1")}, {});
    ASSERT_EQ(lettersOf(first), "C=/ D=" + data + " E=" + usb + " ");
    DriveCatalogue catalogue;
    for (Drive d : first)
        if (d.root != "/")
            catalogue.add(d);
    std::atomic<bool> stop{false};
    qvl::store::StoreLocation location = qvl::test::storeIn(dir.path() / "store");
    ASSERT_EQ(qvl::indexer::runIndex(location, catalogue, "DE", stop, {}).error, "");
    std::vector<qvl::store::IndexedDrive> indexed = qvl::store::indexedDrives(location.dbFile().string());
    ASSERT_EQ(indexed.size(), 2u);

    // Next start: the data disk is gone and a share mounted ahead of the stick. The stick
    // keeps E, D stays the data disk's (unusable, its root kept for its rows' headers),
    // the share takes the next free letter.
    std::vector<Drive> second = keepLetters(
        {mount("/", ""), mount("/mnt/share", "nfs4 srv:/x"), mount(usb, "vfat /dev/sdc1")}, indexed);
    EXPECT_EQ(lettersOf(second), "C=/ D=" + data + "(gone) E=" + usb + " F=/mnt/share ");

    // Another stick at the same place is another drive: the old one's letter stays taken.
    std::vector<Drive> third =
        keepLetters({mount("/", ""), mount(data, "ext4 /dev/sdb1"), mount(usb, "vfat /dev/sdd1")}, indexed);
    EXPECT_EQ(lettersOf(third), "C=/ D=" + data + " E=" + usb + "(gone) F=" + usb + " ");

    // An index made from QVL_DRIVES records no identities and reserves nothing.
    std::vector<Drive> plain =
        keepLetters({mount("/", ""), mount("/m", "ext4 /dev/sde1")}, {{'D', "/srv", ""}, {'C', "/srv2", ""}});
    EXPECT_EQ(lettersOf(plain), "C=/ D=/m ");
}

TEST(DriveCatalogue, MoreMountsThanLettersLoseTheLastOnesNotTheRecordedOnes) {
    std::vector<Drive> mounts{mount("/", "")};
    for (int i = 0; i < 30; ++i)
        mounts.push_back(mount("/m" + std::to_string(i), "ext4 /dev/x" + std::to_string(i)));
    // /m29 was indexed as Z: it keeps Z although 29 mounts come before it.
    std::vector<Drive> drives = keepLetters(mounts, {{'Z', "/m29", "ext4 /dev/x29"}});
    ASSERT_EQ(drives.size(), 24u); // C to Z
    EXPECT_EQ(drives.back().letter, 'Z');
    EXPECT_EQ(drives.back().root, "/m29");
    EXPECT_EQ(drives[drives.size() - 2].root, "/m21"); // Y: the 22nd mount; the rest get none
}

TEST(DriveCatalogue, MountTableLinesGiveRootTypeAndSource) {
    std::vector<qvl::platform::Mount> mounts = qvl::platform::parseMountTable(
        "36 1 8:17 / /media/my\\040stick rw shared:1 master:2 - vfat /dev/sdc\\0401 rw\n"
        "37 1 0:5 / /half rw -\n" // no type: passed over
        "38 1 0:44 / /srv/nfs rw - nfs4 srv:/export rw");
    ASSERT_EQ(mounts.size(), 2u);
    EXPECT_EQ(mounts[0].root, "/media/my stick");
    EXPECT_EQ(mounts[0].fsType, "vfat");
    EXPECT_EQ(mounts[0].source, "/dev/sdc 1");
    EXPECT_EQ(mounts[0].device, "8:17");
    EXPECT_EQ(mounts[1].source, "srv:/export");
}
