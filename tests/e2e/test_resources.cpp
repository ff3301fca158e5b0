// Resources under load: many picks leave the process that holds the add-on, and the stand-in
// terminal measured from outside, with the handles, windows and GDI objects they started with;
// a terminal that destroys its frame mid-run keeps no handle of the add-on; loads in fresh
// processes all succeed. `make test` runs light counts; `make stress` sets QX_STRESS_PICKS and
// QX_STRESS_LOADS for the heavy ones.
#include <gtest/gtest.h>

#include <windows.h>
#include <prsht.h>

#include <functional>

#include "cell.h"
#include "harness.h"
#include "processes.h"

using namespace qx;

namespace {

// At most this many started programs run at once; the picks wait for them to end.
constexpr DWORD kProgramsAtOnce = 4;

void ConfigureFiveAndFive() {
    EntryList programs, scripts;
    for (int i = 0; i < 5; ++i) {
        programs.push_back({Sjis("プログラム") + std::to_string(i), "qxnoop.exe entry" + std::to_string(i)});
        scripts.push_back({Sjis("日記") + std::to_string(i), "diary" + std::to_string(i) + ".scr"});
    }
    ConfigureTables(programs, scripts);
}

// Pick number i of a run: programs and scripts in turn, every entry alike.
int PickId(int i) { return (i % 2 == 0 ? 200 : 300) + (i / 2) % 5; }

struct Snapshot {
    int handles = 0;
    GuiObjects gui;
    int mappedViews = -1; // only for this process
    std::string Describe() const {
        return "handles=" + std::to_string(handles) + " " + qx::Describe(gui) +
               (mappedViews >= 0 ? " views=" + std::to_string(mappedViews) : "");
    }
};

Snapshot OwnSnapshot() {
    Snapshot s;
    s.handles = ProcessHandleCount(GetCurrentProcessId());
    s.gui = CountGuiObjects(GetCurrentProcess(), GetCurrentProcessId());
    s.mappedViews = CountMappedRegions();
    return s;
}

Snapshot SnapshotOf(const JobProcess& process) {
    Snapshot s;
    s.handles = ProcessHandleCount(process.pid());
    s.gui = CountGuiObjects(process.process(), process.pid());
    return s;
}

void ExpectFlat(const Snapshot& before, const Snapshot& after) {
    EXPECT_EQ(after.handles, before.handles) << "handles";
    EXPECT_EQ(after.gui.user, before.gui.user) << "USER objects";
    EXPECT_EQ(after.gui.gdi, before.gui.gdi) << "GDI objects";
    EXPECT_EQ(after.mappedViews, before.mappedViews) << "mapped views";
}

class Resources : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetRegistry();
        ConfigureFiveAndFive();
        // Programs are started in the current directory ("."), where qxnoop is.
        SetCurrentDirectoryA(ExeDirectory().c_str());
    }
    void TearDown() override { ResetRegistry(); }
};

TEST_F(Resources, PicksInOneProcessLeaveItsHandlesAndGuiObjectsFlat) {
    SelfJob job; // the started programs join it, so the test can wait for them
    ASSERT_TRUE(job.ok());
    TestFrame frame;
    frame.closeReceived = true; // the terminal owns the handles it receives
    ASSERT_NE(LoadAddon(), nullptr);
    HWND launcher = FindLauncherWindow(frame.hwnd());
    ASSERT_NE(launcher, nullptr);
    int scriptsSeen = 0;
    const auto run = [&](int picks) {
        for (int i = 0; i < picks; ++i) {
            SendMessageA(launcher, WM_COMMAND, PickId(i), 0);
            ASSERT_TRUE(job.WaitForActiveAtMost(1 + kProgramsAtOnce, 10000));
        }
        ASSERT_TRUE(job.WaitForActiveAtMost(1, 10000)) << "started programs did not end";
        for (const HostMessage& m : frame.journal)
            scriptsSeen += m.message == HM_RUNSCRIPT;
        frame.journal.clear();
        PumpPending();
    };
    run(20); // the shell and the channel settle
    scriptsSeen = 0;
    const int picks = CountFromEnvironment("QX_STRESS_PICKS", 100);
    Snapshot before = OwnSnapshot();
    run(picks);
    Snapshot after = OwnSnapshot();
    EXPECT_EQ(scriptsSeen, picks / 2);
    ExpectFlat(before, after);
    PrintFigure("in_process_picks", std::to_string(picks) + " (" + std::to_string(picks / 2) +
                                        " programs started, " + std::to_string(scriptsSeen) +
                                        " scripts sent)");
    PrintFigure("in_process_before", before.Describe());
    PrintFigure("in_process_after", after.Describe());
}

