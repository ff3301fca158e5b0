// The settings sheet as a whole: the online refusal, the sheet's frame, help, and how the
// terminal's menus follow what the sheet saved.
#include <gtest/gtest.h>

#include <map>

#include "processes.h"
#include "settings_session.h"
#include "settings_texts.h"

using namespace qx;

namespace {

class SettingsSheet : public SettingsSession {};

// Each start's last field, from its last '|' on.
std::vector<std::string> LastFields(std::vector<std::string> starts) {
    for (std::string& start : starts)
        start = start.substr(start.rfind('|'));
    return starts;
}

// Any answer but 0 is online: one with only high bits set, a negative one, one above 1.
TEST_F(SettingsSheet, OnlineTerminalGetsOnlyTheErrorBoxAndNothingIsWritten) {
    DefaultBoxCaption(); // read while the main thread is free
    Attach({{"Editor", "notepad.exe"}}, {});
    for (LRESULT online : {1, 2, -1, INT_MIN, 0x10000, 0x100}) {
        SCOPED_TRACE(online);
        frame.online = online;
        frame.journal.clear();
        ResetRegistry(); // the attach created the keys; a save would create them again
        SheetRun run = RunSheet([](HWND, HWND) {});
        EXPECT_FALSE(run.sheetShown);
        ExpectErrorBox(run.after, kOnlineRefusal, frame.hwnd());
        EXPECT_FALSE(KeyExists("Software\\Koravi"));
        EXPECT_EQ(Describe(frame.journal), Line(HM_ISONLINE, 0));
    }
}

TEST_F(SettingsSheet, SheetHasItsCaptionTwoTabsHelpAndNoApplyAndIsModalToTheFrame) {
    Attach({}, {});
    SheetRun run = RunSheet([&](HWND sheet, HWND page) {
        EXPECT_EQ(WindowText(sheet), kSheetCaption);
        EXPECT_EQ(TabLabels(sheet), (std::vector<std::string>{kFileMenuCaption, kScriptMenuCaption}));
        EXPECT_EQ(GetWindow(sheet, GW_OWNER), frame.hwnd());
        EXPECT_FALSE(IsWindowEnabled(frame.hwnd()));
        HWND apply = GetDlgItem(sheet, 0x3021);
        EXPECT_TRUE(apply == NULL || !IsWindowVisible(apply));
        EXPECT_EQ(CurrentPageIndex(sheet), 0);
        EXPECT_NE(GetDlgItem(CurrentPage(sheet), kBrowse), nullptr); // the program page
        HWND help = GetDlgItem(sheet, IDHELP);
        EXPECT_TRUE(IsWindowVisible(help) && IsWindowEnabled(help));
        PostSheetPage(sheet, 1);
        ASSERT_TRUE(WaitUntil([&] { return CurrentPageIndex(sheet) == 1; }));
        EXPECT_NE(GetDlgItem(CurrentPage(sheet), kScriptFile), nullptr);
        EXPECT_TRUE(IsWindowVisible(help) && IsWindowEnabled(help));
    });
    EXPECT_TRUE(run.sheetShown);
    EXPECT_EQ(run.after.hwnd, nullptr);
    EXPECT_TRUE(IsWindowEnabled(frame.hwnd()));
}

TEST_F(SettingsSheet, HelpOnEitherPageOpensTheContentsOwnedByTheFrame) {
    HelpWindow help;
    Attach({}, {});
    RunSheet([&](HWND sheet, HWND page) {
        PostSheetButton(sheet, PSBTN_HELP);
        EXPECT_TRUE(WaitUntil([&] { return help.received == 1; }));
        PostSheetPage(sheet, 1);
        EXPECT_TRUE(WaitUntil([&] { return CurrentPageIndex(sheet) == 1; }));
        PostSheetButton(sheet, PSBTN_HELP);
        EXPECT_TRUE(WaitUntil([&] { return help.received == 2; }));
    });
    ASSERT_EQ(help.requests.size(), 2u);
    for (const HelpRequest& request : help.requests) {
        EXPECT_EQ(request.owner, frame.hwnd()); // not the sheet
        EXPECT_EQ(request.magic, 0xA1DE505u);
        EXPECT_EQ(request.command, HELP_CONTENTS);
        EXPECT_EQ(request.file, "QXLAUNCH.HLP");
    }
}

// Wine's viewer looks for the bare name in its current folder, which it inherits from the
// caller; the build puts the file next to the test program. A file it could not find or read
// would hold WinHelpA in the viewer's modal box: then the viewer is ended, and the test fails.
// The viewer's window is of the help engine's class (hidden until it has a file open).
TEST_F(SettingsSheet, HelpShowsTheContentsOfTheHelpFileInTheViewer) {
    ASSERT_TRUE(SetCurrentDirectoryA(ExeDirectory().c_str()));
    ASSERT_NE(GetFileAttributesA("QXLAUNCH.HLP"), INVALID_FILE_ATTRIBUTES);
    ASSERT_EQ(FindWindowA("MS_WINHELP", NULL), nullptr) << "a help viewer is already running";
    Attach({}, {});
    wchar_t caption[256] = L"", text[4096] = L"";
    RunSheet([&](HWND sheet, HWND page) {
        PostSheetButton(sheet, PSBTN_HELP);
        HWND viewer = NULL;
        DWORD_PTR n = 0; // the text of its rich-text child, read across processes
        auto read = [&] {
            return SendMessageTimeoutW(GetDlgItem(viewer, 0x701), WM_GETTEXT, 4096,
                                       reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &n);
        };
        WaitUntil([&] {
            viewer = FindWindowA("MS_WINHELP", NULL);
            return viewer && IsWindowVisible(viewer) && read() && n > 0;
        }, 30000);
        GetWindowTextW(viewer, caption, 256);
        DWORD pid = 0;
        GetWindowThreadProcessId(viewer, &pid);
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
        PostMessageA(viewer, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0) << "the viewer did not close";
        TerminateProcess(process, 1); // a viewer still running would serve the next tests' help
        CloseHandle(process);
    });
    EXPECT_STREQ(caption, L"Quolixランチ ヘルプ"); // the file's own title
    std::wstring shown = text;
    EXPECT_EQ(shown.substr(0, shown.find(L'\r')), L"Quolixランチ ヘルプ 目次"); // the contents topic
}

// The names of the values the add-on writes, in order.
std::vector<std::string> written;
decltype(&RegSetValueExA) setValue;
LONG WINAPI RecordWrite(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
    written.push_back(name);
    return setValue(key, name, reserved, type, data, size);
}

TEST_F(SettingsSheet, CancelAndOkWithoutChangesSaveUnchangedAndSendNothing) {
    Attach({{Sjis("メモ帳"), "notepad.exe a.txt"}, {"Calc", "calc.exe"}}, {{"Diary", "diary.scr"}});
    HookImport(setValue, "ADVAPI32.dll", "RegSetValueExA", RecordWrite);
    for (int button : {PSBTN_CANCEL, PSBTN_OK}) {
        written.clear();
        SheetRun run = RunSheet([&](HWND sheet, HWND page) { PostSheetButton(sheet, button); });
        EXPECT_EQ(run.after.hwnd, nullptr);
        EXPECT_TRUE(Sent().empty());
        EXPECT_EQ(written, (std::vector<std::string>{"Count", "Title00", "Command00", "Title01", "Command01", "Count", "Title00", "ScriptFile00"}));
        ExpectStoredTables({{Sjis("メモ帳"), "notepad.exe a.txt"}, {"Calc", "calc.exe"}}, {{"Diary", "diary.scr"}});
    }
}

// Another terminal (the stand-in, in a process of its own) saved after this one loaded: it
// added a row and changed a command line. This terminal's Cancel, its OK without a change and
// its edit of a third row leave all of that, the other's count included, and its menus follow
// its own tables only.
TEST_F(SettingsSheet, ClosingTheSheetNeverUndoesWhatAnotherTerminalSaved) {
    const EntryList scripts{{"Diary", "diary.scr"}};
    ConfigureTables({{"Zero", "zero.exe"}, {"One", "one.exe"}, {"Two", "two.exe"}}, scripts);
    TestFolder folder("qx-other");
    const std::string journal = folder / "journal.txt";
    JobProcess other;
    HWND otherFrame = StartTerminal(other, "--journal \"" + journal + "\"");
    ASSERT_TRUE(otherFrame);
    Load();
    frame.journal.clear();
    PostMessageA(FindLauncherWindow(otherFrame), WM_COMMAND, kSettingsId, 0);
    HWND otherSheet = WaitForSheet(8000, other.pid());
    ASSERT_TRUE(otherSheet);
    SetControlText(CurrentPage(otherSheet), kCommand + 1, "one.exe --a");
    SetRow(CurrentPage(otherSheet), 3, "Three", "three.exe");
    PostSheetButton(otherSheet, PSBTN_OK);
    // Its save is done once it appends the row; a crash ends it.
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(journal).find("text=Three") != std::string::npos || other.WaitForExit(0); }));
    ASSERT_NE(ReadFileBytes(journal).find("text=Three"), std::string::npos) << ReadFileBytes(journal);
    EntryList saved{{"Zero", "zero.exe"}, {"One", "one.exe --a"}, {"Two", "two.exe"}, {"Three", "three.exe"}};
    for (int button : {PSBTN_CANCEL, PSBTN_OK}) {
        RunSheet([&](HWND sheet, HWND) { PostSheetButton(sheet, button); });
        ExpectStoredTables(saved, scripts);
    }
    EditAndConfirm([](HWND page) { SetControlText(page, kCommand + 2, "two.exe --b"); });
    saved[2].second = "two.exe --b";
    ExpectStoredTables(saved, scripts);
    EXPECT_TRUE(Sent().empty());
}

