// The demo tour. Each step arms the timer for the next one before it acts, so a step that
// opens something modal (a menu, the settings sheet) is followed from inside that loop.
#include "tour.h"

#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <vector>

#include "png.h"

namespace {

constexpr UINT_PTR kTourTimer = 7001;

std::string tourDirectory;
size_t nextStep = 0;

void Shot(const char* name) {
    std::string path = tourDirectory + "\\" + name;
    bool ok = SaveScreenPng(path);
    std::printf("screenshot %s: %s\n", name, ok ? "saved" : "FAILED");
    std::fflush(stdout);
}

void OpenMenu(char mnemonic) { PostMessageA(HostFrame(), WM_SYSCOMMAND, SC_KEYMENU, mnemonic); }
void Pick(UINT id) { PostMessageA(HostFrame(), WM_COMMAND, id, 0); }

// Closes the programs the tour started: every captioned window of another process (the
// desktop's own windows have no caption).
BOOL CALLBACK CloseStartedProgram(HWND window, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId() && IsWindowVisible(window) && GetWindowTextLengthA(window) > 0)
        PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

void BringFrameBack() {
    EnumWindows(CloseStartedProgram, 0);
    SetForegroundWindow(HostFrame());
}

// The settings sheet: the window of this thread that holds a tab control.
BOOL CALLBACK FindSheet(HWND window, LPARAM found) {
    if (!FindWindowExA(window, NULL, "SysTabControl32", NULL))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

HWND SettingsSheet() {
    HWND sheet = NULL;
    EnumThreadWindows(GetCurrentThreadId(), FindSheet, reinterpret_cast<LPARAM>(&sheet));
    return sheet;
}

void ShowScriptPage() { PostMessageA(SettingsSheet(), PSM_SETCURSEL, 1, 0); }

// Opens the first row's list of script files, as a click on its arrow would.
void DropScriptList(BOOL drop) {
    HWND page = reinterpret_cast<HWND>(SendMessageA(SettingsSheet(), PSM_GETCURRENTPAGEHWND, 0, 0));
    SendDlgItemMessageA(page, 1010, CB_SHOWDROPDOWN, drop, 0);
}

// Closes the sheet without keeping anything: the tour changes no settings.
void CancelSettings() {
    DropScriptList(FALSE);
    PostMessageA(SettingsSheet(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
}

struct Step {
    UINT delayMs; // wait before this step runs
    void (*action)();
};

const Step kSteps[] = {
    {1000, [] { OpenMenu('p'); }},
    {900, [] { Shot("01-program-menu.png"); EndMenu(); }},
    {400, [] { OpenMenu('s'); }},
    {900, [] { Shot("02-script-menu.png"); EndMenu(); }},
    {400, [] { OpenMenu('t'); }},
    {900, [] { Shot("03-tools-menu.png"); EndMenu(); }},
    {400, [] { Pick(201); }},
    {3000, [] { Shot("04-program-started.png"); BringFrameBack(); }},
    {600, [] { Pick(301); }},
    {800, [] { Shot("05-script-run.png"); }},
    {600, [] { Pick(100); }},
    {1200, [] { Shot("06-settings-programs.png"); ShowScriptPage(); }},
    {900, [] { DropScriptList(TRUE); }},
    {700, [] { Shot("07-settings-scripts.png"); CancelSettings(); }},
    {800, [] { DestroyWindow(HostFrame()); }},
};

} // namespace

void StartTour(HWND frame, const std::string& directory) {
    tourDirectory = directory;
    nextStep = 0;
    SetTimer(frame, kTourTimer, kSteps[0].delayMs, NULL);
}

void AdvanceTour(HWND frame) {
    KillTimer(frame, kTourTimer);
    if (nextStep >= sizeof(kSteps) / sizeof(kSteps[0]))
        return;
    const Step& step = kSteps[nextStep++];
    if (nextStep < sizeof(kSteps) / sizeof(kSteps[0]))
        SetTimer(frame, kTourTimer, kSteps[nextStep].delayMs, NULL);
    step.action();
}
