// The settings sheet as a whole: the online refusal, the sheet's frame, help, and how the
// terminal's menus follow what the sheet saved.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <tuple>

#include "processes.h"
#include "settings_session.h"
#include "settings_texts.h"

#include <commctrl.h>
#include <objbase.h>

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

// Where HTML Help cannot be had (here its library is refused; before Vista the version says so
// first, see the stand-in terminal's XP run below), Help makes the WinHelp request.
TEST_F(SettingsSheet, HelpOnEitherPageOpensTheContentsOwnedByTheFrame) {
    HelpWindow help;
    Attach({}, {});
    HookLateCalls();
    late.refusedLibrary = "HHCTRL.OCX";
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
    HookLateCalls();
    late.refusedLibrary = "HHCTRL.OCX";
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

// The texts of a tree view's items at its top level (the contents here has no other).
std::vector<std::wstring> TreeTexts(HWND tree) {
    std::vector<std::wstring> texts;
    for (HTREEITEM item = TreeView_GetRoot(tree); item; item = TreeView_GetNextSibling(tree, item)) {
        wchar_t text[256] = L"";
        TVITEMW read{TVIF_TEXT, item, 0, 0, text, 256};
        texts.push_back(SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&read)) ? text : L"?");
    }
    return texts;
}
bool IsHtmlHelpWindow(HWND window) {
    char name[16] = "";
    return GetClassNameA(window, name, sizeof(name)) && std::string(name) == "HH Parent";
}

// Where KERNEL32 lacks GetTickCount64 (95 to XP and 2003) Help makes the WinHelp request and
// maps no HTML Help. Where it has it, Help opens HTML Help on QXLAUNCH.CHM beside the add-on,
// from the system folder's HHCTRL.OCX though strangers' lie in the current folder and beside the
// program, and asks no WinHelp after it even when HtmlHelpW answers null. Wine's viewer reads its
// title and contents tree from the file; its page pane stays blank without Gecko (docs/WINE.md).
// It is owned by the frame, and the sheet stays open. When the frame goes, the viewer goes, and
// so does HTML Help's hold on the thread (OLE, which it started for its pane).
TEST_F(SettingsSheet, HelpOpensTheChmWhereKernelHasTheExportOfVistaAndTheFramesEndClosesIt) {
    HelpWindow help; // a WinHelp request would arrive here
    Attach({}, {});
    HookLateCalls();
    const std::string plant = ExeDirectory() + "HHPLANT.DLL", system = SystemLibrary("HHCTRL.OCX");
    const std::vector<std::string> planted{CurrentFolder() + "\\HHCTRL.OCX", ExeDirectory() + "HHCTRL.OCX"};
    for (const std::string& stranger : planted)
        ASSERT_TRUE(CopyFileA(plant.c_str(), stranger.c_str(), FALSE)) << stranger;
    HWND viewer = NULL, contents = NULL; // the viewer is shown before its panes are made
    std::vector<std::wstring> tree;
    RunSheet([&](HWND sheet, HWND) {
        late.refusedFunction = "GetTickCount64";
        PostSheetButton(sheet, PSBTN_HELP);
        EXPECT_TRUE(WaitUntil([&] { return help.received == 1; }));
        EXPECT_EQ(late.loads.size(), 1u) << "HTML Help loaded"; // the sheet's COMCTL32 is the control
        late.refusedFunction.clear();
        late.htmlHelpAnswersNull = true;
        PostSheetButton(sheet, PSBTN_HELP);
        ASSERT_NE(viewer = WaitForWindow(IsHtmlHelpWindow), nullptr);
        WaitUntil([&] { return (contents = FindDescendant(viewer, "SysTreeView32")) && TreeView_GetCount(contents) > 0; });
        tree = TreeTexts(contents);
        EXPECT_EQ(WideWindowText(viewer), L"Quolixランチ ヘルプ");
        EXPECT_EQ(GetWindow(viewer, GW_OWNER), frame.hwnd());
        EXPECT_TRUE(IsWindowVisible(sheet) && IsWindowEnabled(sheet)) << "the sheet went with Help";
    });
    char mapped[MAX_PATH] = "";
    GetModuleFileNameA(GetModuleHandleA("HHCTRL.OCX"), mapped, MAX_PATH);
    EXPECT_EQ(lstrcmpiA(mapped, system.c_str()), 0) << mapped;
    EXPECT_EQ(late.loads, (std::vector<std::string>{SystemLibrary("COMCTL32.DLL"), system}));
    for (const std::string& stranger : planted)
        DeleteFileA(stranger.c_str());
    EXPECT_EQ(help.received, 1u) << "WinHelp asked after HTML Help";
    ASSERT_GE(tree.size(), 2u);
    EXPECT_EQ(tree[0], L"Quolixランチ ヘルプ 目次"); // the contents topic first
    for (const std::wstring& item : tree) // Japanese, and nothing the code page could not give
        EXPECT_TRUE(item.find_first_of(L"?\uFFFD") == item.npos && *std::max_element(item.begin(), item.end()) >= 0x3000);
    EXPECT_EQ(CoInitialize(NULL), S_FALSE) << "HTML Help holds no OLE on this thread"; // the control
    CoUninitialize();
    frame.Destroy();
    EXPECT_FALSE(IsWindow(viewer));
    EXPECT_EQ(CoInitialize(NULL), S_OK) << "HTML Help was not closed with the frame";
    CoUninitialize();
}

