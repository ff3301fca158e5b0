// Failures that Windows can produce and the add-on handles on purpose, forced through its
// imports (for the attach, through the exports it binds): no text reaches the terminal without
// a handle, nothing crashes or leaks, nothing is read or written through a failed call, and
// the next use tries again.
#include <gtest/gtest.h>

#include "cell.h"
#include "processes.h"
#include "settings_session.h"
#include "settings_texts.h"

using namespace qx;

namespace {

using ForcedFailure = SettingsSession;

HANDLE WINAPI NoSection(HANDLE, LPSECURITY_ATTRIBUTES, DWORD, DWORD, DWORD, LPCSTR) { return NULL; }

// Without a channel the terminal gets the groups and ids but no text message (one without a
// handle would read as another message), and a pick sends nothing.
TEST_F(ForcedFailure, AChannelThatCannotBeMadeSendsNoTextAndTheAttachStands) {
    ConfigureTables({{"P", "p.exe"}}, {{"S", "s.scr"}});
    void* made = HookExport("KERNEL32.dll", "CreateFileMappingA", reinterpret_cast<void*>(NoSection));
    Load();
    HookExport("KERNEL32.dll", "CreateFileMappingA", made);
    EXPECT_EQ(Describe(Sent()), Line(HM_ADDFILEITEM, L()) + Line(HM_SETITEMID, 200) + Line(HM_ADDSCRIPTITEM, L()) +
                                    Line(HM_SETITEMID, 300) + Line(HM_SETITEMID, 100));
    frame.journal.clear();
    Pick(300);
    EXPECT_TRUE(frame.journal.empty());
}

LPVOID WINAPI NoView(HANDLE, DWORD, DWORD, DWORD, SIZE_T) { return NULL; }
bool SheetLockExists() {
    HANDLE section = OpenFileMappingA(FILE_MAP_READ, FALSE, "QuolixLaunchSheet");
    return section != NULL && CloseHandle(section);
}

// A lock that cannot be made or mapped must not shut the settings, and the section that was
// made but not mapped is let go at the close (no other terminal would then ever be refused).
TEST_F(ForcedFailure, ASheetLockThatCannotBeHadOpensTheSheetAndHoldsNothingAfter) {
    Attach({{"P", "p.exe"}}, {});
    void* make = HookAddonImport("KERNEL32.dll", "CreateFileMappingA", reinterpret_cast<void*>(NoSection));
    EXPECT_TRUE(RunSheet([](HWND, HWND) {}).sheetShown);
    HookAddonImport("KERNEL32.dll", "CreateFileMappingA", make);
    void* map = HookAddonImport("KERNEL32.dll", "MapViewOfFile", reinterpret_cast<void*>(NoView));
    EXPECT_TRUE(RunSheet([](HWND, HWND) { EXPECT_TRUE(SheetLockExists()); }).sheetShown);
    HookAddonImport("KERNEL32.dll", "MapViewOfFile", map);
    EXPECT_FALSE(SheetLockExists());
}

// Fails as a key that cannot be opened, but hands out a key all the same: an add-on that used
// it without looking at the result would read or write the decoy.
constexpr const char* kDecoyKey = "Software\\Koravi\\Decoy";
LONG WINAPI NoKey(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY key, LPDWORD) {
    RegOpenKeyExA(HKEY_CURRENT_USER, kDecoyKey, 0, KEY_ALL_ACCESS, key);
    return ERROR_ACCESS_DENIED;
}
LONG WINAPI NoReadKey(HKEY, LPCSTR, DWORD, REGSAM, PHKEY key) { return NoKey(NULL, NULL, 0, NULL, 0, 0, NULL, key, NULL); }

// Neither for writing nor for reading.
TEST_F(ForcedFailure, KeysThatCannotBeOpenedLoadEmptyTablesAndSaveNothing) {
    DefaultBoxCaption(); // read while the main thread is free
    ConfigureTables({{"P", "p.exe"}}, {{"S", "s.scr"}});
    SetDword(kDecoyKey, "Count", 1);
    for (const char* name : {"Title00", "Command00", "ScriptFile00"})
        SetString(kDecoyKey, name, "decoy");
    void* create = HookExport("ADVAPI32.dll", "RegCreateKeyExA", reinterpret_cast<void*>(NoKey));
    void* open = HookExport("ADVAPI32.dll", "RegOpenKeyExA", reinterpret_cast<void*>(NoReadKey));
    Load();
    HookExport("ADVAPI32.dll", "RegCreateKeyExA", create);
    HookExport("ADVAPI32.dll", "RegOpenKeyExA", open);
    EXPECT_EQ(Describe(Sent()), Line(HM_SETITEMID, 100) + Line(HM_ADDSETTINGSITEM, L(), kSettingsItem));
    // At the sheet's close: the row typed goes nowhere but is reported; the tables and the decoy
    // stay as stored.
    HookAddonImport("ADVAPI32.dll", "RegCreateKeyExA", reinterpret_cast<void*>(NoKey));
    HookAddonImport("ADVAPI32.dll", "RegOpenKeyExA", reinterpret_cast<void*>(NoReadKey));
    ExpectErrorBox(EditAndConfirm([&](HWND page) { SetRow(page, 0, "typed", "typed.exe"); }).after, kSaveFailed, frame.hwnd());
    ExpectStoredString(kFileKey, "Title00", "P");
    ExpectStoredString(kDecoyKey, "Title00", "decoy");
    ExpectStoredCount(kDecoyKey, 1);
}

// The registry refuses one value and takes the rest (a quota, a policy, a guard of the registry):
// the write of `name` in turn `turn` of a close (0 the program key's, 1 the script key's).
// Wherever it stands, the close shows the one box (then the restart notice, for the row
// removed), the refused value's entry stays wholly as it was, every other is stored, and the
// next close, the refusal lifted, stores it too without a box. The sheet changes every text and
// removes the last of four rows, so that each value differs from what was stored. One process
// per row: the add-on attaches once.
struct Refusal {
    std::string name;
    int turn;
} refused;
decltype(&RegSetValueExA) setValue;
LONG WINAPI RefuseOne(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
    return name == refused.name && refused.turn-- == 0 ? ERROR_ACCESS_DENIED : setValue(key, name, reserved, type, data, size);
}
class RefusedValue : public ForcedFailure, public ::testing::WithParamInterface<Refusal> {};
INSTANTIATE_TEST_SUITE_P(Each, RefusedValue, ::testing::Values(Refusal{"Count", 0}, Refusal{"Title00", 0}, Refusal{"Command01", 0}, Refusal{"Command02", 0},
                                                               Refusal{"Count", 1}, Refusal{"Title00", 1}, Refusal{"ScriptFile01", 0}, Refusal{"ScriptFile02", 0}),
                         [](const ::testing::TestParamInfo<Refusal>& row) { return (row.param.turn ? "Scripts" : "") + row.param.name; });
EntryList Rows(const std::string& stem, const std::string& extension, int n) { // "a0", "a0.exe"...
    EntryList rows;
    for (int i = 0; i < n; ++i)
        rows.push_back({stem + std::to_string(i), stem + std::to_string(i) + extension});
    return rows;
}

TEST_P(RefusedValue, IsReportedOnceAndStoredAtTheNextClose) {
    DefaultBoxCaption(); // read while the main thread is free
    Attach(Rows("a", ".exe", 4), Rows("s", ".scr", 4));
    HookImport(setValue, "ADVAPI32.dll", "RegSetValueExA", RefuseOne);
    refused = GetParam();
    EntryList files = Rows("b", ".exe", 3), scripts = Rows("t", ".scr", 3);
    auto fill = [](HWND page, const EntryList& rows, int targetId) {
        for (int i = 0; i < 4; ++i)
            SetRow(page, i, i < 3 ? rows[i].first : "", i < 3 ? rows[i].second : "", targetId);
    };
    SheetRun run = EditAndConfirm([&](HWND page) {
        fill(page, files, kCommand);
        PostSheetPage(GetParent(page), 1);
        ASSERT_TRUE(WaitUntil([&] { return CurrentPageIndex(GetParent(page)) == 1; }));
        fill(CurrentPage(GetParent(page)), scripts, kScriptFile);
    });
    EXPECT_EQ(std::make_pair(run.boxes, run.after.text), std::make_pair(2, kSaveFailed));
    const std::string& name = GetParam().name;
    const bool script = GetParam().turn || name[0] == 'S';
    const EntryList old = script ? Rows("s", ".scr", 4) : Rows("a", ".exe", 4), saved[] = {files, scripts};
    EntryList& stored = script ? scripts : files;
    const size_t row = name.back() - '0';
    if (name == "Count")
        stored.push_back(old[3]); // the count stays 4, and so does the row past the new one
    else
        stored[row] = old[row];
    ExpectStoredTables(files, scripts);
    EXPECT_EQ(RunSheet([](HWND sheet, HWND) { PostSheetButton(sheet, PSBTN_CANCEL); }).boxes, 0);
    ExpectStoredTables(saved[0], saved[1]);
}

HANDLE WINAPI NoProcess(DWORD, BOOL, DWORD) { return NULL; }
// Fails with something in the out-parameter, which the add-on must not take for a handle.
BOOL WINAPI NoDuplicate(HANDLE, HANDLE, HANDLE, LPHANDLE target, DWORD, BOOL, DWORD) {
    *target = reinterpret_cast<HANDLE>(0x1234);
    return FALSE;
}

TEST_F(ForcedFailure, AHandOverThatYieldsNoHandleSendsNothingAndLeavesNoHandle) {
    Attach({}, {{"S", "s.scr"}});
    Snapshot before = OwnSnapshot();
    for (auto [function, failing] : {std::pair<const char*, void*>{"OpenProcess", reinterpret_cast<void*>(NoProcess)},
                                     {"DuplicateHandle", reinterpret_cast<void*>(NoDuplicate)}}) {
        void* real = HookAddonImport("KERNEL32.dll", function, failing);
        for (int i = 0; i < 5; ++i)
            Pick(300);
        HookAddonImport("KERNEL32.dll", function, real);
    }
    EXPECT_TRUE(frame.journal.empty());
    EXPECT_EQ(OwnSnapshot().handles, before.handles) << "handles left by failed hand-overs";
    Pick(300); // the handle it brings is the count's positive control
    EXPECT_EQ(Describe(frame.journal), Line(HM_RUNSCRIPT, 5, "s.scr"));
    EXPECT_EQ(OwnSnapshot().handles, before.handles + 1);
}

// The late-bound calls, each refusable (HookLateCalls), nothing really started: a library that
// does not load or a function not found does nothing and is asked for again at the next use; a
// sheet that cannot be had or fails to show shows nothing, and the tables are saved as loaded
// all the same; a file dialog that cannot be had leaves the row as it was.
TEST_F(ForcedFailure, LateBoundCallsThatCannotBeHadDoNothingAndAreAskedForAgain) {
    Attach({{"P", "p.exe"}}, {});
    HookLateCalls();
    late.startNothing = true;
    late.refusedLibrary = "SHELL32.DLL";
    Pick(200);
    Pick(200);
    late.refusedLibrary.clear();
    late.refusedFunction = "ShellExecuteA";
    Pick(200);
    EXPECT_EQ(late.shellCalls.size(), 0u);
    late.refusedFunction.clear();
    Pick(200);
    EXPECT_EQ(late.shellCalls.size(), 1u);
    for (bool lookUpFails : {true, false}) {
        late.refusedFunction = lookUpFails ? "PropertySheetA" : "";
        late.sheetFails = !lookUpFails;
        late.comctlRedirected = lookUpFails; // the terminal's activation context redirects it, then not
        SetRaw(kFileKey, "Title00", REG_SZ, "P\0old", 6); // reads as loaded, so it is rewritten
        RunDriven([&] { Pick(kSettingsId); }, [] {
            HWND shown = WaitForDialog(1000);
            EXPECT_EQ(shown, nullptr) << WindowText(shown);
            CloseAllDialogs();
        });
        ExpectStoredString(kFileKey, "Title00", "P");
    }
    EXPECT_EQ(late.sheetCalls, 1);
    EXPECT_TRUE(Sent().empty());
    late.sheetFails = false;
    late.refusedFunction = "GetOpenFileName"; // both, the wide one first
    RunSheet([&](HWND sheet, HWND page) {
        PostMessageA(GetDlgItem(page, kBrowse), BM_CLICK, 0, 0);
        SendMessageA(sheet, WM_NULL, 0, 0); // returns once the page has handled the click
        EXPECT_EQ(WaitForOwnedDialog(sheet, 0), nullptr);
        EXPECT_EQ(ControlText(page, kCommand), "p.exe");
    });
    EXPECT_EQ(late.frees, 4) << "a library without the function asked for is let go";
    // A library that did not load or lacked its function is asked for again at the next use,
    // by full path but for a COMCTL32 that the activation context redirects: 95, 98, Me, NT 4.0,
    // 2000 and XP before SP2 search the current folder first.
    const std::string shell = SystemLibrary("SHELL32.DLL"), comdlg = SystemLibrary("COMDLG32.DLL");
    EXPECT_EQ(late.loads, (std::vector<std::string>{shell, shell, shell, shell, "COMCTL32.DLL",
                                                    SystemLibrary("COMCTL32.DLL"), comdlg, comdlg}));
}

} // namespace