// As on Windows NT with the side-by-side COMCTL32 mapped, as a terminal with visual styles has
// it, which is taken; as on Windows 95 with none mapped: the system folder's.
class SettingsSheetOn : public SettingsSheet, public ::testing::WithParamInterface<bool> {};
INSTANTIATE_TEST_SUITE_P(Windows, SettingsSheetOn, ::testing::Bool(), WindowsName);

TEST_P(SettingsSheetOn, TwoProgramsBecomingFourThenFiveAppendOnlyTheNewItems) {
    char windows[MAX_PATH];
    std::string sxs = std::string(windows, GetWindowsDirectoryA(windows, MAX_PATH)) + "\\winsxs\\";
    std::string mapped = sxs + Search(sxs + "x86_microsoft.windows.common-controls_*").at(0) + "\\comctl32.dll";
    ASSERT_TRUE((asWindows95 = GetParam()) || LoadLibraryA(mapped.c_str()));
    Attach({{"One", "one.exe"}, {"Two", "two.exe"}}, {});
    HookLateCalls();
    SheetRun run = EditAndConfirm([&](HWND page) {
        SetRow(page, 2, Sjis("三番"), "three.exe");
        SetRow(page, 3, "Four", "four.exe -x");
    });
    EXPECT_EQ(run.after.hwnd, nullptr);
    EXPECT_EQ(EditAndConfirm([&](HWND page) { SetRow(page, 4, "Five", "five.exe"); }).after.hwnd, nullptr);
    EXPECT_EQ(Describe(Sent()), Line(HM_SETITEMID, 202) + Line(HM_ADDFILEITEM, L(), Sjis("三番")) +
                                    Line(HM_SETITEMID, 203) + Line(HM_ADDFILEITEM, L(), "Four") +
                                    Line(HM_SETITEMID, 204) + Line(HM_ADDFILEITEM, L(), "Five"));
    ExpectStoredCount(kFileKey, 5);
    ExpectStoredString(kFileKey, "Command03", "four.exe -x");
    EXPECT_EQ(late.loads, std::vector<std::string>{GetParam() ? SystemLibrary("COMCTL32.DLL") : mapped});
}

