// The Wine test harness: see harness.h.
#include "harness.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <prsht.h>

#include <atomic>
#include <mutex>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace qx {

namespace {

TestFrame* currentFrame = nullptr;

std::string TakeText(LPARAM lParam) {
    const char* view = static_cast<const char*>(
        MapViewOfFile(reinterpret_cast<HANDLE>(lParam), FILE_MAP_READ, 0, 0, 0));
    if (!view)
        return "<unmappable>";
    std::string text(view, strnlen(view, 1024));
    UnmapViewOfFile(view);
    return text;
}

LRESULT CALLBACK TestFrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TestFrame* frame = currentFrame;
    if (frame && message >= HM_ISONLINE && message <= HM_SETITEMID) {
        HostMessage record{message, wParam, lParam, {}};
        bool carriesText = message == HM_RUNSCRIPT || message == HM_ADDSETTINGSITEM ||
                           ((message == HM_ADDFILEITEM || message == HM_ADDSCRIPTITEM) && lParam);
        if (carriesText) {
            record.text = TakeText(lParam);
            if (frame->closeReceived)
                CloseHandle(reinterpret_cast<HANDLE>(lParam));
            else
                frame->receivedHandles.push_back(reinterpret_cast<HANDLE>(lParam));
        }
        frame->journal.push_back(record);
        if (frame->onMessage)
            frame->onMessage(record);
        if (message == HM_ISONLINE)
            return frame->online ? 1 : 0;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

std::string Sjis(const char* utf8) {
    wchar_t wide[2048];
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 2048);
    char out[4096];
    int m = WideCharToMultiByte(932, 0, wide, n, out, sizeof(out), NULL, NULL);
    return m > 0 ? std::string(out, m - 1) : std::string();
}

TestFrame::TestFrame() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = TestFrameProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "QuolixFrameClass";
    RegisterClassA(&wc);
    currentFrame = this;
    hwnd_ = CreateWindowExA(0, "QuolixFrameClass", "Quolix test frame", WS_OVERLAPPEDWINDOW, 10, 10,
                            500, 300, NULL, NULL, wc.hInstance, NULL);
}

TestFrame::~TestFrame() {
    Destroy();
    for (HANDLE h : receivedHandles)
        CloseHandle(h);
    if (currentFrame == this)
        currentFrame = nullptr;
}

void TestFrame::Destroy() {
    if (hwnd_ && IsWindow(hwnd_))
        DestroyWindow(hwnd_);
    hwnd_ = NULL;
}

TestFrame* CurrentFrame() { return currentFrame; }

std::string ExeDirectory() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of("\\/") + 1);
}

HMODULE LoadAddon() { return LoadLibraryA((ExeDirectory() + "QXLAUNCH.DLL").c_str()); }

HINSTANCE AddonPreferredBase() {
    std::string image = ReadFileBytes(ExeDirectory() + "QXLAUNCH.DLL");
    if (image.size() < 0x200)
        return NULL;
    DWORD peOffset;
    std::memcpy(&peOffset, image.data() + 0x3C, 4);
    DWORD base;
    std::memcpy(&base, image.data() + peOffset + 24 + 28, 4); // OptionalHeader.ImageBase
    return reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(base));
}

HWND FindLauncherWindow(HWND frame) { return FindWindowExA(frame, NULL, "QuolixLaunch", NULL); }

std::vector<HostMessage> MenuMessages(const std::vector<HostMessage>& journal) {
    std::vector<HostMessage> out;
    for (const HostMessage& m : journal)
        if (m.message != HM_ISONLINE)
            out.push_back(m);
    return out;
}

const char* MessageName(UINT message) {
    switch (message) {
    case HM_ISONLINE: return "HM_ISONLINE";
    case HM_RUNSCRIPT: return "HM_RUNSCRIPT";
    case HM_ADDFILEITEM: return "HM_ADDFILEITEM";
    case HM_ADDSCRIPTITEM: return "HM_ADDSCRIPTITEM";
    case HM_ADDSETTINGSITEM: return "HM_ADDSETTINGSITEM";
    case HM_SETITEMID: return "HM_SETITEMID";
    default: return "other";
    }
}

void PumpPending() {
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void ResetRegistry() {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Koravi");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Koravi");
}