// One settings sheet, opened from the settings item and cancelled by a second thread once it has
// shown both pages (the script page lists the terminal's folder). False if a step timed out.
bool OpenAndCancelSheet(HWND launcher) {
    bool shown = false;
    RunDriven([launcher] { SendMessageA(launcher, WM_COMMAND, 100, 0); },
              [&shown] {
                  HWND sheet = WaitForSheet(5000);
                  if (!sheet)
                      return;
                  PostSheetPage(sheet, 1);
                  bool onScriptPage = WaitUntil([sheet] {
                      HWND page = CurrentPage(sheet);
                      return page && GetDlgItem(page, 1010);
                  });
                  PostSheetButton(sheet, PSBTN_CANCEL);
                  shown = onScriptPage && WaitUntil([sheet] { return !IsWindow(sheet); });
              });
    return shown;
}

TEST_F(Resources, SettingsSheetsOpenedAndCancelledLeaveItsHandlesAndGuiObjectsFlat) {
    SetString(kHostConfigKey, "ScriptPath", FolderWithTwoScripts("qx-resources-scripts"));
    TestFrame frame;
    frame.closeReceived = true;
    ASSERT_NE(LoadAddon(), nullptr);
    HWND launcher = FindLauncherWindow(frame.hwnd());
    ASSERT_NE(launcher, nullptr);
    const auto run = [&](int sheets) {
        for (int i = 0; i < sheets; ++i)
            ASSERT_TRUE(OpenAndCancelSheet(launcher)) << "sheet " << i;
        PumpPending();
    };
    run(3); // the common controls, the dialog font and the thread's caches settle
    const int sheets = CountFromEnvironment("QX_STRESS_SHEETS", 20);
    frame.journal.clear();
    const auto pageKinds = [] {
        return GdiObjectsOfKinds(GetCurrentProcess(), {kGdiFont, kGdiBrush, kGdiPen, kGdiExtPen, kGdiPalette});
    };
    Snapshot before = OwnSnapshot();
    int pageKindsBefore = pageKinds();
    DWORD start = GetTickCount();
    run(sheets);
    DWORD elapsed = GetTickCount() - start;
    int pageKindsAfter = pageKinds();
    Snapshot after = OwnSnapshot();
    EXPECT_EQ(after.handles, before.handles) << "handles";
    EXPECT_EQ(after.gui.user, before.gui.user) << "USER objects";
    EXPECT_EQ(after.mappedViews, before.mappedViews) << "mapped views";
    // Wine's cache of window DCs (a DC with its region and surface) grows now and then with any
    // property sheet, the add-on's pages or plain ones alike, so all GDI objects are flat only
    // where the platform counts them itself; under Wine the kinds a page could leave are.
    if (GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS) != 0) {
        EXPECT_EQ(after.gui.gdi, before.gui.gdi) << "GDI objects";
    } else {
        EXPECT_GT(pageKindsBefore, 0) << "Wine's GDI table was not read";
        EXPECT_EQ(pageKindsAfter, pageKindsBefore) << "fonts, brushes, pens and palettes";
    }
    // Cancel changes nothing: each opening asked whether the terminal is online, nothing more.
    EXPECT_EQ(frame.journal.size(), static_cast<size_t>(sheets));
    EXPECT_EQ(MenuMessages(frame.journal).size(), 0u);
    PrintFigure("settings_sheets", std::to_string(sheets) + " opened, both pages shown, cancelled in " +
                                       std::to_string(elapsed) + " ms");
    PrintFigure("settings_sheets_before", before.Describe() + " fonts/brushes/pens/palettes=" + std::to_string(pageKindsBefore));
    PrintFigure("settings_sheets_after", after.Describe() + " fonts/brushes/pens/palettes=" + std::to_string(pageKindsAfter));
}

// The stand-in terminal's frame, once the add-on it loaded has registered its items.
HWND WaitForLoadedFrame(DWORD pid) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(20)) {
        for (HWND frame = FindWindowExA(NULL, NULL, "QuolixFrameClass", NULL); frame;
             frame = FindWindowExA(NULL, frame, "QuolixFrameClass", NULL)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(frame, &owner);
            // The launcher exists once the add-on is attaching; the terminal handles our
            // commands only after the attach has returned.
            if (owner == pid && FindLauncherWindow(frame))
                return frame;
        }
    }
    return NULL;
}

