// The demo tour. Each step arms the timer for the next one before it acts, so a step that
// opens something modal (a menu, the settings sheet) is followed from inside that loop.
#include "tour.h"

#include <commctrl.h>
#include <prsht.h>

#include <algorithm>
#include <cstdio>
#include <string>
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

// Help: the sheet's Help button makes the add-on call WinHelpA, which starts the system's help
// viewer on QXLAUNCH.HLP and returns once the viewer shows its contents topic (the main tour runs
// where no QXLAUNCH.CHM lies beside the add-on); beside the CHM it opens HTML Help instead (the
// HTML Help tour).
void PressHelp() {
    DropScriptList(FALSE);
    PostMessageA(SettingsSheet(), PSM_PRESSBUTTON, PSBTN_HELP, 0);
}

// The viewer's main window (class "MS_WINHELP") and its rich-text child.
HWND HelpViewer() { return FindWindowA("MS_WINHELP", NULL); }
HWND HelpText() { return GetDlgItem(HelpViewer(), 0x701); }

std::wstring HelpTextShown() {
    wchar_t text[4096] = L"";
    DWORD_PTR n = 0;
    SendMessageTimeoutW(HelpText(), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, &n);
    return std::wstring(text, n);
}

// Waits while this thread's windows repaint what the viewer uncovers; other messages wait.
void PaintFor(DWORD ms) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms;) {
        MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_PAINT | QS_SENDMESSAGE);
        MSG msg;
        while (PeekMessageA(&msg, NULL, WM_PAINT, WM_PAINT, PM_REMOVE))
            DispatchMessageA(&msg);
    }
}

// Waits (bounded) until the viewer shows a text that holds `expected`, then lets it paint.
void WaitForHelp(const wchar_t* expected) {
    for (int i = 0; i < 100 && HelpTextShown().find(expected) == std::wstring::npos; ++i)
        PaintFor(100);
    PaintFor(800);
}

// Places the viewer over the sheet, inside the part of the screen the pictures keep.
void ShowHelpContents() {
    SetWindowPos(HelpViewer(), HWND_TOP, 90, 60, 620, 470, SWP_SHOWWINDOW);
    WaitForHelp(L"目次");
}

// Clicks a link of the shown topic. Wine's viewer (8.0) places a link by the bytes of the text
// before it, not by its characters, so in Japanese text the place it answers to lies further
// on than the link shows: the click goes to the character whose index is that byte count (the
// control counts a paragraph break as one character where its text has CR LF).
void FollowHelpLink(const wchar_t* link) {
    std::wstring text = HelpTextShown();
    size_t at = text.find(link);
    if (at == std::wstring::npos)
        return;
    std::wstring before = text.substr(0, at);
    before.erase(std::remove(before.begin(), before.end(), L'\n'), before.end());
    int length = static_cast<int>(before.size());
    int bytes = WideCharToMultiByte(932, 0, before.c_str(), length, NULL, 0, NULL, NULL);
    LRESULT pos = SendMessageA(HelpText(), EM_POSFROMCHAR, bytes, 0);
    LPARAM point = MAKELPARAM(LOWORD(pos) + 3, HIWORD(pos) + 4);
    PostMessageA(HelpText(), WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(HelpText(), WM_LBUTTONUP, 0, point);
}

void CloseHelp() { PostMessageA(HelpViewer(), WM_CLOSE, 0, 0); }

// On code page 1252 (the Western run): the sheet with rows of ASCII titles (the demo's own are
// code page 932 bytes, which this code page shows as other letters), and the both-fields rule
// over it, its fourth row holding a title alone.
void AskForBothFields() {
    HWND page = reinterpret_cast<HWND>(SendMessageA(SettingsSheet(), PSM_GETCURRENTPAGEHWND, 0, 0));
    const char* rows[][2] = {{"Notepad", "notepad.exe"}, {"WordPad", "wordpad.exe"}, {"Calculator", "calc.exe"}, {"Editor", ""}};
    for (int i = 0; i < 4; ++i) {
        SetDlgItemTextA(page, 1000 + i, rows[i][0]);
        SetDlgItemTextA(page, 1005 + i, rows[i][1]);
    }
    PostMessageA(SettingsSheet(), PSM_PRESSBUTTON, PSBTN_OK, 0);
}

// The message box over the sheet: this thread's dialog that the sheet owns.
BOOL CALLBACK FindBox(HWND window, LPARAM found) {
    if (GetWindow(window, GW_OWNER) != SettingsSheet())
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

void CloseBox() {
    HWND box = NULL;
    EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
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
    {700, [] { Shot("07-settings-scripts.png"); PressHelp(); }},
    {1500, [] {
         ShowHelpContents();
         Shot("08-help-contents.png");
         FollowHelpLink(L"プログラムの設定");
     }},
    {1200, [] { WaitForHelp(L"ｺﾏﾝﾄﾞﾗｲﾝ"); Shot("09-help-topic.png"); CloseHelp(); }},
    {800, [] { CancelSettings(); }},
    {800, [] { DestroyWindow(HostFrame()); }},
};

const Step kWesternSteps[] = {
    {1000, [] { Pick(100); }},
    {1200, [] { AskForBothFields(); }},
    {1000, [] { Shot("10-western-sheet.png"); CloseBox(); }},
    {600, [] { CancelSettings(); }},
    {800, [] { DestroyWindow(HostFrame()); }},
};

// HTML Help's window, moved where the shot shows it over the sheet.
void ShowHtmlHelp() {
    SetWindowPos(FindWindowA("HH Parent", NULL), HWND_TOP, 16, 40, 690, 500, SWP_SHOWWINDOW);
}

const Step kHtmlHelpSteps[] = {
    {1000, [] { Pick(100); }},
    {1200, [] { PressHelp(); }},
    {1500, [] { ShowHtmlHelp(); }},
    {1000, [] { Shot("11-help-html.png"); PostMessageA(FindWindowA("HH Parent", NULL), WM_CLOSE, 0, 0); }},
    {600, [] { CancelSettings(); }},
    {800, [] { DestroyWindow(HostFrame()); }},
};

const Step* steps = kSteps;
size_t stepCount = 0;

} // namespace

void StartTour(HWND frame, const std::string& directory, TourKind kind) {
    tourDirectory = directory;
    nextStep = 0;
    steps = kind == kWesternTour ? kWesternSteps : kind == kHtmlHelpTour ? kHtmlHelpSteps : kSteps;
    stepCount = kind == kWesternTour    ? sizeof(kWesternSteps) / sizeof(Step)
                : kind == kHtmlHelpTour ? sizeof(kHtmlHelpSteps) / sizeof(Step)
                                        : sizeof(kSteps) / sizeof(Step);
    SetTimer(frame, kTourTimer, steps[0].delayMs, NULL);
}

void AdvanceTour(HWND frame) {
    KillTimer(frame, kTourTimer);
    if (nextStep >= stepCount)
        return;
    const Step& step = steps[nextStep++];
    if (nextStep < stepCount)
        SetTimer(frame, kTourTimer, steps[nextStep].delayMs, NULL);
    step.action();
}