bool KeyExists(const char* key) {
    HKEY h;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

void SetRaw(const char* key, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY h;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &h, NULL),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(h, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(h);
}

void SetString(const char* key, const char* name, const std::string& text) {
    SetRaw(key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void SetDword(const char* key, const char* name, DWORD value) {
    SetRaw(key, name, REG_DWORD, &value, sizeof(value));
}

RegValue ReadValue(const char* key, const char* name) {
    RegValue value;
    HKEY h;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExA(h, name, NULL, &value.type, NULL, &size) == ERROR_SUCCESS) {
        std::string data(size, '\0');
        if (RegQueryValueExA(h, name, NULL, &value.type, reinterpret_cast<BYTE*>(&data[0]),
                             &size) == ERROR_SUCCESS) {
            value.exists = true;
            value.data = data.substr(0, size);
        }
    }
    RegCloseKey(h);
    return value;
}

std::vector<std::string> ValueNames(const char* key) {
    std::vector<std::string> names;
    HKEY h;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD size = sizeof(name);
        if (RegEnumValueA(h, i, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, size);
    }
    RegCloseKey(h);
    return names;
}

static void ConfigureTable(const char* key, const char* targetPrefix, const EntryList& entries) {
    SetDword(key, "Count", static_cast<DWORD>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        char title[16], target[24];
        std::snprintf(title, sizeof(title), "Title%02u", static_cast<unsigned>(i));
        std::snprintf(target, sizeof(target), "%s%02u", targetPrefix, static_cast<unsigned>(i));
        SetString(key, title, entries[i].first);
        SetString(key, target, entries[i].second);
    }
}

void ConfigureTables(const EntryList& programs, const EntryList& scripts) {
    ConfigureTable(kFileKey, "Command", programs);
    ConfigureTable(kScriptKey, "ScriptFile", scripts);
}

namespace {
struct FindContext {
    const std::function<bool(HWND)>* match;
    HWND found;
};
BOOL CALLBACK FindTopLevel(HWND window, LPARAM lParam) {
    auto* context = reinterpret_cast<FindContext*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() && IsWindowVisible(window) && (*context->match)(window)) {
        context->found = window;
        return FALSE;
    }
    return TRUE;
}
bool HasClass(HWND window, const char* name) {
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof(cls));
    return std::strcmp(cls, name) == 0;
}
} // namespace

HWND WaitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    do {
        FindContext context{&match, NULL};
        EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&context));
        if (context.found)
            return context.found;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return NULL;
}

HWND WaitForDialog(DWORD timeoutMs) {
    return WaitForWindow([](HWND w) { return HasClass(w, "#32770"); }, timeoutMs);
}

std::string WindowText(HWND window) {
    char text[1024] = "";
    int n = GetWindowTextA(window, text, sizeof(text));
    return std::string(text, n > 0 ? n : 0);
}

// Icons are looked up once on the main thread: the driver thread may run while the main thread
// holds the loader lock (a box shown from DllMain), and loading a resource needs that lock.
static HICON errorIcon, informationIcon;
static void WarmUpDriverLookups() {
    errorIcon = LoadIcon(NULL, IDI_HAND);
    informationIcon = LoadIcon(NULL, IDI_ASTERISK);
}

BoxInfo ReadMessageBox(HWND box) {
    BoxInfo info;
    info.hwnd = box;
    info.caption = WindowText(box);
    info.owner = GetWindow(box, GW_OWNER);
    HWND text = GetDlgItem(box, 0xFFFF);
    if (!text)
        text = GetDlgItem(box, 100);
    info.text = text ? WindowText(text) : std::string();
    HICON icon = reinterpret_cast<HICON>(SendDlgItemMessageA(box, 0x440, STM_GETICON, 0, 0));
    info.iconError = icon && icon == errorIcon;
    info.iconInformation = icon && icon == informationIcon;
    return info;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(10);
    }
}

namespace {
struct DescendantSearch {
    const char* className;
    HWND found;
};
BOOL CALLBACK MatchDescendant(HWND child, LPARAM lParam) {
    auto* search = reinterpret_cast<DescendantSearch*>(lParam);
    if (!HasClass(child, search->className))
        return TRUE;
    search->found = child;
    return FALSE;
}
} // namespace

HWND FindDescendant(HWND parent, const char* className) {
    DescendantSearch search{className, NULL};
    EnumChildWindows(parent, MatchDescendant, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForOwnedDialog(HWND owner, DWORD timeoutMs) {
    return WaitForWindow(
        [owner](HWND w) { return HasClass(w, "#32770") && GetWindow(w, GW_OWNER) == owner; },
        timeoutMs);
}

HWND FocusOf(DWORD threadId) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(threadId, &info))
        return NULL;
    return info.hwndFocus;
}

static HWND TabControlOf(HWND sheet) { return FindWindowExA(sheet, NULL, "SysTabControl32", NULL); }

HWND WaitForSheet(DWORD timeoutMs) {
    return WaitForWindow([](HWND w) { return HasClass(w, "#32770") && TabControlOf(w) != NULL; },
                         timeoutMs);
}

