// qxhost: a small stand-in for the Quolix terminal. It owns a frame window of the terminal's
// class, answers the add-on's private messages the way the terminal does, builds its menus
// from them, and writes a journal of every message for the demo and the tests.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "addon_crash.h"
#include "one_of_each.h"
#include "png.h"
#include "terminal_messages.h"
#include "timed_load.h"
#include "tour.h"

namespace {

// The terminal's own menu ids stay clear of the add-on's (100..399).
constexpr UINT IDM_HOST_EXIT = 40001;
constexpr UINT IDM_HOST_ONLINE = 40002;

struct AddonItem {
    UINT id;
    HWND target;
};

struct HostState {
    HWND frame = NULL;
    HMENU menuBar = NULL;
    HMENU toolsMenu = NULL;
    HMENU programMenu = NULL;
    HMENU scriptMenu = NULL;
    bool online = false;
    UINT nextItemId = 0;
    std::vector<AddonItem> items;
    std::vector<std::string> events; // shown in the client area, newest last
    FILE* journal = nullptr;
} host;

// Takes a text through the handle the add-on handed over, then closes it: the host owns it.
std::string TakeChannelText(LPARAM lParam) {
    HANDLE section = reinterpret_cast<HANDLE>(lParam);
    std::string text;
    const char* view = static_cast<const char*>(MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0));
    if (view) {
        text.assign(view, strnlen(view, 1024));
        UnmapViewOfFile(view);
    }
    CloseHandle(section);
    return text;
}

void Journal(const std::string& line) {
    if (!host.journal)
        return;
    std::fprintf(host.journal, "%s\n", line.c_str());
    std::fflush(host.journal);
}

std::string DescribeWindow(WPARAM wParam) {
    HWND window = reinterpret_cast<HWND>(wParam);
    char cls[64] = "";
    if (window && GetClassNameA(window, cls, sizeof(cls)) && std::strcmp(cls, "QuolixLaunch") == 0)
        return "launcher";
    char buf[32];
    std::snprintf(buf, sizeof(buf), "0x%lx", static_cast<unsigned long>(wParam));
    return buf;
}

void ShowEvent(const std::string& text) {
    host.events.push_back(text);
    if (host.events.size() > 12)
        host.events.erase(host.events.begin());
    InvalidateRect(host.frame, NULL, TRUE);
}

std::string ReadScriptFolder() {
    char folder[MAX_PATH] = "";
    DWORD size = sizeof(folder) - 1;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Koravi\\Quolix95\\Config", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        RegQueryValueExA(key, "ScriptPath", NULL, NULL, reinterpret_cast<BYTE*>(folder), &size);
        RegCloseKey(key);
    }
    return folder;
}

HMENU InsertGroup(const char* caption) {
    HMENU group = CreatePopupMenu();
    // Groups go before the tools menu, which stays last.
    int position = GetMenuItemCount(host.menuBar) - 1;
    InsertMenuA(host.menuBar, position, MF_BYPOSITION | MF_POPUP | MF_STRING,
                reinterpret_cast<UINT_PTR>(group), caption);
    DrawMenuBar(host.frame);
    return group;
}

void AddItem(HMENU menu, const std::string& title, WPARAM target) {
    AppendMenuA(menu, MF_STRING, host.nextItemId, title.c_str());
    host.items.push_back({host.nextItemId, reinterpret_cast<HWND>(target)});
    DrawMenuBar(host.frame);
}

LRESULT OnAddItem(UINT message, WPARAM wParam, LPARAM lParam) {
    const char* name = message == HM_ADDFILEITEM ? "HM_ADDFILEITEM" : "HM_ADDSCRIPTITEM";
    HMENU& group = message == HM_ADDFILEITEM ? host.programMenu : host.scriptMenu;
    if (lParam == 0) {
        Journal(std::string(name) + " wParam=" + DescribeWindow(wParam) + " lParam=0");
        if (!group)
            group = InsertGroup(message == HM_ADDFILEITEM ? "プログラム(&P)" : "スクリプト(&S)");
        return 0;
    }
    std::string title = TakeChannelText(lParam);
    Journal(std::string(name) + " wParam=" + DescribeWindow(wParam) + " lParam=handle id=" +
            std::to_string(host.nextItemId) + " text=" + title);
    if (!group)
        group = InsertGroup(message == HM_ADDFILEITEM ? "プログラム(&P)" : "スクリプト(&S)");
    AddItem(group, title, wParam);
    return 0;
}

