// The registry store and the table load and save, against the real registry: exact types and
// sizes, what a first run leaves behind, and hand-edited values brought into range.
#include <gtest/gtest.h>

#include <cstring>

#include "../../src/tables/launcher_state.h"
#include "../../src/tables/store.h"
#include "harness.h"

using namespace qx;

namespace {

class Store : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetRegistry();
        std::memset(&LauncherState, 0, sizeof(LauncherState));
    }
    void TearDown() override { ResetRegistry(); }
    LaunchTable& Files() { return LauncherState.FileTable; }
    LaunchTable& Scripts() { return LauncherState.ScriptTable; }
    void Put(LaunchTable& table, int i, const std::string& title, const std::string& target) {
        std::strcpy(table.entries[i].title, title.c_str());
        std::strcpy(table.entries[i].target, target.c_str());
    }
    void ExpectSz(const char* key, const char* name, const std::string& text) {
        RegValue v = ReadValue(key, name);
        ASSERT_TRUE(v.exists) << name;
        EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ)) << name;
        EXPECT_EQ(v.data, text + '\0') << name; // the NUL is stored and counted
    }
};

TEST_F(Store, FirstRunCreatesBothKeysEmptyAndWritesNothing) {
    LoadLaunchTables();
    EXPECT_TRUE(KeyExists(kFileKey));
    EXPECT_TRUE(KeyExists(kScriptKey));
    EXPECT_TRUE(ValueNames(kFileKey).empty());
    EXPECT_TRUE(ValueNames(kScriptKey).empty());
    EXPECT_EQ(Files().count, 0);
    EXPECT_EQ(Scripts().count, 0);
    EXPECT_EQ(LauncherState.StoreKey, nullptr);
}

TEST_F(Store, CountOfAnotherTypeOrSizeReadsAsZero) {
    SetString(kFileKey, "Count", "2");
    SetString(kFileKey, "Title00", "a");
    DWORD64 wide = 2;
    SetRaw(kScriptKey, "Count", REG_QWORD, &wide, sizeof(wide));
    LoadLaunchTables();
    EXPECT_EQ(Files().count, 0);
    EXPECT_EQ(Scripts().count, 0);
    WORD shortCount = 2;
    SetRaw(kFileKey, "Count", REG_DWORD, &shortCount, sizeof(shortCount));
    LoadLaunchTables();
    EXPECT_EQ(Files().count, 0);
}

TEST_F(Store, MissingValuesLeaveFieldsEmptyAndTheEntryStillCounts) {
    SetDword(kFileKey, "Count", 3);
    SetString(kFileKey, "Title00", "one");
    SetString(kFileKey, "Command00", "one.exe");
    SetString(kFileKey, "Command01", "two.exe"); // no Title01
    SetString(kFileKey, "Title02", "three");     // no Command02
    // Stale text in the slots must not survive a missing value.
    Put(Files(), 1, "stale", "stale");
    Put(Files(), 2, "stale", "stale");
    LoadLaunchTables();
    ASSERT_EQ(Files().count, 3);
    EXPECT_STREQ(Files().entries[0].title, "one");
    EXPECT_STREQ(Files().entries[1].title, "");
    EXPECT_STREQ(Files().entries[1].target, "two.exe");
    EXPECT_STREQ(Files().entries[2].title, "three");
    EXPECT_STREQ(Files().entries[2].target, "");
}

