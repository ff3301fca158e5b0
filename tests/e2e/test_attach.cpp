// Attach: the exact message sequences the terminal sees, the hidden launcher window, the three
// failure boxes, and texts crossing into a terminal that lives in another process.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "harness.h"
#include "processes.h"

#include <tlhelp32.h>

using namespace qx;

namespace {

// The add-on's own texts as code-page-932 bytes.
const std::string kSettingsCaption = "Quolix\x83\x89\x83\x93\x83\x60\x82\xcc\x90\xdd\x92\xe8...";
const std::string kHostNotRunning =
    "Quolix\x82\xaa\x82\xdc\x82\xbe\x8b\x4e\x93\xae\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82"
    "\xb9\x82\xf1\x81\x42";
const std::string kInternalError1 = "QXLAUNCH.DLL: \x93\xe0\x95\x94\x83\x47\x83\x89\x81\x5b" "1";
const std::string kInternalError2 = "QXLAUNCH.DLL: \x93\xe0\x95\x94\x83\x47\x83\x89\x81\x5b" "2";

class Attach : public ::testing::Test {
  protected:
    void SetUp() override { ResetRegistry(); }
    void TearDown() override { ResetRegistry(); }

    // Loads the add-on under a fresh frame and returns the private messages it sent.
    std::vector<HostMessage> AttachAndRecord() {
        EXPECT_NE(LoadAddon(), nullptr);
        launcher = FindLauncherWindow(frame.hwnd());
        return MenuMessages(frame.journal);
    }

    void ExpectMessage(const HostMessage& m, UINT message, WPARAM wParam, const char* text) {
        EXPECT_EQ(MessageName(m.message), std::string(MessageName(message)));
        EXPECT_EQ(m.wParam, wParam);
        if (text == nullptr) {
            EXPECT_EQ(m.lParam, 0);
        } else {
            EXPECT_NE(m.lParam, 0);
            EXPECT_EQ(m.text, std::string(text));
        }
    }
    WPARAM L() const { return reinterpret_cast<WPARAM>(launcher); }