// A terminal whose frame lives on another thread is let go before the sheet opens: its
// SendMessage is back while the sheet is still open (only the driver closes it), and the sheet
// then works as always.
TEST_F(SettingsSheet, ACommandFromAnotherThreadReturnsWhileTheSheetIsOpen) {
    Attach({{"One", "one.exe"}}, {});
    std::atomic<bool> returned{false};
    RunDriven([&] { CommandFromAnotherThread(launcher, kSettingsId, returned, [&] { return returned.load(); }); },
              [&] {
                  HWND sheet = WaitForSheet();
                  ASSERT_NE(sheet, nullptr);
                  EXPECT_TRUE(WaitUntil([&] { return returned.load(); })) << "the sender waits for the sheet";
                  SetRow(CurrentPage(sheet), 1, "Two", "two.exe");
                  PostSheetButton(sheet, PSBTN_OK);
              });
    EXPECT_EQ(Describe(Sent()), Line(HM_SETITEMID, 201) + Line(HM_ADDFILEITEM, L(), "Two"));
    ExpectStoredTables({{"One", "one.exe"}, {"Two", "two.exe"}}, {});
}

TEST_F(SettingsSheet, FirstProgramOpensTheGroupBeforeItsItem) {
    Attach({}, {});
    EditAndConfirm([&](HWND page) { SetRow(page, 0, "First", "first.exe"); });
    EXPECT_EQ(Describe(Sent()), Line(HM_ADDFILEITEM, L()) + Line(HM_SETITEMID, 200) +
                                    Line(HM_ADDFILEITEM, L(), "First"));
}

