#include "indexer/DriveCatalogue.h"

#include <gtest/gtest.h>

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