    TestFrame frame;
    HWND launcher = NULL;
};

TEST_F(Attach, BothTablesEmptySendOnlyTheSettingsItem) {
    auto messages = AttachAndRecord();
    ASSERT_EQ(messages.size(), 2u);
    ExpectMessage(messages[0], HM_SETITEMID, 100, nullptr);
    ExpectMessage(messages[1], HM_ADDSETTINGSITEM, L(), kSettingsCaption.c_str());
    EXPECT_EQ(messages[1].text.size() + 1, 22u);
}

TEST_F(Attach, TwoProgramsAndNoScriptsSendSevenMessagesInOrder) {
    ConfigureTables({{Sjis("メモ帳"), "notepad.exe"}, {Sjis("表計算"), "calc.exe"}}, {});
    auto messages = AttachAndRecord();
    ASSERT_EQ(messages.size(), 7u);
    ExpectMessage(messages[0], HM_ADDFILEITEM, L(), nullptr);
    ExpectMessage(messages[1], HM_SETITEMID, 200, nullptr);
    ExpectMessage(messages[2], HM_ADDFILEITEM, L(), Sjis("メモ帳").c_str());
    ExpectMessage(messages[3], HM_SETITEMID, 201, nullptr);
    ExpectMessage(messages[4], HM_ADDFILEITEM, L(), Sjis("表計算").c_str());
    ExpectMessage(messages[5], HM_SETITEMID, 100, nullptr);
    ExpectMessage(messages[6], HM_ADDSETTINGSITEM, L(), kSettingsCaption.c_str());
}

TEST_F(Attach, OneScriptOpensOnlyTheScriptGroup) {
    ConfigureTables({}, {{Sjis("日記"), "diary.scr"}});
    auto messages = AttachAndRecord();
    ASSERT_EQ(messages.size(), 5u);
    ExpectMessage(messages[0], HM_ADDSCRIPTITEM, L(), nullptr);
    ExpectMessage(messages[1], HM_SETITEMID, 300, nullptr);
    ExpectMessage(messages[2], HM_ADDSCRIPTITEM, L(), Sjis("日記").c_str());
    ExpectMessage(messages[3], HM_SETITEMID, 100, nullptr);
    ExpectMessage(messages[4], HM_ADDSETTINGSITEM, L(), kSettingsCaption.c_str());
    for (const HostMessage& m : messages)
        EXPECT_NE(m.message, HM_ADDFILEITEM);
}

TEST_F(Attach, FiveAndFiveGiveElevenDistinctHandlesEachWithItsOwnTitle) {
    EntryList programs, scripts;
    for (int i = 0; i < 5; ++i) {
        programs.push_back({"Program " + std::to_string(i), "C:\\target\\p" + std::to_string(i) + ".exe"});
        scripts.push_back({"Script " + std::to_string(i), "s" + std::to_string(i) + ".scr"});
    }
    ConfigureTables(programs, scripts);
    auto messages = AttachAndRecord();
    ASSERT_EQ(messages.size(), 24u);

    std::vector<WPARAM> ids;
    std::set<LPARAM> handles;
    std::vector<std::string> texts;
    for (const HostMessage& m : messages) {
        if (m.message == HM_SETITEMID)
            ids.push_back(m.wParam);
        else if (m.lParam != 0) {
            handles.insert(m.lParam);
            texts.push_back(m.text);
        }
    }
    EXPECT_EQ(ids, (std::vector<WPARAM>{200, 201, 202, 203, 204, 300, 301, 302, 303, 304, 100}));
    EXPECT_EQ(handles.size(), 11u);
    ASSERT_EQ(texts.size(), 11u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(texts[i], programs[i].first);
        EXPECT_EQ(texts[5 + i], scripts[i].first);
    }
    EXPECT_EQ(texts[10], kSettingsCaption);
    // Only titles travel at attach; no target ever reaches the terminal.
    for (const std::string& text : texts)
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(text.find(programs[i].second), std::string::npos);
            EXPECT_NE(text, scripts[i].second);
        }
}

TEST_F(Attach, LauncherWindowIsAHiddenZeroSizeChildOfTheFrame) {
    AttachAndRecord();
    ASSERT_NE(launcher, nullptr);
    char cls[32] = "";
    GetClassNameA(launcher, cls, sizeof(cls));
    EXPECT_STREQ(cls, "QuolixLaunch");
    EXPECT_EQ(GetParent(launcher), frame.hwnd());
    EXPECT_FALSE(IsWindowVisible(launcher));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(launcher, GWL_STYLE)) & ~WS_CLIPSIBLINGS,
              static_cast<DWORD>(WS_CHILD));
    EXPECT_EQ(GetWindowLongA(launcher, GWL_EXSTYLE), 0);
    RECT r;
    GetWindowRect(launcher, &r);
    EXPECT_EQ(r.right - r.left, 0);
    EXPECT_EQ(r.bottom - r.top, 0);
    EXPECT_EQ(GetWindowTextLengthA(launcher), 0);
    EXPECT_EQ(GetWindowThreadProcessId(launcher, NULL), GetCurrentThreadId());
    // Messages the add-on does not handle reach the default procedure.
    SetWindowTextA(launcher, "probe");
    char text[16] = "";
    GetWindowTextA(launcher, text, sizeof(text));
    EXPECT_STREQ(text, "probe");
}

TEST_F(Attach, HostTerminalNotRunningShowsOneBoxAndFailsTheLoad) {
    frame.Destroy();
    std::string defaultCaption = DefaultBoxCaption();
    BoxInfo box;
    int boxes = 0;
    HMODULE module = reinterpret_cast<HMODULE>(1);
    RunDriven([&] { module = LoadAddon(); },
              [&] {
                  HWND found = WaitForDialog();
                  ASSERT_NE(found, nullptr);
                  box = ReadMessageBox(found);
                  ++boxes;
                  PressButton(found, IDOK);
                  // No second box follows.
                  while (IsWindow(found))
                      Sleep(10);
                  if (WaitForDialog(500))
                      ++boxes;
              });
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(box.text, kHostNotRunning);
    EXPECT_EQ(box.caption, defaultCaption);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_TRUE(box.iconError);
    WNDCLASSA wc;
    EXPECT_FALSE(GetClassInfoA(AddonPreferredBase(), "QuolixLaunch", &wc));
    EXPECT_EQ(FindWindowA("QuolixLaunch", NULL), nullptr);
    EXPECT_FALSE(KeyExists("Software\\Koravi"));
}