// Without QXLAUNCH.CHM beside it (a copy of the add-on alone in a folder), Help makes the
// WinHelp request as ever, without asking HTML Help (Windows' shows an error of its own then).
TEST_F(SettingsSheet, WithoutTheChmHelpMakesTheWinHelpRequest) {
    HelpWindow help;
    TestFolder alone("qx-no-chm");
    ASSERT_TRUE(CopyFileA((ExeDirectory() + "QXLAUNCH.DLL").c_str(), (alone / "QXLAUNCH.DLL").c_str(), FALSE));
    HMODULE addon = LoadLibraryA((alone / "QXLAUNCH.DLL").c_str());
    launcher = FindLauncherWindow(frame.hwnd());
    RunSheet([&](HWND sheet, HWND) {
        PostSheetButton(sheet, PSBTN_HELP);
        EXPECT_TRUE(WaitUntil([&] { return help.received == 1; }));
    });
    EXPECT_EQ(help.requests.at(0).file, "QXLAUNCH.HLP");
    EXPECT_EQ(GetModuleHandleA("HHCTRL.OCX"), nullptr);
    frame.Destroy(); // the add-on's window, then the add-on (its own reference too), before its folder
    FreeLibrary(addon);
    FreeLibrary(addon);
}

// The stand-in terminal with the add-on and the CHM beside it, in the compatibility modes of 95
// and XP (Wine's version setting for the program: its version questions answer 95, high bit set,
// or 5.1) and without one: Help shows the CHM and makes no WinHelp request, and the terminal
// closing with it open ends cleanly.
class TerminalHelpOn : public SettingsSheet, public ::testing::WithParamInterface<const char*> {};
INSTANTIATE_TEST_SUITE_P(Windows, TerminalHelpOn, ::testing::Values("win95", "winxp", "win7"),
                         [](const ::testing::TestParamInfo<const char*>& on) { return std::string(on.param); });

TEST_P(TerminalHelpOn, InAnyCompatibilityModeHelpShowsTheChmUntilTheTerminalEnds) {
    const char* version = "Software\\Wine\\AppDefaults\\qxhost.exe";
    SetString(version, "Version", GetParam());
    HelpWindow help;
    JobProcess host;
    HWND terminal = StartTerminal(host, "");
    RegDeleteKeyA(HKEY_CURRENT_USER, version); // read at the terminal's start
    ASSERT_NE(terminal, nullptr);
    PostMessageA(FindLauncherWindow(terminal), WM_COMMAND, kSettingsId, 0);
    HWND sheet = WaitForSheet(8000, host.pid());
    ASSERT_NE(sheet, nullptr);
    PostSheetButton(sheet, PSBTN_HELP);
    HWND viewer = WaitForWindow(IsHtmlHelpWindow, 8000, host.pid());
    EXPECT_EQ(GetWindow(viewer, GW_OWNER), terminal);
    // The sheet closes on the thread that pressed Help, so a WinHelp request would be in by then.
    PostSheetButton(sheet, PSBTN_CANCEL);
    EXPECT_TRUE(WaitUntil([&] { PumpPending(); return !IsWindow(sheet); }));
    EXPECT_EQ(help.received, 0u) << "the WinHelp request";
    PostMessageA(terminal, WM_CLOSE, 0, 0);
    EXPECT_TRUE(host.WaitForExitPumping(10000)) << "the terminal did not end";
    EXPECT_EQ(host.ExitCode(), 0u);
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
    frame.Destroy();
    EXPECT_EQ(GetModuleHandleA("HHCTRL.OCX"), nullptr) << "HTML Help mapped though Help was never pressed";
}

