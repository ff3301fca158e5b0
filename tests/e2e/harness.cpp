// The Wine test harness: see harness.h.
#include "harness.h"

#include "../../tools/qxhost/addon_crash.h"
#include "cell.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <commctrl.h>
#include <prsht.h>
#include <shellapi.h>
#include <winternl.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <type_traits>

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
        return message == HM_ISONLINE ? frame->online : 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Once per test program: a process of another code page would pass most tests without showing
// what the terminal's users see. It ends the program: a failed set-up only skips the tests, and
// ctest counts a skipped test as passed.
class ExpectedCodePage : public ::testing::Environment {
    void SetUp() override {
        if (GetACP() == expectedCodePage)
            return;
        std::fprintf(stderr, "the Wine process's ANSI code page is %u, not %u\n", GetACP(), expectedCodePage);
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 4);
    }
};

// A crash on any thread ends the test program at once with a line of its own, never a wait.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::fprintf(stderr, "CRASH: exception 0x%08lx at %p in %s\n",
                 static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                 info->ExceptionRecord->ExceptionAddress, test ? test->name() : "no test");
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

LONG CALLBACK ReportAddonCrash(EXCEPTION_POINTERS* info) {
    return AddonCrashed(info) ? ReportCrash(info) : EXCEPTION_CONTINUE_SEARCH;
}

const bool harnessReady = (::testing::AddGlobalTestEnvironment(new ExpectedCodePage),
                           SetUnhandledExceptionFilter(ReportCrash),
                           AddVectoredExceptionHandler(1, ReportAddonCrash), true);

} // namespace

UINT expectedCodePage = 932;

std::string Sjis(const char* utf8) {
    wchar_t wide[2048];
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 2048);
    char out[4096];
    int m = WideCharToMultiByte(932, 0, wide, n, out, sizeof(out), NULL, NULL);
    return m > 0 ? std::string(out, m - 1) : std::string();
}

ATOM RegisterWindowClass(const char* name, WNDPROC procedure, HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance ? instance : GetModuleHandleA(NULL);
    wc.lpszClassName = name;
    return RegisterClassA(&wc);
}

HWND CreateWindowOfClass(const char* name, WNDPROC procedure, DWORD style) {
    WNDCLASSA existing;
    if (!GetClassInfoA(GetModuleHandleA(NULL), name, &existing))
        EXPECT_NE(RegisterWindowClass(name, procedure), 0) << name;
    return CreateWindowExA(0, name, "", style, 10, 10, 500, 300, NULL, NULL, GetModuleHandleA(NULL), NULL);
}

TestFrame::TestFrame(bool closeReceived) : closeReceived(closeReceived) {
    currentFrame = this;
    hwnd_ = CreateWindowOfClass("QuolixFrameClass", TestFrameProc, WS_OVERLAPPEDWINDOW);
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

std::string ExeDirectory() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of("\\/") + 1);
}

// The loader's notification of a mapped DLL, which comes before its DllMain runs.
struct MappedDll {
    ULONG flags;
    const UNICODE_STRING* fullName;
    const UNICODE_STRING* baseName;
    void* base;
    ULONG size;
};
using MappedNotice = void(CALLBACK*)(ULONG reason, const MappedDll* dll, void* context);
HINSTANCE addonBase;
void (*onAddonMapped)(HINSTANCE);

void CALLBACK NoteMappedDll(ULONG reason, const MappedDll* dll, void*) {
    const UNICODE_STRING* name = dll->baseName;
    if (reason != 1 || name->Length != 12 * sizeof(wchar_t) || _wcsnicmp(name->Buffer, L"QXLAUNCH.DLL", 12) != 0)
        return;
    addonBase = static_cast<HINSTANCE>(dll->base);
    if (onAddonMapped)
        onAddonMapped(addonBase);
}

