// Attach: the exact message sequences the terminal sees, the hidden launcher window, the three
// failure boxes, and texts crossing into a terminal that lives in another process.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

#include "cell.h"
#include "harness.h"
#include "processes.h"
#include "settings_texts.h"

#include <tlhelp32.h>

using namespace qx;

namespace {

class Attach : public AddonTest {
  protected:
    // The attach's messages, line by line, are those of an attach of these titles (cell.h).
    void ExpectAttachOf(const std::vector<std::string>& programs, const std::vector<std::string>& scripts) {
        std::vector<std::string> lines{"LOADED 1"};
        Load();
        for (const HostMessage& m : Sent())
            lines.push_back(ReportLine(m, launcher));
        EXPECT_EQ(lines, ExpectedAttach(programs, scripts));
    }

    // The load shows this one error box and fails: no launcher window, no message, no key.
    void ExpectFailedLoad(const std::string& text) {
        BoxInfo box; // a second box would keep the load from returning, and fail the test
        EXPECT_EQ(LoadAddonAnsweringOneBox(box), nullptr);
        ExpectErrorBox(box, text, NULL);
        EXPECT_EQ(FindLauncherWindow(frame.hwnd()), nullptr); // a top-level one without a frame
        EXPECT_TRUE(MenuMessages(frame.journal).empty());
        EXPECT_FALSE(KeyExists("Software\\Koravi"));
        EXPECT_EQ(GetModuleHandleA("QXLAUNCH.DLL"), nullptr) << "no reference of its own outlives a failed load";
    }
};

TEST_F(Attach, BothTablesEmptySendOnlyTheSettingsItem) { ExpectAttachOf({}, {}); }

TEST_F(Attach, TwoProgramsAndNoScriptsSendSevenMessagesInOrder) {
    ConfigureTables({{Sjis("メモ帳"), "notepad.exe"}, {Sjis("表計算"), "calc.exe"}}, {});
    ExpectAttachOf({Sjis("メモ帳"), Sjis("表計算")}, {});
}

TEST_F(Attach, OneScriptOpensOnlyTheScriptGroup) {
    ConfigureTables({}, {{Sjis("日記"), "diary.scr"}});
    ExpectAttachOf({}, {Sjis("日記")});
}

TEST_F(Attach, FiveAndFiveGiveElevenDistinctHandlesEachWithItsOwnTitle) {
    EntryList programs, scripts;
    for (int i = 0; i < 5; ++i) {
        programs.push_back({"Program " + std::to_string(i), "C:\\target\\p" + std::to_string(i) + ".exe"});
        scripts.push_back({"Script " + std::to_string(i), "s" + std::to_string(i) + ".scr"});
    }
    ConfigureTables(programs, scripts);
    ExpectAttachOf(Titles(programs), Titles(scripts)); // titles only: no target reaches the terminal
    std::set<LPARAM> handles{0}; // eleven handles, and the 0 of the messages without a text
    for (const HostMessage& m : Sent())
        handles.insert(m.lParam);
    EXPECT_EQ(handles.size(), 12u);
}

// Another terminal that stays on top holds the first frame of the class; the add-on joins the
// frame of the process that loaded it, and the other terminal hears nothing. With no frame in
// the loading process the first one is taken (CrossProcess below).
TEST_F(Attach, JoinsItsOwnTerminalWhileAnotherStaysOnTop) {
    TestFolder folder("qx-other");
    const std::string journal = folder / "journal.txt";
    JobProcess other;
    HWND otherFrame = StartTerminal(other, "--no-load --topmost --journal \"" + journal + "\"");
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(journal) == "FRAME READY\n"; })); // on top by then
    ASSERT_TRUE(otherFrame && FindWindowA("QuolixFrameClass", NULL) == otherFrame) << "not the first frame";
    // Windows of this process above its frame, as a tool window and a dialog of the terminal.
    HWND tool = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, "STATIC", "tool", WS_POPUP | WS_VISIBLE, 0, 0, 8, 8, NULL, NULL, NULL, NULL);
    HWND dialog = CreateWindowExA(WS_EX_DLGMODALFRAME, "STATIC", "dialog", WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 80, 40, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(tool && dialog);
    const std::vector<HWND> windows = TopLevelWindows();
    ASSERT_LT(std::find(windows.begin(), windows.end(), tool), std::find(windows.begin(), windows.end(), frame.hwnd()));
    ExpectAttachOf({}, {});
    EXPECT_EQ(ReadFileBytes(journal), "FRAME READY\n");
}