TEST_F(Store, SaveWritesEveryValueWithItsExactTypeAndSize) {
    Files().count = 2;
    Put(Files(), 0, std::string(79, 'T'), "notepad.exe");
    Put(Files(), 1, Sjis("メモ帳"), "");
    Scripts().count = 1;
    Put(Scripts(), 0, "diary", "diary.scr");
    SaveLaunchTables();
    RegValue count = ReadValue(kFileKey, "Count");
    EXPECT_EQ(count.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(count.data, std::string("\x02\0\0\0", 4));
    ExpectSz(kFileKey, "Title00", std::string(79, 'T')); // 80 bytes
    ExpectSz(kFileKey, "Command00", "notepad.exe");
    ExpectSz(kFileKey, "Title01", Sjis("メモ帳"));
    ExpectSz(kFileKey, "Command01", ""); // a one-byte REG_SZ
    EXPECT_EQ(ReadValue(kScriptKey, "Count").data, std::string("\x01\0\0\0", 4));
    ExpectSz(kScriptKey, "Title00", "diary");
    ExpectSz(kScriptKey, "ScriptFile00", "diary.scr");
    EXPECT_EQ(ValueNames(kFileKey).size(), 5u);
    EXPECT_EQ(ValueNames(kScriptKey).size(), 3u);
    EXPECT_EQ(LauncherState.StoreKey, nullptr);
    // And it all loads back.
    std::memset(&LauncherState, 0, sizeof(LauncherState));
    LoadLaunchTables();
    ASSERT_EQ(Files().count, 2);
    EXPECT_EQ(std::string(Files().entries[0].title), std::string(79, 'T'));
    EXPECT_EQ(std::string(Files().entries[1].title), Sjis("メモ帳"));
}

TEST_F(Store, ShrunkTableLeavesOldValuesAndLoadsBackShort) {
    Files().count = 4;
    for (int i = 0; i < 4; ++i)
        Put(Files(), i, "t" + std::to_string(i), "c" + std::to_string(i));
    SaveLaunchTables();
    Files().count = 2;
    SaveLaunchTables();
    EXPECT_EQ(ReadValue(kFileKey, "Count").data, std::string("\x02\0\0\0", 4));
    ExpectSz(kFileKey, "Title03", "t3");
    ExpectSz(kFileKey, "Command02", "c2");
    std::memset(&LauncherState, 0, sizeof(LauncherState));
    LoadLaunchTables();
    EXPECT_EQ(Files().count, 2);
}

TEST_F(Store, TheTwoKeysKeepTheirOwnTitles) {
    ConfigureTables({{"program title", "p.exe"}}, {{"script title", "s.scr"}});
    LoadLaunchTables();
    EXPECT_STREQ(Files().entries[0].title, "program title");
    EXPECT_STREQ(Scripts().entries[0].title, "script title");
    std::strcpy(Scripts().entries[0].title, "changed");
    SaveLaunchTables();
    ExpectSz(kFileKey, "Title00", "program title");
    ExpectSz(kScriptKey, "Title00", "changed");
}

TEST_F(Store, HandEditedValuesAreBroughtIntoTheirFields) {
    SetDword(kFileKey, "Count", 9);
    SetDword(kScriptKey, "Count", static_cast<DWORD>(-1));
    SetString(kFileKey, "Title00", std::string(500, 'A'));
    std::string raw(80, 'B');
    SetRaw(kFileKey, "Title01", REG_BINARY, raw.data(), 80);
    DWORD number = 0x00434241;
    SetRaw(kFileKey, "Title02", REG_DWORD, &number, 4);
    SetString(kFileKey, "Command02", std::string(259, 'c'));
    SetString(kFileKey, "Command03", std::string(300, 'd'));
    std::string big(8192, 'e');
    SetRaw(kFileKey, "Command04", REG_SZ, big.c_str(), static_cast<DWORD>(big.size() + 1));
    LoadLaunchTables();
    EXPECT_EQ(Files().count, 5);
    EXPECT_EQ(Scripts().count, 0);
    EXPECT_EQ(std::string(Files().entries[0].title), std::string(79, 'A'));
    EXPECT_EQ(std::string(Files().entries[1].title), std::string(79, 'B'));
    EXPECT_STREQ(Files().entries[2].title, "ABC");
    EXPECT_EQ(std::string(Files().entries[2].target), std::string(259, 'c'));
    EXPECT_STREQ(Files().entries[3].target, ""); // cut, it would be another command
    EXPECT_STREQ(Files().entries[4].target, ""); // too large to cut on the stack
    // Saving writes the loaded count, never the stored one.
    SaveLaunchTables();
    EXPECT_EQ(ReadValue(kFileKey, "Count").data, std::string("\x05\0\0\0", 4));
    EXPECT_EQ(ReadValue(kScriptKey, "Count").data, std::string("\0\0\0\0", 4));
}

TEST_F(Store, UnopenableKeyReadsEmptyAndWritesNothing) {
    CloseStoreKey(); // closing with no key open is harmless
    EXPECT_EQ(ReadStoreDword("Count"), 0);
    char field[8] = "junk";
    EXPECT_TRUE(ReadStoreString("Title00", field, sizeof(field), kCutOverlong));
    EXPECT_STREQ(field, "");
    WriteStoreString("Title00", "x");
    WriteStoreDword("Count", 1);
    EXPECT_FALSE(KeyExists("Software\\Koravi"));
}

} // namespace
