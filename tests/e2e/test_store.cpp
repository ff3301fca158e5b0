// The registry store and the table load and save, against the real registry: exact types and
// sizes, what a first run leaves behind, and hand-edited values brought into range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>

#include "../../src/tables/launcher_state.h"
#include "../../src/tables/store.h"
#include "../../src/tables/stored_value.h"
#include "../../src/settings/settings_rules.h"
#include "harness.h"

using namespace qx;

namespace {

class Store : public RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        std::memset(&LauncherState, 0, sizeof(LauncherState));
    }
    LaunchTable& Files() { return LauncherState.FileTable; }
    LaunchTable& Scripts() { return LauncherState.ScriptTable; }
    // The entries a table loaded, each as "title|target".
    static std::vector<std::string> Loaded(const LaunchTable& table) {
        std::vector<std::string> entries;
        for (int i = 0; i < table.count; ++i)
            entries.push_back(std::string(table.entries[i].title) + "|" + table.entries[i].target);
        return entries;
    }
    void Put(LaunchTable& table, int i, const std::string& title, const std::string& target) {
        std::strcpy(table.entries[i].title, title.c_str());
        std::strcpy(table.entries[i].target, target.c_str());
    }
};

TEST_F(Store, FirstRunCreatesBothKeysEmptyAndWritesNothing) {
    LoadLaunchTables();
    for (const char* key : {kFileKey, kScriptKey})
        EXPECT_TRUE(KeyExists(key) && ValueNames(key).empty()) << key << ": missing, or not empty";
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
    EXPECT_EQ(std::make_pair(Files().count, Scripts().count), std::make_pair(0, 0));
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
    EXPECT_EQ(Loaded(Files()), (std::vector<std::string>{"one|one.exe", "|two.exe", "three|"}));
}

TEST_F(Store, SaveWritesEveryValueWithItsExactTypeAndSize) {
    Files().count = 2;
    Put(Files(), 0, std::string(79, 'T'), "notepad.exe");
    Put(Files(), 1, Sjis("メモ帳"), "");
    Scripts().count = 1;
    Put(Scripts(), 0, "diary", "diary.scr");
    SaveLaunchTables();
    // A title of 80 bytes with its NUL, an empty target as a one-byte REG_SZ.
    ExpectStoredTables({{std::string(79, 'T'), "notepad.exe"}, {Sjis("メモ帳"), ""}}, {{"diary", "diary.scr"}});
    EXPECT_EQ(ValueNames(kFileKey).size(), 5u);
    EXPECT_EQ(ValueNames(kScriptKey).size(), 3u);
    EXPECT_EQ(LauncherState.StoreKey, nullptr);
    // And it all loads back.
    std::memset(&LauncherState, 0, sizeof(LauncherState));
    LoadLaunchTables();
    EXPECT_EQ(Loaded(Files()), (std::vector<std::string>{std::string(79, 'T') + "|notepad.exe", Sjis("メモ帳") + "|"}));
}

// A key that may only be read loads whole; its save is reported as failed and leaves it as it
// was, while the other table is saved all the same.
// Either key alone: it loads whole and keeps what it holds, the other table is saved, and the
// save reports the failure.
TEST_F(Store, AKeyThatMayOnlyBeReadLoadsWholeAndItsSaveReportsFailure) {
    for (bool programsLocked : {true, false}) {
        SCOPED_TRACE(programsLocked ? "program key" : "script key");
        ResetRegistry();
        std::memset(&LauncherState, 0, sizeof(LauncherState)); // a fresh terminal
        ConfigureTables({{"t", "c.exe"}}, {{"s", "s.scr"}});
        ReadOnlyKey locked(programsLocked ? kFileKey : kScriptKey);
        LoadLaunchTables();
        EXPECT_EQ(Loaded(Files()), std::vector<std::string>{"t|c.exe"});
        Put(Files(), 0, "changed", "changed.exe");
        Put(Scripts(), 0, "changed", "changed.scr");
        EXPECT_FALSE(SaveLaunchTables());
        ExpectStoredTables({programsLocked ? EntryList::value_type{"t", "c.exe"} : EntryList::value_type{"changed", "changed.exe"}},
                           {programsLocked ? EntryList::value_type{"changed", "changed.scr"} : EntryList::value_type{"s", "s.scr"}});
        EXPECT_EQ(LauncherState.StoreKey, nullptr);
    }
}

TEST_F(Store, ShrunkTableLeavesOldValuesAndLoadsBackShort) {
    Files().count = 4;
    for (int i = 0; i < 4; ++i)
        Put(Files(), i, "t" + std::to_string(i), "c" + std::to_string(i));
    SaveLaunchTables();
    Files().count = 2;
    SaveLaunchTables();
    ExpectStoredCount(kFileKey, 2);
    ExpectStoredString(kFileKey, "Title03", "t3");
    ExpectStoredString(kFileKey, "Command02", "c2");
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
    ExpectStoredString(kFileKey, "Title00", "program title");
    ExpectStoredString(kScriptKey, "Title00", "changed");
}