decltype(&SetForegroundWindow) setForeground;
HWND broughtForward;
bool keepForeground = true; // as Windows may, for a process that is not in the foreground
BOOL WINAPI AskForeground(HWND window) {
    broughtForward = window;
    return !keepForeground && setForeground(window);
}

// Another terminal (the stand-in, in a process of its own) added a program after this one
// loaded. While its sheet is open ours opens none and writes nothing: the other's comes to the
// front, or the box says so where Windows keeps the foreground. Then this terminal's sheet opens
// on it, the row its user adds goes after the other's, the store holds both, and its menu gains
// both items, each starting its own program. A terminal ended with its sheet open blocks none.
TEST_F(SettingsSheet, ASheetOpensOnWhatAnotherTerminalSavedAndBothAdditionsStay) {
    RecorderLog recorder;
    const EntryList scripts{{"Diary", "diary.scr"}};
    ConfigureTables({{"Zero", "zero.exe"}, {"One", "one.exe"}}, scripts);
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
    HookImport(setValue, "ADVAPI32.dll", "RegSetValueExA", RecordWrite);
    HookImport(setForeground, "USER32.dll", "SetForegroundWindow", AskForeground);
    SheetRun refused = RunSheet([](HWND, HWND) {});
    EXPECT_FALSE(refused.sheetShown);
    EXPECT_EQ(std::make_tuple(refused.after.text, refused.after.caption, refused.after.owner, refused.after.iconInformation),
              std::make_tuple(kSheetOpenElsewhere, kLaunchCaption, frame.hwnd(), true));
    frame.online = 1; // the online refusal comes first
    ExpectErrorBox(RunSheet([](HWND, HWND) {}).after, kOnlineRefusal, frame.hwnd());
    frame.online = 0;
    // Where the foreground settles is the X server's race; what was asked for, and no box, are ours.
    std::tie(keepForeground, broughtForward) = std::make_tuple(false, HWND());
    std::atomic<bool> returned{false};
    bool boxless = false;
    RunDriven([&] { Pick(kSettingsId); returned = true; }, [&] { if (!(boxless = WaitUntil([&] { return returned.load(); }))) CloseAllDialogs(); });
    EXPECT_TRUE(boxless);
    EXPECT_EQ(broughtForward, otherSheet);
    EXPECT_TRUE(written.empty() && Sent().empty());
    SetRow(CurrentPage(otherSheet), 2, "Two", recorder.program() + " two");
    PostSheetButton(otherSheet, PSBTN_OK);
    // Its save is done once it appends the row; a crash ends it.
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(journal).find("text=Two") != std::string::npos || other.WaitForExit(0); }));
    ASSERT_NE(ReadFileBytes(journal).find("text=Two"), std::string::npos) << ReadFileBytes(journal);
    EditAndConfirm([&](HWND page) {
        EXPECT_EQ(ControlText(page, kTitle + 2), "Two");
        SetRow(page, 3, "Three", recorder.program() + " three");
    });
    ExpectStoredTables({{"Zero", "zero.exe"}, {"One", "one.exe"}, {"Two", recorder.program() + " two"},
                        {"Three", recorder.program() + " three"}}, scripts);
    EXPECT_EQ(Describe(Sent()), Line(HM_SETITEMID, 202) + Line(HM_ADDFILEITEM, L(), "Two") +
                                    Line(HM_SETITEMID, 203) + Line(HM_ADDFILEITEM, L(), "Three"));
    PostMessageA(FindLauncherWindow(otherFrame), WM_COMMAND, kSettingsId, 0);
    ASSERT_TRUE(WaitForSheet(8000, other.pid()));
    other.EndAll(); // the programs started are counted when none is left
    ASSERT_TRUE(other.WaitForExitPumping(10000));
    EXPECT_TRUE(RunSheet([](HWND, HWND) {}).sheetShown);
    Pick(202);
    recorder.Starts(); // one at a time, so that the log keeps their order
    Pick(203);
    EXPECT_EQ(LastFields(recorder.Starts()), (std::vector<std::string>{"|two", "|three"}));
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