LRESULT OnAddSettingsItem(WPARAM wParam, LPARAM lParam) {
    std::string caption = TakeChannelText(lParam);
    Journal("HM_ADDSETTINGSITEM wParam=" + DescribeWindow(wParam) + " lParam=handle id=" +
            std::to_string(host.nextItemId) + " text=" + caption);
    AppendMenuA(host.toolsMenu, MF_SEPARATOR, 0, NULL);
    AddItem(host.toolsMenu, caption, wParam);
    return 0;
}

LRESULT OnRunScript(WPARAM wParam, LPARAM lParam) {
    std::string name = TakeChannelText(lParam);
    Journal("HM_RUNSCRIPT wParam=" + std::to_string(wParam) + " lParam=handle text=" + name);
    std::string folder = ReadScriptFolder();
    // "Run script: <name> (<n> bytes) in folder <folder>"
    ShowEvent("スクリプト実行: " + name + " (" + std::to_string(wParam) + " バイト)  フォルダ: " +
              (folder.empty() ? std::string("(未設定)") : folder));
    return 0;
}

void ToggleOnline() {
    host.online = !host.online;
    CheckMenuItem(host.toolsMenu, IDM_HOST_ONLINE, host.online ? MF_CHECKED : MF_UNCHECKED);
    ShowEvent(host.online ? "オンライン" : "オフライン"); // online / offline
}

void OnMenuCommand(UINT id) {
    if (id == IDM_HOST_EXIT) {
        DestroyWindow(host.frame);
        return;
    }
    if (id == IDM_HOST_ONLINE) {
        ToggleOnline();
        return;
    }
    for (const AddonItem& item : host.items) {
        if (item.id == id) {
            Journal("PICK id=" + std::to_string(id));
            SendMessageA(item.target, WM_COMMAND, id, 0);
            return;
        }
    }
}

void OnPaint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    HFONT font = CreateFontA(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0,
                             "ＭＳ Ｐゴシック");
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    // "Quolix terminal (stand-in)"
    TextOutA(dc, 8, 8, "Quolix 端末 (代役)", static_cast<int>(std::strlen("Quolix 端末 (代役)")));
    int y = 36;
    for (const std::string& line : host.events) {
        TextOutA(dc, 8, y, line.c_str(), static_cast<int>(line.size()));
        y += 20;
    }
    SelectObject(dc, old);
    DeleteObject(font);
    EndPaint(window, &ps);
}

// The tests' positive control in this process: one object of each counted kind, on request.
LRESULT OnOneOfEach(WPARAM make) {
    static OneOfEach made;
    if (make)
        return MakeOneOfEach(made);
    ReleaseOneOfEach(made);
    return TRUE;
}

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    static const UINT oneOfEach = OneOfEachMessage();
    if (message == oneOfEach)
        return OnOneOfEach(wParam);
    switch (message) {
    case HM_ISONLINE:
        Journal(std::string("HM_ISONLINE -> ") + (host.online ? "1" : "0"));
        return host.online ? 1 : 0;
    case HM_SETITEMID:
        Journal("HM_SETITEMID wParam=" + std::to_string(wParam) + " lParam=" + std::to_string(lParam));
        host.nextItemId = static_cast<UINT>(wParam);
        return 0;
    case HM_ADDFILEITEM:
    case HM_ADDSCRIPTITEM:
        return OnAddItem(message, wParam, lParam);
    case HM_ADDSETTINGSITEM:
        return OnAddSettingsItem(wParam, lParam);
    case HM_RUNSCRIPT:
        return OnRunScript(wParam, lParam);
    case WM_COMMAND:
        OnMenuCommand(LOWORD(wParam));
        return 0;
    case WM_TIMER:
        AdvanceTour(window);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_DESTROY:
        Journal("FRAME DESTROYED");
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

HWND CreateFrame() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = "QuolixFrameClass";
    RegisterClassA(&wc);
    host.menuBar = CreateMenu();
    HMENU fileMenu = CreatePopupMenu();
    AppendMenuA(fileMenu, MF_STRING, IDM_HOST_EXIT, "終了(&X)"); // Exit
    AppendMenuA(host.menuBar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(fileMenu),
                "ファイル(&F)"); // File
    host.toolsMenu = CreatePopupMenu();
    AppendMenuA(host.toolsMenu, MF_STRING, IDM_HOST_ONLINE, "オンライン(&O)"); // Online
    AppendMenuA(host.menuBar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(host.toolsMenu),
                "ツール(&T)"); // Tools
    return CreateWindowExA(0, "QuolixFrameClass", "Quolix", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20,
                           20, 640, 420, NULL, host.menuBar, wc.hInstance, NULL);
}