TEST_F(Store, HandEditedValuesAreBroughtIntoTheirFields) {
    StoreHandEditedValues();
    LoadLaunchTables();
    // Command03 is too long (cut, it would be another command), Command04 too large to read.
    EXPECT_EQ(Loaded(Files()), (std::vector<std::string>{std::string(79, 'A') + "|", std::string(79, 'B') + "|", "DCBA|" + std::string(259, 'c'),
                                                         std::string(78, 'C') + "|", Sjis("メモ帳") + "|"}));
    EXPECT_EQ(Scripts().count, 0);
    // Saving writes the loaded count, never the stored one.
    SaveLaunchTables();
    ExpectStoredCount(kFileKey, 5);
    ExpectStoredCount(kScriptKey, 0);
}

// Each limit of the load, both sides of it, the sizes written out here: a title of 79 bytes
// loads whole, one of 80 is cut; a target of 259 loads whole, one of 260 is dropped; a value of
// 1,024 bytes is read and cut, one of 1,025 is too large to read. Slots 0 and 4 of both tables
// hold full-length entries.
TEST_F(Store, ValuesAtEachLimitLoadOnTheirSideOfIt) {
    const std::string t79(79, 't'), t80(80, 'u'), c259(259, 'c'), c260(260, 'd'), r1023(1023, 'r'), r1024(1024, 's');
    const EntryList rows = {{t79, c259}, {t80, c260}, {r1023, r1023}, {r1024, r1024}, {t79, c259}};
    ConfigureTables(rows, EntryList(rows.rbegin(), rows.rend()));
    LoadLaunchTables();
    const std::vector<std::string> loaded = {t79 + "|" + c259, std::string(79, 'u') + "|", std::string(79, 'r') + "|", "|", t79 + "|" + c259};
    EXPECT_EQ(Loaded(Files()), loaded);
    EXPECT_EQ(Loaded(Scripts()), std::vector<std::string>(loaded.rbegin(), loaded.rend()));
}

// The keys outlive the session: under a volatile key only volatile keys can be made, so a
// lasting key made under the add-on's shows that it is a lasting one.
TEST_F(Store, KeysAreMadeToOutliveTheSession) {
    LoadLaunchTables();
    HKEY key, child;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Koravi\\Volatile", 0, NULL, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, NULL, &key, NULL), ERROR_SUCCESS);
    EXPECT_NE(RegCreateKeyExA(key, "lasting", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &child, NULL), ERROR_SUCCESS) << "the probe cannot tell";
    RegCloseKey(key);
    for (const char* path : {kFileKey, kScriptKey}) {
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (path + std::string("\\lasting")).c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &child, NULL), ERROR_SUCCESS) << path << " is volatile";
        RegCloseKey(child);
    }
}

// The registry calls of a load and a save, each with the arguments that stay fixed: the key
// made lasting with all access and no security, the count read and written before any entry,
// each title before its target.
std::vector<std::string> calls;
decltype(&RegCreateKeyExA) createKey;
decltype(&RegQueryValueExA) queryValue;
decltype(&RegSetValueExA) setValue;
decltype(&RegCloseKey) closeKey;

template <class... Parts> void Record(const Parts&... parts) {
    std::ostringstream line;
    ((line << parts << ' '), ...);
    calls.push_back(line.str());
}

LONG WINAPI CreateKey(HKEY root, LPCSTR path, DWORD reserved, LPSTR cls, DWORD options, REGSAM access,
                      LPSECURITY_ATTRIBUTES security, PHKEY key, LPDWORD disposition) {
    Record("create", root == HKEY_CURRENT_USER ? "HKCU" : "other", path, reserved, cls ? cls : "-", options,
           access == KEY_ALL_ACCESS ? "all" : "some", security ? "security" : "-");
    return createKey(root, path, reserved, cls, options, access, security, key, disposition);
}
LONG WINAPI QueryValue(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    Record("query", name, reserved ? "reserved" : "-", *size);
    return queryValue(key, name, reserved, type, data, size);
}
std::string refusedValue; // a value the registry refuses to set
LONG WINAPI SetValue(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
    Record("set", name, reserved, type, size);
    return name == refusedValue ? ERROR_ACCESS_DENIED : setValue(key, name, reserved, type, data, size);
}
LONG WINAPI CloseKey(HKEY key) {
    Record("close");
    return closeKey(key);
}