TEST_F(Attach, LauncherWindowIsAHiddenZeroSizeChildOfTheFrame) {
    Load();
    ASSERT_NE(launcher, nullptr);
    EXPECT_EQ(GetParent(launcher), frame.hwnd());
    EXPECT_FALSE(IsWindowVisible(launcher));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(launcher, GWL_STYLE)) & ~WS_CLIPSIBLINGS,
              static_cast<DWORD>(WS_CHILD));
    EXPECT_EQ(GetWindowLongA(launcher, GWL_EXSTYLE), 0);
    RECT r = {0, 0, 1, 1};
    EXPECT_TRUE(GetWindowRect(launcher, &r) && r.right == r.left && r.bottom == r.top);
    EXPECT_EQ(GetWindowTextLengthA(launcher), 0);
    EXPECT_EQ(GetWindowThreadProcessId(launcher, NULL), GetCurrentThreadId());
    // Messages the add-on does not handle reach the default procedure.
    SetWindowTextA(launcher, "probe");
    EXPECT_EQ(WindowText(launcher), "probe");
}

TEST_F(Attach, HostTerminalNotRunningShowsOneBoxAndFailsTheLoad) {
    frame.Destroy();
    DefaultBoxCaption(); // read while the main thread is free
    ExpectFailedLoad(kHostNotRunning);
    WNDCLASSA wc;
    ASSERT_NE(AddonLoadBase(), nullptr);
    EXPECT_FALSE(GetClassInfoA(AddonLoadBase(), "QuolixLaunch", &wc));
}

// The class fails to register when one of the same name already exists for the add-on's
// instance: the test claims the name as soon as the loader has mapped the add-on.
ATOM claimedClass;
TEST_F(Attach, ClassThatCannotBeRegisteredShowsInternalErrorOne) {
    OnAddonMapped([](HINSTANCE base) { claimedClass = RegisterWindowClass("QuolixLaunch", DefWindowProcA, base); });
    ExpectFailedLoad(kInternalError1);
    OnAddonMapped(nullptr);
    EXPECT_NE(claimedClass, 0);
}

HHOOK creationHook;
LRESULT CALLBACK RefuseLauncherWindow(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        auto* create = reinterpret_cast<CBT_CREATEWNDA*>(lParam);
        const char* cls = create->lpcs->lpszClass;
        if (HIWORD(reinterpret_cast<UINT_PTR>(cls)) != 0 && lstrcmpA(cls, "QuolixLaunch") == 0)
            return 1;
    }
    return CallNextHookEx(creationHook, code, wParam, lParam);
}

TEST_F(Attach, WindowThatCannotBeCreatedShowsInternalErrorTwo) {
    creationHook = SetWindowsHookExA(WH_CBT, RefuseLauncherWindow, NULL, GetCurrentThreadId());
    ASSERT_NE(creationHook, nullptr);
    ExpectFailedLoad(kInternalError2); // the box not owned by the frame, although it is known by then
    UnhookWindowsHookEx(creationHook);
    WNDCLASSA wc; // a class whose procedure is unmapped would crash the next window of it
    ASSERT_NE(AddonLoadBase(), nullptr);
    EXPECT_FALSE(GetClassInfoA(AddonLoadBase(), "QuolixLaunch", &wc));
}

// Run as on Windows NT and as on Windows 95, where the add-on keeps itself by its ANSI path.
class AttachOn : public Attach, public ::testing::WithParamInterface<bool> {};
INSTANTIATE_TEST_SUITE_P(Windows, AttachOn, ::testing::Bool(), WindowsName);

TEST_P(AttachOn, ThreadNotificationsAndUnloadLeaveTheWindowWorking) {
    ConfigureTables({}, {{"Diary", "diary.scr"}});
    asWindows95 = GetParam();
    Load();
    EXPECT_EQ(late.wideCalls, GetParam() ? 1 : 0); // GetModuleFileNameW, refused as on 95
    size_t before = frame.journal.size();
    std::thread([] {}).join(); // thread attach and detach
    EXPECT_EQ(frame.journal.size(), before);
    // Unloading must not leave the terminal a window whose procedure is gone.
    FreeLibrary(GetModuleHandleA("QXLAUNCH.DLL"));
    EXPECT_NE(GetModuleHandleA("QXLAUNCH.DLL"), nullptr);
    ASSERT_TRUE(IsWindow(launcher));
    EXPECT_EQ(SendMessageA(launcher, WM_COMMAND, 300, 0), 0);
    ASSERT_EQ(frame.journal.size(), before + 1);
    EXPECT_EQ(frame.journal.back().message, HM_RUNSCRIPT);
}