TEST_F(SettingsSheet, ARemovedProgramBringsOnlyTheRestartNotice) {
    Attach({{"One", "one.exe"}, {"Two", "two.exe"}, {"Three", "three.exe"}}, {});
    SheetRun run = EditAndConfirm([&](HWND page) { SetRow(page, 2, "", ""); });
    ExpectRestartNotice(run.after);
    EXPECT_TRUE(Sent().empty());
    ExpectStoredCount(kFileKey, 2);
}

// Once the notice is shown, the terminal's ids follow the rows of its start, not the sheet's:
// an entry added before the restart would take an id the terminal holds already. It is not
// appended, and the notice comes again.
TEST_F(SettingsSheet, AnEntryAddedBeforeTheRestartBringsTheNoticeAgainAndNoIdTwice) {
    ConfigureTables({{"One", "one.exe"}, {"Two", "two.exe"}, {"Three", "three.exe"}}, {});
    Load(); // the journal keeps the attach's items
    ExpectRestartNotice(EditAndConfirm([](HWND page) { SetRow(page, 2, "", ""); }).after);
    ExpectRestartNotice(EditAndConfirm([](HWND page) { SetRow(page, 2, "Four", "four.exe"); }).after);
    std::map<WPARAM, int> items; // id -> items registered under it
    for (const HostMessage& m : Sent())
        if (m.message == HM_SETITEMID)
            ++items[m.wParam];
    EXPECT_EQ(items, (std::map<WPARAM, int>{{100, 1}, {200, 1}, {201, 1}, {202, 1}}));
}

TEST_F(SettingsSheet, ATitleDifferingInLetterCaseOutweighsAddedEntries) {
    Attach({{"Editor", "notepad.exe"}}, {});
    SheetRun run = EditAndConfirm([&](HWND page) {
        SetControlText(page, kTitle, "editor");
        SetRow(page, 1, "New", "new.exe");
    });
    EXPECT_EQ(run.after.text, kRestartNotice);
    EXPECT_TRUE(Sent().empty()); // the new entry waits for the next start of the terminal
    ExpectStoredCount(kFileKey, 2);
    ExpectStoredString(kFileKey, "Title00", "editor");
    // Until the terminal restarts, a closing that changes nothing shows and sends nothing.
    for (int button : {PSBTN_CANCEL, PSBTN_OK})
        EXPECT_EQ(RunSheet([&](HWND sheet, HWND) { PostSheetButton(sheet, button); }).after.hwnd, nullptr);
    EXPECT_EQ(Describe(Sent()), "");
}