// The class fails to register when one of the same name already exists for the add-on's
// instance; the add-on loads at its fixed base, so the test can claim the name first.
TEST_F(Attach, ClassThatCannotBeRegisteredShowsInternalErrorOne) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = AddonPreferredBase();
    wc.lpszClassName = "QuolixLaunch";
    ASSERT_NE(RegisterClassA(&wc), 0);
    BoxInfo box;
    HMODULE module = LoadAddonAnsweringOneBox(box);
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(box.text, kInternalError1);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_TRUE(box.iconError);
    EXPECT_EQ(FindLauncherWindow(frame.hwnd()), nullptr);
    EXPECT_FALSE(KeyExists("Software\\Koravi"));
    EXPECT_TRUE(MenuMessages(frame.journal).empty());
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
    BoxInfo box;
    HMODULE module = LoadAddonAnsweringOneBox(box);
    UnhookWindowsHookEx(creationHook);
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(box.text, kInternalError2);
    EXPECT_EQ(box.owner, nullptr); // not the frame, although it is known by then
    EXPECT_TRUE(box.iconError);
    EXPECT_FALSE(KeyExists("Software\\Koravi"));
    EXPECT_TRUE(MenuMessages(frame.journal).empty());
}

TEST_F(Attach, ThreadNotificationsAndUnloadLeaveTheWindowWorking) {
    ConfigureTables({}, {{"Diary", "diary.scr"}});
    HMODULE module = LoadAddon();
    ASSERT_NE(module, nullptr);
    HWND window = FindLauncherWindow(frame.hwnd());
    size_t before = frame.journal.size();
    std::thread([] {}).join(); // thread attach and detach
    EXPECT_EQ(frame.journal.size(), before);
    // Unloading must not leave the terminal a window whose procedure is gone.
    FreeLibrary(module);
    EXPECT_NE(GetModuleHandleA("QXLAUNCH.DLL"), nullptr);
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(SendMessageA(window, WM_COMMAND, 300, 0), 0);
    ASSERT_EQ(frame.journal.size(), before + 1);
    EXPECT_EQ(frame.journal.back().message, HM_RUNSCRIPT);
}

TEST_F(Attach, HostileRegistryValuesNeverReachTheTerminalUnterminated) {
    SetDword(kFileKey, "Count", 9);
    SetDword(kScriptKey, "Count", static_cast<DWORD>(-1));
    SetString(kFileKey, "Title00", std::string(500, 'A'));
    std::string binary(80, 'B');
    SetRaw(kFileKey, "Title01", REG_BINARY, binary.data(), 80);
    DWORD number = 0x41424344;
    SetRaw(kFileKey, "Title02", REG_DWORD, &number, 4);
    // A double-byte character straddling the cut at 79 bytes is dropped whole.
    SetString(kFileKey, "Title03", std::string(78, 'C') + Sjis("表"));
    SetString(kFileKey, "Title04", Sjis("メモ帳"));
    SetString(kFileKey, "Command04", "notepad.exe");
    auto messages = AttachAndRecord();
    std::vector<std::string> titles;
    for (const HostMessage& m : messages) {
        EXPECT_NE(m.message, HM_ADDSCRIPTITEM); // a negative count loads as an empty table
        if (m.message == HM_ADDFILEITEM && m.lParam != 0)
            titles.push_back(m.text);
    }
    ASSERT_EQ(titles.size(), 5u); // a count of 9 loads the first five entries
    EXPECT_EQ(titles[0], std::string(79, 'A'));
    EXPECT_EQ(titles[1], std::string(79, 'B'));
    EXPECT_EQ(titles[2], "DCBA");
    EXPECT_EQ(titles[3], std::string(78, 'C'));
    EXPECT_EQ(titles[4], Sjis("メモ帳"));
}