TEST_F(Store, LoadAndSaveCallTheRegistryInTheirOrderWithFixedArguments) {
    ConfigureTables({{"t", "c.exe"}}, {});
    // This program's own imports: the store is linked into it.
    HookImport(createKey, "ADVAPI32.dll", "RegCreateKeyExA", CreateKey, nullptr);
    HookImport(queryValue, "ADVAPI32.dll", "RegQueryValueExA", QueryValue, nullptr);
    HookImport(setValue, "ADVAPI32.dll", "RegSetValueExA", SetValue, nullptr);
    HookImport(closeKey, "ADVAPI32.dll", "RegCloseKey", CloseKey, nullptr);
    LoadLaunchTables();
    EXPECT_TRUE(SaveLaunchTables());
    auto open = [](const char* path) { return "create HKCU " + std::string(path) + " 0 - 0 all - "; };
    const std::string scratch = std::to_string(kReadScratchSize);
    EXPECT_EQ(calls, (std::vector<std::string>{
                         open(kFileKey), "query Count - 4 ", "query Title00 - " + scratch + " ", "query Command00 - " + scratch + " ", "close ",
                         open(kScriptKey), "query Count - 4 ", "close ",
                         open(kFileKey), "query Count - 4 ", "set Count 0 4 4 ", "query Title00 - " + scratch + " ",
                         "query Command00 - " + scratch + " ", "set Title00 0 1 2 ", "set Command00 0 1 6 ", "close ",
                         open(kScriptKey), "query Count - 4 ", "set Count 0 4 4 ", "close "}));
    refusedValue = "Command00"; // any one value refused fails the save
    EXPECT_FALSE(SaveLaunchTables());
}

