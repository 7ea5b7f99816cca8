#include "sys/SystemChecks.h"
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
    EXPECT_DOUBLE_EQ(sys::GetMDACVersion(), 2.5);
    EXPECT_FALSE(sys::GetMDACVersion() < sys::kMinimumDataAccessVersion);
    setVersion("2.10.4202");
    EXPECT_DOUBLE_EQ(sys::GetMDACVersion(), 2.1);
    EXPECT_EQ(sys::formatVersion(sys::GetMDACVersion()), "2.1");
    setVersion("2.80");
    EXPECT_DOUBLE_EQ(sys::GetMDACVersion(), 2.8);
    setVersion("new");
    EXPECT_EQ(sys::GetMDACVersion(), 0);
    setVersion(""); // removed: unreadable
    EXPECT_EQ(sys::GetMDACVersion(), 0);
    EXPECT_EQ(sys::formatVersion(0), "0");
}

TEST(SystemChecks, RegistryPathsNeedAKnownRoot) {
    test::setRegistryValue(platform::kHkeyCurrentUser, "Software\\QVL", "Name", "  value  ");
    EXPECT_EQ(sys::RegReadString("HKEY_CURRENT_USER\\Software\\QVL", "Name"), "value");
    EXPECT_EQ(sys::RegReadString("HKEY_CURRENT_USER", "Name"), "");                // no backslash
    EXPECT_EQ(sys::RegReadString("HKEY_NOWHERE\\Software\\QVL", "Name"), "");      // unknown root
    EXPECT_EQ(sys::RegReadString("hkey_current_user\\Software\\QVL", "Name"), ""); // case matters
    EXPECT_EQ(sys::RegReadString("HKEY_CURRENT_USER\\Software\\QVL", "Other"), "");
}

TEST(SystemChecks, SystemVersionNamesTheSystem) {
    std::string text = sys::GetWindowsVersion();
    EXPECT_NE(text.find(" ("), std::string::npos);
    EXPECT_NE(text.find(") Build "), std::string::npos);
}