TEST(CrossProcess, TextsArriveIntactInATerminalOfAnotherProcess) {
    ResetRegistry();
    ConfigureTables({{Sjis("メモ帳"), "notepad.exe"}}, {{Sjis("日記"), "diary.scr"}});
    std::string journal = TempPath("qx-cross-journal.txt");
    DeleteFileA(journal.c_str());
    std::string command = "\"" + ExeDirectory() + "qxhost.exe\" --no-load --journal \"" + journal + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi));
    HWND frame = NULL;
    for (int i = 0; i < 400 && !frame; ++i, Sleep(25))
        frame = FindWindowA("QuolixFrameClass", NULL);
    ASSERT_NE(frame, nullptr);
    DWORD framePid = 0;
    GetWindowThreadProcessId(frame, &framePid);
    EXPECT_EQ(framePid, pi.dwProcessId);

    ASSERT_NE(LoadAddon(), nullptr);
    HWND launcher = FindLauncherWindow(frame);
    ASSERT_NE(launcher, nullptr);
    EXPECT_EQ(GetWindowThreadProcessId(launcher, NULL), GetCurrentThreadId());
    // A pick in the terminal reaches our window; the script name crosses over too.
    PostMessageA(frame, WM_COMMAND, 300, 0);
    for (int i = 0; i < 100; ++i) {
        PumpPending();
        Sleep(10);
    }
    PostMessageA(frame, WM_CLOSE, 0, 0);
    while (MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        PumpPending();
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_FALSE(IsWindow(launcher));

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
        "HM_ADDSETTINGSITEM wParam=launcher lParam=handle id=100 text=" + kSettingsCaption + "\n"
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
    ASSERT_TRUE(host.Start("\"" + ExeDirectory() + "qxhost.exe\"", ExeDirectory()));
    HWND launcher = NULL;
    ASSERT_TRUE(WaitUntil([&] { return (launcher = FindLauncherWindow(FindWindowA("QuolixFrameClass", NULL))) != NULL; }, 10000));
    ASSERT_TRUE(ModuleLoaded(host.pid(), "QXLAUNCH.DLL"));
    for (const char* library : {"SHELL32.DLL", "COMCTL32.DLL", "COMDLG32.DLL"})
        EXPECT_FALSE(ModuleLoaded(host.pid(), library)) << library << " mapped at attach";
    SendMessageA(launcher, WM_COMMAND, 200, 0);
    EXPECT_TRUE(ModuleLoaded(host.pid(), "SHELL32.DLL"));
    PostMessageA(launcher, WM_COMMAND, 100, 0);
    // A visible dialog of the terminal's process other than `except`: the sheet, then the file dialog.
    const auto hostDialog = [&host](HWND except) {
        for (HWND w = FindWindowExA(NULL, NULL, "#32770", NULL); w; w = FindWindowExA(NULL, w, "#32770", NULL)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == host.pid() && w != except && IsWindowVisible(w))
                return w;
        }
        return HWND(NULL);
    };
    HWND sheet = NULL, files = NULL;
    ASSERT_TRUE(WaitUntil([&] { return (sheet = hostDialog(NULL)) != NULL; }, 8000));
    EXPECT_TRUE(ModuleLoaded(host.pid(), "COMCTL32.DLL"));
    PostMessageA(CurrentPage(sheet), WM_COMMAND, 1015, 0); // the first row's browse button
    ASSERT_TRUE(WaitUntil([&] { return (files = hostDialog(sheet)) != NULL; }, 8000));
    EXPECT_TRUE(ModuleLoaded(host.pid(), "COMDLG32.DLL"));
    PostMessageA(files, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(files); }));
    PostSheetButton(sheet, PSBTN_CANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(sheet); }));
    PostMessageA(GetParent(launcher), WM_CLOSE, 0, 0);
    EXPECT_TRUE(host.WaitForExit(10000));
}

} // namespace