HMODULE LoadAddon() {
    static void* cookie = [] {
        using Register = LONG(WINAPI*)(ULONG, MappedNotice, void*, void**);
        auto reg = reinterpret_cast<Register>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "LdrRegisterDllNotification"));
        void* c = nullptr;
        EXPECT_TRUE(reg && reg(0, NoteMappedDll, nullptr, &c) == 0) << "no notification of mapped DLLs";
        return c;
    }();
    (void)cookie;
    return LoadLibraryA((ExeDirectory() + "QXLAUNCH.DLL").c_str());
}

HINSTANCE AddonLoadBase() { return addonBase; }
void OnAddonMapped(void (*action)(HINSTANCE)) { onAddonMapped = action; }

HWND LoadUnder(const TestFrame& frame) {
    EXPECT_NE(LoadAddon(), nullptr);
    HWND launcher = FindLauncherWindow(frame.hwnd());
    EXPECT_NE(launcher, nullptr) << "no launcher window";
    return launcher;
}

std::string AddonTest::Line(UINT message, WPARAM wParam, const std::string& text) const {
    return ReportLine(HostMessage{message, wParam, text.empty() ? 0 : 1, text}, launcher) + "\n";
}

std::string AddonTest::Describe(const std::vector<HostMessage>& messages) const {
    std::string out;
    for (const HostMessage& m : messages)
        out += ReportLine(m, launcher) + "\n";
    return out;
}

// Windows 95, 98 and Me have the wide calls as stubs that fail so.
static DWORD WINAPI WideNameAsOn95(HMODULE, LPWSTR, DWORD) { ++late.wideCalls; SetLastError(ERROR_CALL_NOT_IMPLEMENTED); return 0; }
static HMODULE WINAPI WideLoadAsOn95(LPCWSTR) { return reinterpret_cast<HMODULE>(WideNameAsOn95(NULL, NULL, 0)); }
static LRESULT WINAPI WideDefaultAsOn95(HWND, UINT, WPARAM, LPARAM) { return WideNameAsOn95(NULL, NULL, 0); }
static BOOL WINAPI WideDialogAsOn95(LPOPENFILENAMEW) { return WideNameAsOn95(NULL, NULL, 0); }

void AddonTest::Load() {
    late.asWindows95 = asWindows95;
    void* name = asWindows95 ? HookExport("KERNEL32.dll", "GetModuleFileNameW", reinterpret_cast<void*>(WideNameAsOn95)) : nullptr;
    void* load = asWindows95 ? HookExport("KERNEL32.dll", "LoadLibraryW", reinterpret_cast<void*>(WideLoadAsOn95)) : nullptr;
    void* text = asWindows95 ? HookExport("USER32.dll", "DefWindowProcW", reinterpret_cast<void*>(WideDefaultAsOn95)) : nullptr;
    launcher = LoadUnder(frame);
    if (asWindows95) // a DLL loaded later must not bind to the stubs
        HookExport("KERNEL32.dll", "GetModuleFileNameW", name), HookExport("KERNEL32.dll", "LoadLibraryW", load),
            HookExport("USER32.dll", "DefWindowProcW", text);
    ASSERT_NE(launcher, nullptr);
}

void AddonTest::Attach(const EntryList& programs, const EntryList& scripts) {
    ConfigureTables(programs, scripts);
    Load();
    frame.journal.clear();
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
    static const std::pair<UINT, const char*> names[] = {
        {HM_ISONLINE, "HM_ISONLINE"},           {HM_RUNSCRIPT, "HM_RUNSCRIPT"},         {HM_ADDFILEITEM, "HM_ADDFILEITEM"},
        {HM_ADDSCRIPTITEM, "HM_ADDSCRIPTITEM"}, {HM_ADDSETTINGSITEM, "HM_ADDSETTINGSITEM"}, {HM_SETITEMID, "HM_SETITEMID"}};
    for (const auto& [id, name] : names)
        if (id == message)
            return name;
    return "other";
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
    EXPECT_FALSE(KeyExists("Software\\Koravi")) << "the registry could not be reset";
}