// Picks made in the stand-in terminal: it forwards each menu command to the add-on's window.
// `programsDone` waits until at most the given number of started programs still run.
void PickThroughTerminal(HWND frame, int picks, const std::function<bool(DWORD)>& programsDone) {
    for (int i = 0; i < picks; ++i) {
        SendMessageA(frame, WM_COMMAND, PickId(i), 0);
        ASSERT_TRUE(programsDone(kProgramsAtOnce));
    }
    ASSERT_TRUE(programsDone(0)) << "started programs did not end";
    UpdateWindow(frame); // let it paint what the picks showed before it is counted
}

TEST_F(Resources, StandInTerminalStaysFlatMeasuredFromOutside) {
    JobProcess host;
    ASSERT_TRUE(host.Start("\"" + ExeDirectory() + "qxhost.exe\"", ExeDirectory()));
    HWND frame = WaitForLoadedFrame(host.pid());
    ASSERT_NE(frame, nullptr) << "the stand-in terminal did not load the add-on";
    // The terminal and the programs the add-on starts inside it share the terminal's job.
    const auto programsDone = [&host](DWORD running) { return host.WaitForActiveAtMost(1 + running, 10000); };
    PickThroughTerminal(frame, 20, programsDone);
    const int picks = CountFromEnvironment("QX_STRESS_PICKS", 100);
    Snapshot before = SnapshotOf(host);
    PickThroughTerminal(frame, picks, programsDone);
    Snapshot after = SnapshotOf(host);
    ExpectFlat(before, after);
    PrintFigure("stand_in_picks", std::to_string(picks));
    PrintFigure("stand_in_before", before.Describe());
    PrintFigure("stand_in_after", after.Describe());
    PostMessageA(frame, WM_CLOSE, 0, 0);
    EXPECT_TRUE(host.WaitForExit(10000));
}

