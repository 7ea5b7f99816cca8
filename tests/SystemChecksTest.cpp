#include "platform/SystemChecks.h"
#include "RegistryWrite.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

using namespace qvl;

namespace {

void setVersion(const std::string& text) {
    test::setRegistryValue(platform::kHkeyLocalMachine, "SOFTWARE\\Microsoft\\DataAccess", "Version", text);
}

} // namespace

TEST(SystemChecks, DataAccessVersionReadsItsFirstFourCharacters) {
    setVersion("2.50.4403.12");
    EXPECT_DOUBLE_EQ(platform::GetMDACVersion(), 2.5);
    EXPECT_FALSE(platform::GetMDACVersion() < platform::kMinimumDataAccessVersion);
    setVersion("2.10.4202");
    EXPECT_DOUBLE_EQ(platform::GetMDACVersion(), 2.1);
    EXPECT_EQ(platform::formatVersion(platform::GetMDACVersion()), "2.1");
    setVersion("2.80");
    EXPECT_DOUBLE_EQ(platform::GetMDACVersion(), 2.8);
    setVersion("6.0.6001.18000"); // as Windows Vista and later have it
    EXPECT_DOUBLE_EQ(platform::GetMDACVersion(), 6.0);
    setVersion("new");
    EXPECT_EQ(platform::GetMDACVersion(), 0);
    setVersion(""); // removed: unreadable
    EXPECT_EQ(platform::GetMDACVersion(), 0);
    EXPECT_EQ(platform::formatVersion(0), "0");
}

TEST(SystemChecks, RegistryPathsNeedAKnownRoot) {
    test::setRegistryValue(platform::kHkeyCurrentUser, "Software\\QVL", "Name", "  value  ");
    EXPECT_EQ(platform::RegReadString("HKEY_CURRENT_USER\\Software\\QVL", "Name"), "value");
    EXPECT_EQ(platform::RegReadString("HKEY_CURRENT_USER", "Name"), "");                // no backslash
    EXPECT_EQ(platform::RegReadString("HKEY_NOWHERE\\Software\\QVL", "Name"), "");      // unknown root
    EXPECT_EQ(platform::RegReadString("hkey_current_user\\Software\\QVL", "Name"), ""); // case matters
    EXPECT_EQ(platform::RegReadString("HKEY_CURRENT_USER\\Software\\QVL", "Other"), "");
}

TEST(SystemChecks, SystemVersionNamesTheSystem) {
    std::string text = platform::GetWindowsVersion();
    EXPECT_NE(text.find(" ("), std::string::npos);
    EXPECT_NE(text.find(") Build "), std::string::npos);
}