std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], static_cast<int>(wide.size())));
    return wide;
}

// The add-on keeps itself by a path that the ANSI calls cannot carry; once its own reference is
// gone too, a pick reaches the default procedure, never freed code, the channel goes with the
// image and a new window of the class gets the default procedure too. Under Wine the wide calls
// take paths past MAX_PATH as they are; Windows takes them with the \\?\ prefix.
TEST_F(Attach, LoadedFromPastMaxPathItKeepsItselfAndAfterItsLastFreeNoPickRunsFreedCode) {
    ConfigureTables({}, {{"Diary", "diary.scr"}});
    std::vector<std::wstring> folders{Wide(StartFolder()) + L"\\qx-long"};
    while (folders.back().size() <= MAX_PATH)
        folders.push_back(folders.back() + L"\\" + std::wstring(90, L'd'));
    for (const std::wstring& folder : folders)
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS);
    std::wstring dll = folders.back() + L"\\QXLAUNCH.DLL";
    ASSERT_TRUE(CopyFileW(Wide(ExeDirectory() + "QXLAUNCH.DLL").c_str(), dll.c_str(), FALSE));
    const auto channel = [] { Snapshot s = OwnSnapshot(); return std::make_pair(s.sections, s.views); };
    frame.closeReceived = true; // so that the only section counted is the channel's own
    const auto before = channel(); // one section and one view while loaded
    HMODULE module = LoadLibraryW(dll.c_str());
    ASSERT_NE(module, nullptr);
    launcher = FindLauncherWindow(frame.hwnd());
    ASSERT_NE(launcher, nullptr);
    EXPECT_EQ(channel(), std::make_pair(before.first + 1, before.second + 1));
    FreeLibrary(module); // the terminal lets go; the add-on's own reference keeps it
    frame.journal.clear();
    Pick(300);
    const std::string handedOver = Line(HM_RUNSCRIPT, 9, "diary.scr");
    EXPECT_EQ(Describe(Sent()), handedOver);
    FreeLibrary(module); // and the add-on's own: as if it could not have been taken
    EXPECT_EQ(GetModuleHandleW(dll.c_str()), nullptr);
    Pick(300);
    EXPECT_EQ(Describe(Sent()), handedOver);
    EXPECT_EQ(channel(), before); // the channel went with the image
    HWND another = CreateWindowExA(0, "QuolixLaunch", "", WS_CHILD, 0, 0, 0, 0, frame.hwnd(), NULL, module, NULL);
    EXPECT_TRUE(another && DestroyWindow(another)) << "the class kept a procedure in the freed image";
    EXPECT_TRUE(DeleteFileW(dll.c_str()));
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
        EXPECT_TRUE(RemoveDirectoryW(folder->c_str()));
}

TEST_F(Attach, HostileRegistryValuesNeverReachTheTerminalUnterminated) {
    StoreHandEditedValues();
    // A count of 9 loads the first five entries, a negative count an empty table; a double-byte
    // character straddling the cut at 79 bytes is dropped whole.
    ExpectAttachOf({std::string(79, 'A'), std::string(79, 'B'), "DCBA", std::string(78, 'C'), Sjis("メモ帳")}, {});
}

int WINAPI AnswerBox(HWND, LPCWSTR, LPCWSTR, UINT) { return IDOK; }

