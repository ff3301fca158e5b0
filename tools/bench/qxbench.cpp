// qxbench: the benchmark's helper under Wine. `configure` writes five programs and five scripts
// to the registry, `clear` removes them. `load DLL FILE [PRELOAD]` times one LoadLibraryA under a
// frame that answers the add-on's messages without any menu work, which shows the add-on's own
// share of the attach. `sheet RUNS` times the settings sheet: from WM_COMMAND
// 100 at the launcher window until the sheet's program page is visible, against a bare
// PropertySheetA of the same two templates with empty page procedures and against the same
// sheet showing the five entries, taking turns in one process. Every figure is printed on
// stdout (bench.py reads it from a file).
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "../qxhost/terminal_messages.h"
#include "../qxhost/timed_load.h"

namespace {

constexpr int IDM_SETTINGS = 100;
constexpr int IDD_FILEMENU = 101;
constexpr int IDD_SCRIPTMENU = 102;
constexpr int IDC_TITLE = 1000;
constexpr int IDC_COMMAND = 1005; // first command-line field: only the program page has it

constexpr const char* kFileKey = "Software\\Koravi\\QuolixLaunch\\File";
constexpr const char* kScriptKey = "Software\\Koravi\\QuolixLaunch\\Script";
constexpr const char* kHostConfigKey = "Software\\Koravi\\Quolix95\\Config";
// The add-on's sheet caption, so that the bare sheet draws the same title bar.
constexpr char kSheetCaption[] = "Quolixランチ V1.0 の設定";
constexpr double kGiveUpSeconds = 10;

void SetValue(HKEY key, const char* name, DWORD type, const void* data, DWORD size) {
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
}

// Five entries with Japanese titles, as a well-used configuration would have them.
void ConfigureTable(const char* path, const char* targetPrefix, const char* const titles[5],
                    const char* const targets[5]) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) !=
        ERROR_SUCCESS)
        return;
    DWORD count = 5;
    SetValue(key, "Count", REG_DWORD, &count, sizeof(count));
    for (int i = 0; i < 5; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "Title%02d", i);
        SetValue(key, name, REG_SZ, titles[i], static_cast<DWORD>(std::strlen(titles[i]) + 1));
        std::snprintf(name, sizeof(name), "%s%02d", targetPrefix, i);
        SetValue(key, name, REG_SZ, targets[i], static_cast<DWORD>(std::strlen(targets[i]) + 1));
    }
    RegCloseKey(key);
}

const char* const kProgramTitles[5] = {"メモ帳", "ワードパッドで説明書を開く", "電卓", "ペイント",
                                       "コマンドプロンプト"};
const char* const kPrograms[5] = {
    "notepad.exe", "\"C:\\Program Files\\Windows NT\\Accessories\\wordpad.exe\" readme.txt",
    "calc.exe", "mspaint.exe", "cmd.exe /k echo Quolix"};

void Configure() {
    const char* const scriptTitles[5] = {"ホストに接続", "日報の取得", "バックアップ",
                                         "メールの確認", "切断"};
    const char* const scripts[5] = {"login.scr", "日報.scr", "backup.scr", "mail.scr",
                                    "logout.scr"};
    ConfigureTable(kFileKey, "Command", kProgramTitles, kPrograms);
    ConfigureTable(kScriptKey, "ScriptFile", scriptTitles, scripts);
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kHostConfigKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                        NULL) == ERROR_SUCCESS) {
        const char folder[] = "C:\\windows\\temp";
        SetValue(key, "ScriptPath", REG_SZ, folder, sizeof(folder));
        RegCloseKey(key);
    }
}

void Clear() {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Koravi");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Koravi");
}

// A terminal frame that answers as an offline terminal and keeps nothing it is handed.
LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case HM_ISONLINE:
    case HM_SETITEMID:
        return 0;
    case HM_RUNSCRIPT:
    case HM_ADDFILEITEM:
    case HM_ADDSCRIPTITEM:
    case HM_ADDSETTINGSITEM:
        if (lParam)
            CloseHandle(reinterpret_cast<HANDLE>(lParam));
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

HWND CreateFrame() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "QuolixFrameClass";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "QuolixFrameClass", "Quolix", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20,
                           640, 420, NULL, NULL, wc.hInstance, NULL);
}

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(frequency.QuadPart);
}