// The add-on in this process, the frame in the stand-in terminal's: every text crosses by a
// duplicated handle that the terminal closes, and both processes stay flat.
TEST_F(Resources, AddonAndStandInTerminalInTwoProcessesStayFlat) {
    JobProcess host;
    ASSERT_TRUE(host.Start("\"" + ExeDirectory() + "qxhost.exe\" --no-load", ExeDirectory()));
    HWND frame = NULL;
    for (DWORD start = GetTickCount(); !frame && GetTickCount() - start < 10000; Sleep(20))
        frame = FindWindowA("QuolixFrameClass", NULL);
    ASSERT_NE(frame, nullptr);
    SelfJob job; // joined after the terminal started, so only the programs we start join it
    ASSERT_TRUE(job.ok());
    ASSERT_NE(LoadAddon(), nullptr);
    const auto programsDone = [&job](DWORD running) { return job.WaitForActiveAtMost(1 + running, 10000); };
    PickThroughTerminal(frame, 20, programsDone);
    const int picks = CountFromEnvironment("QX_STRESS_PICKS", 100);
    Snapshot ownBefore = OwnSnapshot(), hostBefore = SnapshotOf(host);
    PickThroughTerminal(frame, picks, programsDone);
    Snapshot ownAfter = OwnSnapshot(), hostAfter = SnapshotOf(host);
    ExpectFlat(ownBefore, ownAfter);
    ExpectFlat(hostBefore, hostAfter);
    PrintFigure("two_process_picks", std::to_string(picks));
    PrintFigure("two_process_addon_before", ownBefore.Describe());
    PrintFigure("two_process_addon_after", ownAfter.Describe());
    PrintFigure("two_process_terminal_before", hostBefore.Describe());
    PrintFigure("two_process_terminal_after", hostAfter.Describe());
    PostMessageA(frame, WM_CLOSE, 0, 0);
    HANDLE hostProcess = host.process();
    while (MsgWaitForMultipleObjects(1, &hostProcess, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        PumpPending(); // the frame's end destroys our launcher window, on this thread
}

// Handles, sections and views of this process once the add-on's imports are loaded, so that
// what the add-on adds is all that a later count can differ by.
struct Baseline {
    Snapshot snapshot;
    int sections = 0;
};

Baseline BaselineBeforeLoad() {
    LoadLibraryA("comctl32.dll");
    LoadLibraryA("comdlg32.dll");
    LoadLibraryA("shell32.dll");
    return {OwnSnapshot(), OwnHandlesOfType(L"Section")};
}

void ExpectNothingOfTheAddonLeft(const Baseline& baseline, const std::string& figure) {
    Snapshot now = OwnSnapshot();
    int sections = OwnHandlesOfType(L"Section");
    EXPECT_EQ(sections, baseline.sections) << "a section handle is left";
    EXPECT_EQ(now.handles, baseline.snapshot.handles);
    EXPECT_EQ(now.mappedViews, baseline.snapshot.mappedViews) << "a view is left";
    EXPECT_EQ(FindWindowA("QuolixLaunch", NULL), nullptr);
    PrintFigure(figure + "_before_load", baseline.snapshot.Describe() + " sections=" + std::to_string(baseline.sections));
    PrintFigure(figure + "_after_frame", now.Describe() + " sections=" + std::to_string(sections));
}

TEST_F(Resources, FrameDestroyedInTheMiddleOfAPickRunLeavesNoHandleOfTheAddon) {
    Baseline baseline = BaselineBeforeLoad();
    TestFrame frame;
    frame.closeReceived = true;
    int scripts = 0;
    frame.onMessage = [&](const HostMessage& m) {
        // The terminal goes away while it handles the third script of the run.
        if (m.message == HM_RUNSCRIPT && ++scripts == 3)
            frame.Destroy();
    };
    ASSERT_NE(LoadAddon(), nullptr);
    HWND launcher = FindLauncherWindow(frame.hwnd());
    for (int i = 0; i < 20; ++i)
        SendMessageA(launcher, WM_COMMAND, 300 + i % 5, 0);
    EXPECT_FALSE(IsWindow(launcher));
    EXPECT_EQ(scripts, 3);
    ExpectNothingOfTheAddonLeft(baseline, "destroyed_mid_run");
}

TEST_F(Resources, FrameDestroyedWhileTheAddonRegistersItsItemsLeavesNoHandleOfTheAddon) {
    Baseline baseline = BaselineBeforeLoad();
    TestFrame frame;
    frame.closeReceived = true;
    int items = 0;
    frame.onMessage = [&](const HostMessage& m) {
        if (m.message == HM_ADDFILEITEM && m.lParam != 0 && ++items == 2)
            frame.Destroy();
    };
    EXPECT_NE(LoadAddon(), nullptr);
    size_t messages = frame.journal.size();
    EXPECT_EQ(items, 2);
    ExpectNothingOfTheAddonLeft(baseline, "destroyed_registering");
    // Nothing more reaches the terminal that went away.
    EXPECT_EQ(frame.journal.size(), messages);
}

WNDPROC frameProcedure;
LRESULT CALLBACK DestroyWhenAChildIsCreated(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PARENTNOTIFY && LOWORD(wParam) == WM_CREATE) {
        DestroyWindow(window);
        return 0;
    }
    return CallWindowProcA(frameProcedure, window, message, wParam, lParam);
}

TEST_F(Resources, FrameDestroyedWhileTheLauncherWindowIsCreatedFailsTheLoadCleanly) {
    Baseline baseline = BaselineBeforeLoad();
    TestFrame frame;
    frameProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        frame.hwnd(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DestroyWhenAChildIsCreated)));
    BoxInfo box;
    EXPECT_EQ(LoadAddonAnsweringOneBox(box), nullptr);
    EXPECT_EQ(box.text, "QXLAUNCH.DLL: \x93\xe0\x95\x94\x83\x47\x83\x89\x81\x5b" "2"); // internal error 2
    EXPECT_TRUE(frame.journal.empty());
    ExpectNothingOfTheAddonLeft(baseline, "destroyed_creating");
}

TEST_F(Resources, LoadsInFreshProcessesAllSucceed) {
    const int loads = CountFromEnvironment("QX_STRESS_LOADS", 20);
    std::vector<std::string> programs, scripts;
    for (int i = 0; i < 5; ++i) {
        programs.push_back(Sjis("プログラム") + std::to_string(i));
        scripts.push_back(Sjis("日記") + std::to_string(i));
    }
    std::vector<std::string> expected = ExpectedAttach(programs, scripts);
    expected.push_back("DONE");
    int succeeded = 0;
    DWORD start = GetTickCount();
    for (int i = 0; i < loads; ++i) {
        CellRun run = RunCell("");
        bool ok = run.started && run.exited && run.exitCode == 0 && run.strays == 0 &&
                  run.report == expected;
        EXPECT_TRUE(ok) << "load " << i << ": " << (run.report.empty() ? "no report" : run.report.back());
        succeeded += ok;
    }
    EXPECT_EQ(succeeded, loads);
    PrintFigure("fresh_process_loads", std::to_string(succeeded) + " of " + std::to_string(loads) +
                                           " in " + std::to_string(GetTickCount() - start) + " ms");
}

} // namespace