// Runs `use` on the key opened for reading; false when it cannot be opened.
static bool WithKey(const char* key, const std::function<void(HKEY)>& use) {
    HKEY h;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    use(h);
    RegCloseKey(h);
    return true;
}

bool KeyExists(const char* key) { return WithKey(key, [](HKEY) {}); }

void SetRaw(const char* key, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY h;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &h, NULL),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(h, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(h);
}

// Everyone granted `access` alone, the permissions of the parent key not inherited.
static bool GrantEveryone(HKEY key, DWORD access) {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = NULL;
    alignas(4) BYTE buffer[256];
    PACL acl = reinterpret_cast<PACL>(buffer);
    bool granted = AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone) &&
                   InitializeAcl(acl, sizeof(buffer), ACL_REVISION) && AddAccessAllowedAce(acl, ACL_REVISION, access, everyone) &&
                   SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                   NULL, NULL, acl, NULL) == ERROR_SUCCESS;
    FreeSid(everyone);
    return granted;
}

ReadOnlyKey::ReadOnlyKey(const char* key, REGSAM granted) {
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key_, NULL), ERROR_SUCCESS);
    EXPECT_TRUE(GrantEveryone(key_, granted)) << key;
    HKEY probe; // the permissions hold: writing is refused, reading only as granted
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &probe, NULL), ERROR_ACCESS_DENIED);
    EXPECT_EQ(KeyExists(key), granted != 0);
}

ReadOnlyKey::~ReadOnlyKey() {
    EXPECT_TRUE(GrantEveryone(key_, KEY_ALL_ACCESS));
    RegCloseKey(key_);
}