// One timed opening: started by the caller, ended by the hook below when the current page of
// a sheet of this thread becomes visible; the sheet is then cancelled.
struct Measurement {
    std::atomic<bool> running{false};
    double start = 0;
    double end = 0;
    bool seen = false;
    bool programPage = false;
} measurement;

void CheckPageVisible(HWND window) {
    HWND root = GetAncestor(window, GA_ROOT);
    char cls[16] = "";
    GetClassNameA(root, cls, sizeof(cls));
    if (std::strcmp(cls, "#32770") != 0)
        return;
    HWND page = reinterpret_cast<HWND>(SendMessageA(root, PSM_GETCURRENTPAGEHWND, 0, 0));
    if (page == NULL || !IsWindowVisible(page))
        return;
    measurement.end = Now();
    measurement.seen = true;
    measurement.programPage = GetDlgItem(page, IDC_COMMAND) != NULL;
    PostMessageA(root, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
}

// Runs after every message a window of this thread handled: a window that was just shown may
// have made the page visible (the sheet and its page are shown separately).
LRESULT CALLBACK AfterMessage(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* m = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && measurement.running && !measurement.seen &&
        m->message == WM_WINDOWPOSCHANGED &&
        (reinterpret_cast<const WINDOWPOS*>(m->lParam)->flags & SWP_SHOWWINDOW))
        CheckPageVisible(m->hwnd);
    return CallNextHookEx(NULL, code, wParam, lParam);
}

BOOL CALLBACK CloseDialog(HWND window, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof(cls));
    if (pid == GetCurrentProcessId() && std::strcmp(cls, "#32770") == 0) {
        PostMessageA(window, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    }
    return TRUE;
}

// A sheet that never shows its page (or a box in its way) must not hang the benchmark.
void Watchdog(const std::atomic<bool>& done) {
    while (!done) {
        Sleep(100);
        if (measurement.running && !measurement.seen && Now() - measurement.start > kGiveUpSeconds)
            EnumWindows(CloseDialog, 0);
    }
}

INT_PTR CALLBACK EmptyPageProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The program page showing the five configured entries, as any sheet that shows them must.
INT_PTR CALLBACK FilledPageProc(HWND page, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG && GetDlgItem(page, IDC_COMMAND))
        for (int i = 0; i < 5; ++i) {
            SetDlgItemTextA(page, IDC_TITLE + i, kProgramTitles[i]);
            SetDlgItemTextA(page, IDC_COMMAND + i, kPrograms[i]);
        }
    return FALSE;
}

// The add-on's sheet records with the given page procedure: what any sheet of these two pages
// costs, with empty fields or with the entries shown.
INT_PTR RunBareSheet(HWND frame, HINSTANCE addon, DLGPROC pageProc) {
    PROPSHEETPAGEA pages[2] = {};
    const int templates[2] = {IDD_FILEMENU, IDD_SCRIPTMENU};
    for (int i = 0; i < 2; ++i) {
        pages[i].dwSize = PROPSHEETPAGEA_V1_SIZE;
        pages[i].dwFlags = PSP_HASHELP;
        pages[i].hInstance = addon;
        pages[i].pszTemplate = MAKEINTRESOURCEA(templates[i]);
        pages[i].pfnDlgProc = pageProc;
    }
    PROPSHEETHEADERA header = {};
    header.dwSize = PROPSHEETHEADERA_V1_SIZE;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
    header.hwndParent = frame;
    header.hInstance = addon;
    header.pszCaption = kSheetCaption;
    header.nPages = 2;
    header.nStartPage = 0;
    header.ppsp = pages;
    return PropertySheetA(&header);
}

// Microseconds from the start of `open` to the page being visible, or a negative value when the
// page never showed.
template <typename Open> double TimeOpening(Open open) {
    measurement.seen = false;
    measurement.programPage = false;
    measurement.start = Now();
    measurement.running = true;
    open();
    measurement.running = false;
    if (!measurement.seen || !measurement.programPage)
        return -1;
    return 1e6 * (measurement.end - measurement.start);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int Unavailable(const char* why) {
    std::printf("settings sheet: not available (%s)\n", why);
    std::fflush(stdout);
    return 1;
}

std::string ExeDirectory() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of("\\/") + 1);
}