TEST(CrossProcess, TextsArriveIntactInATerminalOfAnotherProcess) {
    ResetRegistry();
    ConfigureTables({{Sjis("メモ帳"), "notepad.exe"}}, {{Sjis("日記"), "diary.scr"}});
    TestFolder folder("qx-cross");
    std::string journal = folder / "journal.txt";
    JobProcess host;
    HWND frame = StartTerminal(host, "--no-load --journal \"" + journal + "\"");
    ASSERT_NE(frame, nullptr);

    // A failure box in place of the attach (shown in UTF-16) is answered at once: the load then
    // fails.
    void* box = HookExport("USER32.dll", "MessageBoxW", reinterpret_cast<void*>(AnswerBox));
    HMODULE module = LoadAddon();
    HookExport("USER32.dll", "MessageBoxW", box);
    ASSERT_NE(module, nullptr);
    HWND launcher = FindLauncherWindow(frame);
    ASSERT_NE(launcher, nullptr);
    EXPECT_EQ(GetWindowThreadProcessId(launcher, NULL), GetCurrentThreadId());
    // A pick in the terminal reaches our window; the script name crosses over too.
    PostMessageA(frame, WM_COMMAND, 300, 0);
    EXPECT_TRUE(WaitUntil([&] {
        PumpPending();
        return ReadFileBytes(journal).find("HM_RUNSCRIPT") != std::string::npos;
    })) << "the script did not reach the terminal";
    PostMessageA(frame, WM_CLOSE, 0, 0);
    EXPECT_TRUE(host.WaitForExitPumping(10000)) << "the stand-in terminal did not end";
    // The frame's end reaches our child window as a message of its own.
    EXPECT_TRUE(WaitUntil([&] { PumpPending(); return !IsWindow(launcher); }));

    std::string log = ReadFileBytes(journal);
    const std::string expected =
        "FRAME READY\n"
        "HM_ADDFILEITEM wParam=launcher lParam=0\n"
        "HM_SETITEMID wParam=200 lParam=0\n"
        "HM_ADDFILEITEM wParam=launcher lParam=handle id=200 text=" + Sjis("メモ帳") + "\n"
        "HM_ADDSCRIPTITEM wParam=launcher lParam=0\n"
        "HM_SETITEMID wParam=300 lParam=0\n"
        "HM_ADDSCRIPTITEM wParam=launcher lParam=handle id=300 text=" + Sjis("日記") + "\n"
        "HM_SETITEMID wParam=100 lParam=0\n"
        "HM_ADDSETTINGSITEM wParam=launcher lParam=handle id=100 text=" + kSettingsItem + "\n"
        "PICK id=300\n"
        "HM_RUNSCRIPT wParam=9 lParam=handle text=diary.scr\n"
        "FRAME DESTROYED\n";
    EXPECT_EQ(log, expected);
}

// Whether a module of that name is mapped in the process, read from its loader's list; the
// listing itself must work, so KERNEL32 is asked for as well.
bool ModuleLoaded(DWORD pid, const char* name) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    EXPECT_NE(snapshot, INVALID_HANDLE_VALUE);
    bool kernel = false, found = false;
    MODULEENTRY32 module = {};
    module.dwSize = sizeof(module);
    for (BOOL more = Module32First(snapshot, &module); more; more = Module32Next(snapshot, &module)) {
        kernel = kernel || lstrcmpiA(module.szModule, "kernel32.dll") == 0;
        found = found || lstrcmpiA(module.szModule, name) == 0;
    }
    CloseHandle(snapshot);
    EXPECT_TRUE(kernel) << "the module list of process " << pid << " could not be read";
    return found;
}

// The stand-in terminal has none of the three libraries mapped after the attach; each arrives
// with its first use: the first pick of a program, the first sheet, the first browse.
TEST(LateBinding, ShellSheetAndFileDialogLibrariesArriveWithTheirFirstUse) {
    ResetRegistry();
    ConfigureTables({{"Noop", "qxnoop.exe"}}, {});
    JobProcess host;
    HWND launcher = FindLauncherWindow(StartTerminal(host, ""));
    ASSERT_NE(launcher, nullptr);
    ASSERT_TRUE(ModuleLoaded(host.pid(), "QXLAUNCH.DLL"));
    for (const char* library : {"SHELL32.DLL", "COMCTL32.DLL", "COMDLG32.DLL"})
        EXPECT_FALSE(ModuleLoaded(host.pid(), library)) << library << " mapped at attach";
    SendMessageA(launcher, WM_COMMAND, 200, 0); // answered before the shell is called
    EXPECT_TRUE(WaitUntil([&] { return ModuleLoaded(host.pid(), "SHELL32.DLL"); }));
    PostMessageA(launcher, WM_COMMAND, 100, 0);
    HWND sheet = WaitForDialog(8000, host.pid());
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(ModuleLoaded(host.pid(), "COMCTL32.DLL"));
    PostMessageA(CurrentPage(sheet), WM_COMMAND, 1015, 0); // the first row's browse button
    HWND files = WaitForOwnedDialog(sheet);
    ASSERT_NE(files, nullptr);
    EXPECT_TRUE(ModuleLoaded(host.pid(), "COMDLG32.DLL"));
    PostMessageA(files, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(files); }));
    PostSheetButton(sheet, PSBTN_CANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(sheet); }));
    PostMessageA(GetParent(launcher), WM_CLOSE, 0, 0);
    EXPECT_TRUE(host.WaitForExit(10000));
}

} // namespace