HWND CurrentPage(HWND sheet) {
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

int CurrentPageIndex(HWND sheet) {
    return static_cast<int>(SendMessageA(TabControlOf(sheet), TCM_GETCURSEL, 0, 0));
}

std::vector<std::string> TabLabels(HWND sheet) {
    std::vector<std::string> labels;
    HWND tabs = TabControlOf(sheet);
    int count = static_cast<int>(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[256] = "";
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = sizeof(text);
        SendMessageA(tabs, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
        labels.push_back(text);
    }
    return labels;
}

void PostSheetButton(HWND sheet, int psbtn) { PostMessageA(sheet, PSM_PRESSBUTTON, psbtn, 0); }

void PostSheetPage(HWND sheet, int index) { PostMessageA(sheet, PSM_SETCURSEL, index, 0); }

std::string ControlText(HWND dialog, int id) { return WindowText(GetDlgItem(dialog, id)); }

void SetControlText(HWND dialog, int id, const std::string& text) {
    SetDlgItemTextA(dialog, id, text.c_str());
}

std::vector<std::string> ComboItems(HWND combo) {
    std::vector<std::string> items;
    int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[1024] = "";
        SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

namespace {
std::mutex helpMutex;
HelpWindow* currentHelp = nullptr;

// The request record that WinHelpA copies: size, command, data, reserved, then the offset of
// the file name from the record's start.
LRESULT CALLBACK HelpWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA && currentHelp) {
        const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const auto* record = static_cast<const BYTE*>(copy->lpData);
        HelpRequest request{reinterpret_cast<HWND>(wParam), copy->dwData, -1, {}};
        if (record && copy->cbData >= 16) {
            WORD command, fileOffset;
            std::memcpy(&command, record + 2, 2);
            std::memcpy(&fileOffset, record + 12, 2);
            request.command = command;
            if (fileOffset && fileOffset < copy->cbData)
                request.file.assign(reinterpret_cast<const char*>(record + fileOffset),
                                    strnlen(reinterpret_cast<const char*>(record + fileOffset),
                                            copy->cbData - fileOffset));
        }
        std::lock_guard<std::mutex> lock(helpMutex);
        currentHelp->requests.push_back(request);
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
} // namespace

HelpWindow::HelpWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HelpWindowProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "MS_WINHELP";
    RegisterClassA(&wc);
    currentHelp = this;
    hwnd_ = CreateWindowExA(0, "MS_WINHELP", "", WS_POPUP, 0, 0, 0, 0, NULL, NULL, wc.hInstance,
                            NULL);
}

HelpWindow::~HelpWindow() {
    if (hwnd_)
        DestroyWindow(hwnd_);
    std::lock_guard<std::mutex> lock(helpMutex);
    currentHelp = nullptr;
}

size_t HelpWindow::Count() const {
    std::lock_guard<std::mutex> lock(helpMutex);
    return requests.size();
}

void PressButton(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

std::string DefaultBoxCaption() {
    static std::string caption;
    if (!caption.empty())
        return caption;
    std::thread driver([] {
        HWND box = WaitForDialog();
        if (box) {
            caption = WindowText(box);
            PressButton(box, IDOK);
        }
    });
    MessageBoxA(NULL, "probe", NULL, MB_OK);
    driver.join();
    return caption;
}

void CloseAllDialogs() {
    for (int i = 0; i < 50; ++i) {
        HWND dialog = WaitForDialog(100);
        if (!dialog)
            return;
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        Sleep(50);
    }
}

void RunDriven(const std::function<void()>& action, const std::function<void()>& driver) {
    WarmUpDriverLookups();
    std::atomic<bool> ready{false};
    std::atomic<bool> actionDone{false};
    std::thread thread([&] {
        ready = true;
        driver();
        // A driver that gave up leaves the action blocked in a modal loop: close what is open.
        for (DWORD start = GetTickCount(); !actionDone;) {
            Sleep(20);
            if (GetTickCount() - start > 3000) {
                ADD_FAILURE() << "the action was still running after its driver finished";
                while (!actionDone)
                    CloseAllDialogs();
            }
        }
    });
    while (!ready)
        Sleep(1);
    Sleep(20); // let the thread finish its start-up outside any loader lock
    action();
    actionDone = true;
    thread.join();
}

HMODULE LoadAddonAnsweringOneBox(BoxInfo& box) {
    HMODULE module = reinterpret_cast<HMODULE>(1);
    RunDriven([&] { module = LoadAddon(); },
              [&] {
                  HWND found = WaitForDialog();
                  ASSERT_NE(found, nullptr);
                  box = ReadMessageBox(found);
                  PressButton(found, IDOK);
              });
    return module;
}

int CountOpenHandles() {
    int count = 0;
    for (UINT_PTR value = 4; value < 0x4000; value += 4) {
        DWORD flags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++count;
    }
    return count;
}

int CountMappedRegions() {
    int count = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const char* address = nullptr;
         VirtualQuery(address, &info, sizeof(info)) == sizeof(info);
         address = static_cast<const char*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type == MEM_MAPPED)
            ++count;
        if (reinterpret_cast<UINT_PTR>(info.BaseAddress) + info.RegionSize < reinterpret_cast<UINT_PTR>(address))
            break;
    }
    return count;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string TempPath(const std::string& name) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name;
}

} // namespace qx