void SetString(const char* key, const char* name, const std::string& text) {
    SetRaw(key, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void SetDword(const char* key, const char* name, DWORD value) {
    SetRaw(key, name, REG_DWORD, &value, sizeof(value));
}

RegValue ReadValue(const char* key, const char* name) {
    RegValue value;
    WithKey(key, [&](HKEY h) {
        DWORD size = 0;
        if (RegQueryValueExA(h, name, NULL, &value.type, NULL, &size) != ERROR_SUCCESS)
            return;
        std::string data(size, '\0');
        BYTE* bytes = reinterpret_cast<BYTE*>(&data[0]);
        if (RegQueryValueExA(h, name, NULL, &value.type, bytes, &size) == ERROR_SUCCESS)
            value = RegValue{true, value.type, data.substr(0, size)};
    });
    return value;
}

std::vector<std::string> ValueNames(const char* key) {
    std::vector<std::string> names;
    WithKey(key, [&](HKEY h) {
        char name[256];
        DWORD size = sizeof(name);
        for (DWORD i = 0; RegEnumValueA(h, i, name, &size, NULL, NULL, NULL, NULL) == ERROR_SUCCESS; ++i) {
            names.emplace_back(name, size);
            size = sizeof(name);
        }
    });
    return names;
}

void ExpectStoredString(const char* key, const char* name, const std::string& text) {
    RegValue value = ReadValue(key, name);
    EXPECT_TRUE(value.exists && value.type == REG_SZ && value.data == text + '\0')
        << key << "\\" << name << ": type " << value.type << ", " << value.data.size() << " bytes \"" << value.data << "\"";
}

void ExpectStoredCount(const char* key, DWORD count) {
    RegValue value = ReadValue(key, "Count");
    EXPECT_TRUE(value.type == REG_DWORD && value.data == std::string(reinterpret_cast<const char*>(&count), 4))
        << key << "\\Count: type " << value.type << ", " << value.data.size() << " bytes";
}

// Stores (or, with `expect`, checks) a table's count and every title and target.
static void ForTable(bool expect, const char* key, const char* targetPrefix, const EntryList& entries) {
    expect ? ExpectStoredCount(key, static_cast<DWORD>(entries.size())) : SetDword(key, "Count", static_cast<DWORD>(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        char title[16], target[24];
        std::snprintf(title, sizeof(title), "Title%02u", static_cast<unsigned>(i));
        std::snprintf(target, sizeof(target), "%s%02u", targetPrefix, static_cast<unsigned>(i));
        for (auto [name, text] : {std::pair{title, entries[i].first}, {target, entries[i].second}})
            expect ? ExpectStoredString(key, name, text) : SetString(key, name, text);
    }
}

void ConfigureTables(const EntryList& programs, const EntryList& scripts) {
    ForTable(false, kFileKey, "Command", programs);
    ForTable(false, kScriptKey, "ScriptFile", scripts);
}

std::vector<std::string> Titles(const EntryList& entries) {
    std::vector<std::string> titles;
    for (const auto& entry : entries)
        titles.push_back(entry.first);
    return titles;
}

void ExpectStoredTables(const EntryList& programs, const EntryList& scripts) {
    ForTable(true, kFileKey, "Command", programs);
    ForTable(true, kScriptKey, "ScriptFile", scripts);
}

void StoreHandEditedValues() {
    SetDword(kFileKey, "Count", 9);
    SetDword(kScriptKey, "Count", static_cast<DWORD>(-1));
    SetString(kFileKey, "Title00", std::string(500, 'A'));
    std::string binary(80, 'B');
    SetRaw(kFileKey, "Title01", REG_BINARY, binary.data(), 80);
    DWORD number = 0x41424344;
    SetRaw(kFileKey, "Title02", REG_DWORD, &number, 4);
    SetString(kFileKey, "Title03", std::string(78, 'C') + Sjis("表"));
    SetString(kFileKey, "Title04", Sjis("メモ帳"));
    SetString(kFileKey, "Command02", std::string(259, 'c'));
    SetString(kFileKey, "Command03", std::string(300, 'd'));
    std::string big(8192, 'e');
    SetRaw(kFileKey, "Command04", REG_SZ, big.c_str(), static_cast<DWORD>(big.size() + 1));
}

static bool HasClass(HWND window, const char* name) {
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof(cls));
    return std::strcmp(cls, name) == 0;
}

static BOOL CALLBACK AddWindow(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(AddWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND WaitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs, DWORD pid) {
    HWND found = NULL;
    WaitUntil([&] {
        for (HWND window : TopLevelWindows()) {
            found = window;
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            if (owner == (pid ? pid : GetCurrentProcessId()) && IsWindowVisible(found) && match(found))
                return true;
        }
        found = NULL;
        return false;
    }, timeoutMs);
    return found;
}

HWND WaitForDialog(DWORD timeoutMs, DWORD pid) {
    return WaitForWindow([](HWND w) { return HasClass(w, "#32770"); }, timeoutMs, pid);
}

std::wstring WideWindowText(HWND window) {
    wchar_t text[1024] = L"";
    int n = InternalGetWindowText(window, text, 1024); // as stored: no ANSI procedure converts it
    return std::wstring(text, n > 0 ? n : 0);
}

std::string WindowText(HWND window) {
    char text[1024] = "";
    int n = GetWindowTextA(window, text, sizeof(text));
    return std::string(text, n > 0 ? n : 0);
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

HWND FindDescendant(HWND parent, const char* className) {
    for (HWND child = FindWindowExA(parent, NULL, NULL, NULL); child; child = FindWindowExA(parent, child, NULL, NULL)) {
        HWND found = HasClass(child, className) ? child : FindDescendant(child, className);
        if (found)
            return found;
    }
    return NULL;
}

HWND WaitForOwnedDialog(HWND owner, DWORD timeoutMs) {
    DWORD pid = 0;
    GetWindowThreadProcessId(owner, &pid);
    return WaitForWindow(
        [owner](HWND w) { return HasClass(w, "#32770") && GetWindow(w, GW_OWNER) == owner; }, timeoutMs, pid);
}

namespace {
std::atomic<HWND> lastFocused{NULL};
LRESULT CALLBACK RecordFocus(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_SETFOCUS)
        lastFocused = sent->hwnd;
    return CallNextHookEx(NULL, code, wParam, lParam);
}
} // namespace

void TrackFocus() { ASSERT_NE(SetWindowsHookExA(WH_CALLWNDPROC, RecordFocus, NULL, GetCurrentThreadId()), nullptr); }

HWND LastFocused() { return lastFocused; }

static HWND TabControlOf(HWND sheet) { return FindWindowExA(sheet, NULL, "SysTabControl32", NULL); }

HWND WaitForSheet(DWORD timeoutMs, DWORD pid) {
    return WaitForWindow([](HWND w) { return HasClass(w, "#32770") && TabControlOf(w) != NULL; },
                         timeoutMs, pid);
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

void PressButton(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

std::string DefaultBoxCaption() {
    static std::string caption;
    if (caption.empty())
        RunDriven([] { MessageBoxA(NULL, "probe", NULL, MB_OK); },
                  [] {
                      HWND box = WaitForDialog();
                      caption = WindowText(box);
                      PressButton(box, IDOK);
                  });
    return caption;
}

void ExpectErrorBox(const BoxInfo& box, const std::string& text, HWND owner) {
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.caption, DefaultBoxCaption());
    EXPECT_EQ(box.owner, owner);
    EXPECT_TRUE(box.iconError);
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
    LoadBoxIcons();
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

void CommandFromAnotherThread(HWND window, int id, std::atomic<bool>& returned, const std::function<bool()>& finished) {
    std::thread sender([&] {
        EXPECT_EQ(SendMessageA(window, WM_COMMAND, static_cast<WPARAM>(id), 0), 0);
        returned = true;
    });
    for (DWORD start = GetTickCount(); !finished() && GetTickCount() - start < 20000;) {
        MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
        PumpPending();
    }
    EXPECT_TRUE(finished()) << "the command did not finish";
    sender.join();
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

// A slot of an import or export table (the tests are 32-bit: both are 4 bytes).
static void WriteProtected(void* slot, UINT_PTR value) {
    static_assert(sizeof(UINT_PTR) == sizeof(DWORD), "32-bit tables");
    DWORD protection;
    VirtualProtect(slot, sizeof(value), PAGE_READWRITE, &protection);
    *static_cast<UINT_PTR*>(slot) = value;
    VirtualProtect(slot, sizeof(value), protection, &protection);
}

void* HookExport(const char* dll, const char* function, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(dll));
    void* original = base ? reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(base), function)) : nullptr;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
        base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    auto* functions = reinterpret_cast<DWORD*>(base + exports->AddressOfFunctions);
    for (DWORD i = 0; original && i < exports->NumberOfNames; ++i)
        if (std::strcmp(reinterpret_cast<const char*>(base + names[i]), function) == 0) {
            // An export is an offset from the module's base; modulo 2^32 it reaches any address.
            WriteProtected(&functions[ordinals[i]], reinterpret_cast<UINT_PTR>(replacement) - reinterpret_cast<UINT_PTR>(base));
            return original;
        }
    ADD_FAILURE() << dll << " does not export " << function;
    return nullptr;
}

void* HookAddonImport(const char* dll, const char* function, void* replacement, const char* module) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(module));
    EXPECT_NE(base, nullptr) << "the add-on is not loaded";
    if (!base)
        return nullptr;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         imports.VirtualAddress && d->Name; ++d) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), dll) != 0)
            continue;
        auto* name = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; name->u1.AddressOfData; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
                std::strcmp(reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name, function) != 0)
                continue;
            void* original = reinterpret_cast<void*>(slot->u1.Function);
            WriteProtected(&slot->u1.Function, reinterpret_cast<UINT_PTR>(replacement));
            return original;
        }
    }
    ADD_FAILURE() << (module ? module : "the test program") << " does not import " << dll << "!" << function;
    return nullptr;
}