std::string ExeDirectory() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of("\\/") + 1);
}

int PumpMessages() {
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

// Loader mode: another process loads the add-on into itself while the frame lives here.
int RunLoader(const std::string& dll) {
    HWND frame = NULL;
    for (int i = 0; i < 100 && !frame; ++i) {
        frame = FindWindowA("QuolixFrameClass", NULL);
        if (!frame)
            Sleep(50);
    }
    if (!LoadLibraryA(dll.c_str()))
        return 2;
    while (IsWindow(frame)) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        MsgWaitForMultipleObjects(0, NULL, FALSE, 100, QS_ALLINPUT);
    }
    return 0;
}

// A crash is a journal line and the end of the process: the test reading the journal fails at
// once with it, where a debugger would have kept the terminal waiting.
LONG WINAPI JournalCrash(EXCEPTION_POINTERS* info) {
    Journal(CrashLine(info));
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

LONG CALLBACK JournalAddonCrash(EXCEPTION_POINTERS* info) {
    return AddonCrashed(info) ? JournalCrash(info) : EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

HWND HostFrame() { return host.frame; }
void HostShowEvent(const std::string& text) { ShowEvent(text); }

int main(int argc, char** argv) {
    SetUnhandledExceptionFilter(JournalCrash);
    AddVectoredExceptionHandler(1, JournalAddonCrash);
    std::string dll = ExeDirectory() + "QXLAUNCH.DLL";
    std::string journalPath, tourDir, timingPath, preload;
    bool load = true, loader = false, topmost = false;
    TourKind tour = kMainTour;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--journal" && i + 1 < argc)
            journalPath = argv[++i];
        else if (arg == "--dll" && i + 1 < argc)
            dll = argv[++i];
        else if ((arg == "--tour" || arg == "--western-tour" || arg == "--html-help-tour") &&
                 i + 1 < argc) {
            tour = arg == "--tour" ? kMainTour : arg == "--western-tour" ? kWesternTour : kHtmlHelpTour;
            tourDir = argv[++i];
        }
        else if (arg == "--no-load")
            load = false;
        else if (arg == "--loader")
            loader = true;
        else if (arg == "--time-load" && i + 1 < argc)
            timingPath = argv[++i];
        else if (arg == "--preload" && i + 1 < argc)
            preload = argv[++i];
        else if (arg == "--online")
            host.online = true;
        else if (arg == "--topmost") // stays on top, so it is the first frame of its class
            topmost = true;
    }
    if (loader)
        return RunLoader(dll);
    PreloadLibraries(preload);
    if (!journalPath.empty())
        host.journal = std::fopen(journalPath.c_str(), "ab");
    host.frame = CreateFrame();
    if (topmost)
        SetWindowPos(host.frame, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (host.online)
        CheckMenuItem(host.toolsMenu, IDM_HOST_ONLINE, MF_CHECKED);
    Journal("FRAME READY");
    if (load) {
        HMODULE addon = timingPath.empty() ? LoadLibraryA(dll.c_str()) : TimedLoad(host.frame, dll, timingPath);
        Journal(addon ? "ADDON LOADED" : "ADDON LOAD FAILED");
    }
    // A timed load is one measurement: the terminal ends as soon as the add-on is in. It exits
    // without destroying its frame, which under Wine without a window manager costs seconds.
    if (!timingPath.empty())
        return 0;
    if (!tourDir.empty())
        StartTour(host.frame, tourDir, tour);
    int code = PumpMessages();
    if (host.journal)
        std::fclose(host.journal);
    return code;
}