TEST_F(SettingsSheet, ATitleChangedAndChangedBackCountsAsUnchanged) {
    Attach({{"Editor", "notepad.exe"}}, {});
    SheetRun run = RunSheet([&](HWND sheet, HWND page) {
        SetControlText(page, kTitle, "Something else");
        PostSheetPage(sheet, 1); // leave the page and come back in between
        EXPECT_TRUE(WaitUntil([&] { return CurrentPageIndex(sheet) == 1; }));
        PostSheetPage(sheet, 0);
        EXPECT_TRUE(WaitUntil([&] { return CurrentPageIndex(sheet) == 0; }));
        SetControlText(page, kTitle, "Editor");
        PostSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(run.after.hwnd, nullptr);
    EXPECT_TRUE(Sent().empty());
}

// The sheet leaves the targets of removed entries in their slots past the new count: their ids
// must start nothing, while the last kept entry still starts.
TEST_F(SettingsSheet, IdsOfRemovedProgramsStartNothing) {
    RecorderLog recorder;
    EntryList five;
    for (int i = 0; i < 5; ++i)
        five.push_back({"P" + std::to_string(i), recorder.program() + " p" + std::to_string(i)});
    Attach(five, {});
    SheetRun run = EditAndConfirm([](HWND page) {
        for (int row : {3, 4})
            SetRow(page, row, "", "");
    });
    ExpectRestartNotice(run.after);
    for (int id : {203, 204, 202})
        Pick(id);
    EXPECT_EQ(LastFields(recorder.Starts()), std::vector<std::string>{"|p2"});
}

// A profile that may only be read: the pages show every stored entry and the script folder;
// each save, Cancel's too, is reported once, keeps what is stored, and the menus follow the
// sheet all the same, the restart notice after the report.
TEST_F(SettingsSheet, AProfileThatMayOnlyBeReadShowsEverythingAndReportsEachSave) {
    DefaultBoxCaption(); // read while the main thread is free
    RecorderLog recorder;
    TestFolder folder("qx-scripts");
    MakeEntries(folder.path(), {"a.scr"});
    SetString(kHostConfigKey, "ScriptPath", folder.path());
    const EntryList programs{{"One", "one.exe"}}, scripts{{"Diary", "diary.scr"}};
    ConfigureTables(programs, scripts);
    ReadOnlyKey files(kFileKey), scriptKey(kScriptKey), config(kHostConfigKey);
    Load();
    frame.journal.clear();
    SheetRun run = EditAndConfirm([&](HWND page) {
        ASSERT_EQ(ControlText(page, kTitle), "One"); // else the new row would be refused
        SetRow(page, 1, "Two", recorder.program() + " two");
        PostSheetPage(GetParent(page), 1);
        ASSERT_TRUE(WaitUntil([&] { return CurrentPageIndex(GetParent(page)) == 1; }));
        EXPECT_EQ(ControlText(CurrentPage(GetParent(page)), kTitle), "Diary");
        EXPECT_EQ(ComboItems(GetDlgItem(CurrentPage(GetParent(page)), kScriptFile)), std::vector<std::string>{"a.scr"});
    });
    EXPECT_EQ(run.boxes, 1);
    ExpectErrorBox(run.after, kSaveFailed, frame.hwnd());
    EXPECT_EQ(Describe(Sent()), Line(HM_SETITEMID, 201) + Line(HM_ADDFILEITEM, L(), "Two"));
    ExpectStoredTables(programs, scripts);
    Pick(201);
    EXPECT_EQ(LastFields(recorder.Starts()), std::vector<std::string>{"|two"});
    run = RunSheet([](HWND sheet, HWND) { PostSheetButton(sheet, PSBTN_CANCEL); });
    EXPECT_EQ(std::make_pair(run.boxes, run.after.text), std::make_pair(1, kSaveFailed));
    run = EditAndConfirm([](HWND page) { SetRow(page, 1, "", ""); });
    EXPECT_EQ(std::make_pair(run.boxes, run.after.text), std::make_pair(2, kSaveFailed));
    ExpectRestartNotice(run.last);
}

TEST_F(SettingsSheet, AChangedCommandLineSendsNothingAndTheNextPickStartsIt) {
    RecorderLog recorder;
    Attach({{"Recorder", recorder.program() + " before"}}, {});
    SheetRun run = EditAndConfirm([&](HWND page) { SetControlText(page, kCommand, recorder.program() + " after"); });
    EXPECT_EQ(run.after.hwnd, nullptr);
    EXPECT_TRUE(Sent().empty());
    Pick(200);
    EXPECT_EQ(LastFields(recorder.Starts()), std::vector<std::string>{"|after"});
}

} // namespace