LateCalls late;

std::string ShellCall(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR folder, INT show) {
    std::string call = std::to_string(reinterpret_cast<UINT_PTR>(owner));
    for (LPCSTR text : {verb, file, parameters, folder})
        call += text ? " \"" + std::string(text) + "\"" : " NULL";
    return call + " " + std::to_string(show);
}

std::string SystemLibrary(const char* name) {
    char folder[MAX_PATH];
    return std::string(folder, GetSystemDirectoryA(folder, MAX_PATH)) + "\\" + name;
}

namespace {
decltype(&LoadLibraryA) loadLibrary;
decltype(&GetProcAddress) getProcAddress;
decltype(&FreeLibrary) freeLibrary;
decltype(&ShellExecuteA) shellExecute;
// The open-file dialog, ANSI or wide, each with its own real function.
template <typename Dialog> BOOL(WINAPI* getOpenFileName)(Dialog*);
INT_PTR(WINAPI* propertySheet)(LPCPROPSHEETHEADERA);
HWND(WINAPI* htmlHelp)(HWND, LPCWSTR, UINT, DWORD_PTR);
bool IsLate(LPCSTR path, const std::string& name) {
    size_t n = std::strlen(path);
    return n >= name.size() && lstrcmpiA(path + n - name.size(), name.c_str()) == 0;
}
HMODULE WINAPI LoadOrRefuse(LPCSTR path) {
    if (IsLate(path, "SHELL32.DLL") || IsLate(path, "COMCTL32.DLL") || IsLate(path, "COMDLG32.DLL") || IsLate(path, "HHCTRL.OCX"))
        late.loads.push_back(path);
    return !late.refusedLibrary.empty() && IsLate(path, late.refusedLibrary) ? NULL : loadLibrary(path);
}
BOOL WINAPI CountFree(HMODULE module) { ++late.frees; return freeLibrary(module); }
// Windows 95's and NT 4.0's COMDLG32 know one size of the record (76 bytes, A or W) and fail
// with CDERR_STRUCTSIZE at any other, as their COMCTL32 fails a sheet whose header or page
// record is not of the first version (40 bytes).
bool RefusedAsOn95(DWORD size, DWORD known) { return late.asWindows95 && size != known; }
template <typename Dialog> BOOL WINAPI WanderingDialog(Dialog* dialog) { // Wine's keeps the folder, as the flag asks
    if (RefusedAsOn95(dialog->lStructSize, 76))
        return FALSE;
    if constexpr (std::is_same_v<Dialog, OPENFILENAMEW>)
        if (!late.widePick.empty())
            return lstrcpynW(dialog->lpstrFile, late.widePick.c_str(), dialog->nMaxFile) != NULL;
    BOOL chosen = getOpenFileName<Dialog>(dialog);
    late.folderMoves += SetCurrentDirectoryA(ExeDirectory().c_str());
    return chosen;
}
HINSTANCE WINAPI RecordShell(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR folder, INT show) {
    late.shellCalls.push_back(ShellCall(owner, verb, file, parameters, folder, show));
    if (late.duringShell)
        late.duringShell();
    return late.startNothing ? reinterpret_cast<HINSTANCE>(42) : shellExecute(owner, verb, file, parameters, folder, show);
}
INT_PTR WINAPI CountSheet(LPCPROPSHEETHEADERA header) {
    ++late.sheetCalls; // records of the first version, the only ones 95's and NT 4.0's COMCTL32 take
    bool refused = RefusedAsOn95(header->dwSize, 40);
    const auto* pages = reinterpret_cast<const BYTE*>(header->ppsp); // an array of 40-byte records
    for (UINT i = 0; i < header->nPages; ++i)
        refused = refused || RefusedAsOn95(reinterpret_cast<LPCPROPSHEETPAGEA>(pages + 40 * i)->dwSize, 40);
    if (!late.asWindows95)
        EXPECT_EQ(std::make_pair(header->dwSize, header->ppsp->dwSize), std::make_pair(40ul, 40ul));
    return late.sheetFails || refused ? -1 : propertySheet(header);
}
BOOL WINAPI Redirected(DWORD, const GUID*, ULONG, LPCSTR, void*) { return TRUE; }
// Shows the help and answers as before its window is made.
HWND WINAPI HelpWithoutWindow(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data) {
    htmlHelp(caller, file, command, data);
    return NULL;
}
// Keeps the function found as `real` and returns the stand-in that the add-on gets instead.
template <typename Function> FARPROC StandIn(FARPROC found, Function& real, Function standIn) {
    real = reinterpret_cast<Function>(reinterpret_cast<void*>(found));
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(standIn));
}
FARPROC WINAPI LookUpOrRefuse(HMODULE module, LPCSTR name) {
    FARPROC found = getProcAddress(module, name);
    if (!found || !HIWORD(reinterpret_cast<UINT_PTR>(name)))
        return found;
    if ((!late.refusedFunction.empty() && std::strncmp(name, late.refusedFunction.c_str(), late.refusedFunction.size()) == 0) ||
        (late.asWindows95 && std::strstr(name, "ActCtx")))
        return NULL;
    if (late.comctlRedirected && std::strcmp(name, "FindActCtxSectionStringA") == 0)
        return reinterpret_cast<FARPROC>(Redirected);
    if (std::strcmp(name, "GetOpenFileNameW") == 0)
        return late.asWindows95 ? reinterpret_cast<FARPROC>(WideDialogAsOn95)
                                : StandIn(found, getOpenFileName<OPENFILENAMEW>, WanderingDialog<OPENFILENAMEW>);
    if (std::strcmp(name, "ShellExecuteA") == 0)
        return StandIn(found, shellExecute, RecordShell);
    if (std::strcmp(name, "PropertySheetA") == 0)
        return StandIn(found, propertySheet, CountSheet);
    if (late.htmlHelpAnswersNull && std::strcmp(name, "HtmlHelpW") == 0)
        return StandIn(found, htmlHelp, HelpWithoutWindow);
    return std::strcmp(name, "GetOpenFileNameA") == 0 ? StandIn(found, getOpenFileName<OPENFILENAMEA>, WanderingDialog<OPENFILENAMEA>) : found;
}
} // namespace