// Two terminals on one store, each a copy of the add-on's state swapped in around its steps,
// against the real registry; the store starts as "a:a.exe,b:b.exe" with "x:x.exe" left past the
// count by an entry removed long ago. Steps: "Al" terminal A loads, "Ao" its sheet opens on what
// is stored (the menus' rows kept as at the settings command), "Ac" it closes and the save
// succeeds ("Af": is reported failed), "A^" the close needs a restart, "A1=t:c" its sheet sets
// row 1 (count: the leading titled rows, as a page applies), "A1c=c" only the target, "A?rows"
// what its sheet shows, "!Name" refuses Name's writes ("!" lifts it), "#" locks the key even
// against reading, until the next "#". "S" first: the script table. Each ends with what a new
// terminal, Z, then loads.
TEST_F(Store, TimelinesOfTwoTerminalsKeepEveryEntryWholeAndEveryAddition) {
    HookImport(setValue, "ADVAPI32.dll", "RegSetValueExA", SetValue, nullptr);
    const char* timelines[] = {
        "Al Bl Ao A2=c:c.exe Ac Bo B?a:a.exe,b:b.exe,c:c.exe B3=d:d.exe Bc Zl Z?a:a.exe,b:b.exe,c:c.exe,d:d.exe",
        "Al Bl Ao A1=B:B.exe Ac Bo B?a:a.exe,B:B.exe B1c=b2.exe Bc Zl Z?a:a.exe,B:b2.exe",
        "Al Bl Bo Ao A1=B:B.exe Ac B1c=b2.exe Bc Zl Z?a:a.exe,b:b2.exe", // the later close wins the entry
        "Al Bl Bo Ao A1c=b3.exe Ac B0c=a2.exe Bc Zl Z?a:a2.exe,b:b3.exe", // and only that entry
        "Al Bl Ao A1=: Ac Bo B?a:a.exe B0c=a2.exe Bc Zl Z?a:a2.exe",
        "Al Bl Bo Ao A1=: Ac B1c=b2.exe Bc Zl Z?a:a.exe,b:b2.exe", // an edit past the stored count sets it
        "Al Bl Ao A1=: Ac Bo B1=c:c.exe Bc Zl Z?a:a.exe,c:c.exe",
        "Al Bl Bo Ao A0=b:b.exe A1=: Ac B2=c:c.exe Bc Zl Z?a:a.exe,b:b.exe,c:c.exe", // its count brings its rows
        "Al Bl Ao A2=c:c.exe Ac Bo Bc Zl Z?a:a.exe,b:b.exe,c:c.exe", // Cancel
        "Al Bl Bo Ao A2=c:c.exe Ac Bc Zl Z?a:a.exe,b:b.exe,c:c.exe",
        "Bl Bo B1c=b2.exe !Command01 Bf ! Bo B?a:a.exe,b:b2.exe Bc Zl Z?a:a.exe,b:b2.exe", // retried
        "Al Bl Bo B1c=b2.exe !Command01 Bf ! Ao A1c=b3.exe Ac Bo B?a:a.exe,b:b3.exe Bc Zl Z?a:a.exe,b:b3.exe",
        "Al Bl Bo B1c=b2.exe Bc Ao A1c=b.exe Ac Bo B?a:a.exe,b:b.exe Bc Zl Z?a:a.exe,b:b.exe", // put back
        "Al Bl # Bo B?a:a.exe,b:b.exe Bf # Zl Z?a:a.exe,b:b.exe", // a key that tells nothing changes nothing
        // A refused write never mixes an entry, never lets a count take in a row not wholly
        // written, and is retried; another writer's change to that entry ends the retry.
        "Al Ao A2=c:c.exe !Title02 Af ! Zl Z?a:a.exe,b:b.exe Ao A?a:a.exe,b:b.exe,c:c.exe Ac Zl Z?a:a.exe,b:b.exe,c:c.exe",
        "S Al Ao A1=B:B.scr !ScriptFile01 Af ! Zl Z?a:a.exe,b:b.exe Ao A?a:a.exe,B:B.scr Ac Zl Z?a:a.exe,B:B.scr",
        "Al Bl Ao A1=B:b.exe !Title01 Af ! Bo B1c=b2.exe Bc Ao A?a:a.exe,b:b2.exe Ac Zl Z?a:a.exe,b:b2.exe",
        "Al Bl Ao A1=: !Count Af ! Bo B1=Z:z.exe Bc Ao A?a:a.exe,Z:z.exe Ac Zl Z?a:a.exe,Z:z.exe",
        "Al Bl Ao A2=c:c.exe !Count Af ! Bo B0=A:a.exe Bc Ao A?A:a.exe,b:b.exe,c:c.exe Ac Zl Z?A:a.exe,b:b.exe,c:c.exe",
        "Al Bl Ao A1=B:B.exe Ac # Bo B1c=b2.exe # Bf Bo B?a:a.exe,B:B.exe Bc Zl Z?a:a.exe,B:B.exe",
        "Al Bl Ao A1=: Ac Bo B1=b:b.exe Bc Ao A?a:a.exe,b:b.exe Zl Z?a:a.exe,b:b.exe", // removed, put back
        "Al Bl Bo B1=B:b.exe Bc Ao Ac A^", // another's rename needs a restart, Cancel too
        "Al Ao Bl Bo B1=B:b.exe Bc A0c=a2.exe Ac Zl Z?a:a2.exe,B:b.exe Ao A?a:a2.exe,B:b.exe", // as a hand edit would
    };
    for (const char* timeline : timelines) {
        SCOPED_TRACE(timeline);
        bool scripts = timeline[0] == 'S';
        const char* key = scripts ? kScriptKey : kFileKey;
        auto table = [&]() -> LaunchTable& { return scripts ? Scripts() : Files(); };
        auto rows = [&] {
            std::string text;
            for (int i = 0; i < table().count; ++i)
                text += (i ? "," : "") + std::string(table().entries[i].title) + ":" + table().entries[i].target;
            return text;
        };
        ResetRegistry();
        const EntryList start{{"a", "a.exe"}, {"b", "b.exe"}};
        ConfigureTables(scripts ? EntryList{} : start, scripts ? start : EntryList{});
        SetString(key, "Title02", "x");
        SetString(key, scripts ? "ScriptFile02" : "Command02", "x.exe");
        std::map<char, LauncherStateRecord> terminals;
        std::map<char, LaunchTable> menus; // the rows as at the settings command
        std::optional<ReadOnlyKey> locked;
        std::istringstream steps(timeline);
        for (std::string step; steps >> step;) {
            if (step == "S")
                continue;
            if (step == "#") {
                locked ? locked.reset() : (void)locked.emplace(key, 0);
                continue;
            }
            if (step[0] == '!') {
                refusedValue = step.substr(1);
                continue;
            }
            LauncherState = terminals[step[0]];
            char op = step[1];
            int row = op - '0';
            std::size_t colon = step.find(':');
            if (op == 'l')
                LoadLaunchTables();
            else if (op == 'o') {
                menus[step[0]] = table();
                RefreshLaunchTables();
            } else if (op == 'c' || op == 'f')
                EXPECT_EQ(SaveLaunchTables(), op == 'c');
            else if (op == '^')
                EXPECT_TRUE(NeedsRestart(menus[step[0]].count, menus[step[0]].entries, table(), 0, nullptr, Scripts()));
            else if (op == '?')
                EXPECT_EQ(rows(), step.substr(2));
            else if (step[2] == 'c')
                std::strcpy(table().entries[row].target, step.substr(4).c_str());
            else
                Put(table(), row, step.substr(3, colon - 3), step.substr(colon + 1));
            if (std::isdigit(op)) // a titled row joins the table, an emptied one ends it
                table().count = table().entries[row].title[0] ? std::max(table().count, row + 1) : std::min(table().count, row);
            terminals[step[0]] = LauncherState;
        }
    }
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