int TimeSheet(HWND frame, HMODULE addon, int runs) {
    if (!FindResourceA(addon, MAKEINTRESOURCEA(IDD_FILEMENU), MAKEINTRESOURCEA(5)) ||
        !FindResourceA(addon, MAKEINTRESOURCEA(IDD_SCRIPTMENU), MAKEINTRESOURCEA(5)))
        return Unavailable("QXLAUNCH.DLL has no dialog templates 101 and 102 yet");
    HWND launcher = FindWindowExA(frame, NULL, "QuolixLaunch", NULL);
    if (!launcher)
        return Unavailable("the add-on made no launcher window");
    auto addonSheet = [&] { SendMessageA(launcher, WM_COMMAND, IDM_SETTINGS, 0); };
    auto bareSheet = [&] { RunBareSheet(frame, addon, EmptyPageProc); };
    auto filledSheet = [&] { RunBareSheet(frame, addon, FilledPageProc); };
    // One opening of each first: the first sheet of a process pays for loading common controls.
    if (TimeOpening(addonSheet) < 0)
        return Unavailable("WM_COMMAND 100 did not show the program page");
    if (TimeOpening(bareSheet) < 0 || TimeOpening(filledSheet) < 0)
        return Unavailable("the bare sheet of templates 101 and 102 did not show its first page");
    // Add-on, bare sheet, bare sheet showing the entries.
    const std::function<void()> open[3] = {addonSheet, bareSheet, filledSheet};
    std::vector<double> times[3];
    for (int i = 0; i < runs; ++i) {
        // Which of the three goes first turns too, so that none always follows another.
        double t[3];
        for (int k = 0; k < 3; ++k) {
            int which = (i + k) % 3;
            t[which] = TimeOpening(open[which]);
        }
        if (t[0] < 0 || t[1] < 0 || t[2] < 0)
            return Unavailable("a sheet stopped showing its program page during the runs");
        std::printf("addon %.1f\nbare %.1f\nfilled %.1f\n", t[0], t[1], t[2]);
        for (int k = 0; k < 3; ++k)
            times[k].push_back(t[k]);
    }
    double a = Median(times[0]), b = Median(times[1]), f = Median(times[2]);
    std::printf("settings sheet: add-on %.2f ms, bare sheet %.2f ms (medians of %d runs each), "
                "ratio %.2f; bare sheet showing the same entries %.2f ms, add-on against it %.2f\n",
                a / 1000, b / 1000, runs, a / b, f / 1000, a / f);
    std::fflush(stdout);
    return 0;
}

int RunSheetBenchmark(int runs) {
    Configure();
    HWND frame = CreateFrame();
    HMODULE addon = WaitUntilSoleFrame(frame)
                        ? LoadLibraryA((ExeDirectory() + "QXLAUNCH.DLL").c_str())
                        : NULL;
    int status;
    if (!addon) {
        status = Unavailable("QXLAUNCH.DLL did not load, or another terminal frame stayed open");
    } else {
        std::atomic<bool> done{false};
        std::thread watchdog(Watchdog, std::cref(done));
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, AfterMessage, NULL, GetCurrentThreadId());
        status = TimeSheet(frame, addon, runs);
        UnhookWindowsHookEx(hook);
        done = true;
        watchdog.join();
    }
    // No DestroyWindow: under Wine without a window manager it waits seconds for the unmap.
    Clear();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "configure") {
        Configure();
        return 0;
    }
    if (mode == "clear") {
        Clear();
        return 0;
    }
    if (mode == "load" && argc > 3) {
        PreloadLibraries(argc > 4 ? argv[4] : "");
        HWND frame = CreateFrame();
        // Like the stand-in terminal's timed load, the process ends without destroying its frame.
        return TimedLoad(frame, argv[2], argv[3]) ? 0 : 1;
    }
    if (mode == "sheet")
        return RunSheetBenchmark(argc > 2 ? std::max(1, std::atoi(argv[2])) : 30);
    std::fprintf(stderr, "usage: qxbench configure | clear | load DLL FILE [PRELOAD] | sheet [RUNS]\n");
    return 2;
}