void HookLateCalls() {
    HookImport(loadLibrary, "KERNEL32.dll", "LoadLibraryA", LoadOrRefuse);
    HookImport(getProcAddress, "KERNEL32.dll", "GetProcAddress", LookUpOrRefuse);
    HookImport(freeLibrary, "KERNEL32.dll", "FreeLibrary", CountFree);
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFileBytes(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string CurrentFolder() {
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, folder);
    return folder;
}

// Read before any test changes the current folder.
static const std::string startFolder = CurrentFolder();

std::string StartFolder() { return startFolder; }

// Removes a folder with everything it holds (paths up to the length the tests make, beyond
// what the shell's file operations take).
static void RemoveTree(const std::string& folder) {
    for (const std::string& name : Search(folder + "\\*")) {
        std::string path = folder + "\\" + name;
        if (!DeleteFileA(path.c_str()))
            RemoveTree(path);
    }
    RemoveDirectoryA(folder.c_str());
}

TestFolder::TestFolder(const std::string& name) : path_(startFolder + "\\" + name) {
    RemoveTree(path_); // what a run that crashed left
    EXPECT_TRUE(CreateDirectoryA(path_.c_str(), NULL)) << path_;
}

TestFolder::~TestFolder() {
    if (CurrentFolder().rfind(path_, 0) == 0) // a folder in use cannot go
        SetCurrentDirectoryA(startFolder.c_str());
    RemoveTree(path_);
    EXPECT_EQ(GetFileAttributesA(path_.c_str()), INVALID_FILE_ATTRIBUTES) << path_ << " stays";
}

void MakeEntries(const std::string& folder, const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) {
        std::string path = folder + "\\" + entry;
        if (entry.back() == '\\') {
            path.pop_back();
            ASSERT_TRUE(CreateDirectoryA(path.c_str(), NULL)) << path;
            continue;
        }
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
        CloseHandle(file);
    }
}

std::vector<std::string> Search(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
            names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

} // namespace qx
