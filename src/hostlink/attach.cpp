// The entry point: on process attach, find the terminal, make the launcher window, load the
// tables and register every menu item with the terminal.
#include "hostlink.h"

#include "../tables/launcher_state.h"
#include "../tables/store.h"
#include "texts.h"

static BOOL FailAttach(const char* text) {
    ShowTextBox(NULL, text, NULL, MB_ICONERROR);
    return FALSE;
}

static ATOM RegisterLauncherClass() {
    WNDCLASSA windowClass;
    windowClass.style = 0;
    windowClass.lpfnWndProc = LauncherWndProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = LauncherState.ModuleInstance;
    windowClass.hIcon = NULL;
    windowClass.hCursor = NULL;
    windowClass.hbrBackground = NULL;
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = kLauncherClassName;
    return RegisterClassA(&windowClass);
}

// The terminal may unload us while our window lives on as its child; a reference of our own,
// never released, keeps the module mapped for the life of the process, so that window never
// calls into freed code. Loading a module that is already loaded by its own full path only
// counts the reference: the loader neither maps it again nor calls DllMain again, which makes
// this safe inside DllMain. Whatever else a load returns is released at once.
static void KeepOnlyThisModule(HINSTANCE instance, HMODULE loaded) {
    if (loaded != NULL && loaded != instance)
        FreeLibrary(loaded);
}

// Room for the longest path NT takes and, past it, for the help file's name in place of ours
// (HtmlHelpFilePath); static, since it is far too large for the stack.
static const DWORD kWidePathSize = 32768;
static const WCHAR kHtmlHelpFile[] = L"QXLAUNCH.CHM";
static WCHAR WideModulePath[kWidePathSize + sizeof(kHtmlHelpFile) / sizeof(WCHAR)];

// On NT by the wide path, which is always the module's own: an ANSI path is cut at MAX_PATH
// bytes and turns characters outside the ANSI code page into others, so it may name no file
// or another one. Windows 95, 98 and Me fail the wide calls and have only the ANSI path.
static void PinModule(HINSTANCE instance) {
    const DWORD wideSize = kWidePathSize;
    DWORD length = GetModuleFileNameW(instance, WideModulePath, wideSize);
    LauncherState.WideCallsAreStubs = length == 0;
    if (length != 0) {
        if (length < wideSize)
            KeepOnlyThisModule(instance, LoadLibraryW(WideModulePath));
        return;
    }
    char path[MAX_PATH];
    length = GetModuleFileNameA(instance, path, sizeof(path));
    if (length != 0 && length < sizeof(path))
        KeepOnlyThisModule(instance, LoadLibraryA(path));
}

// The help file in our own folder: its name takes the place of ours in the path the attach read,
// which nothing reads since. Only for NT, where that path was had.
const WCHAR* HtmlHelpFilePath() {
    WCHAR* const path = WideModulePath;
    WCHAR* name = path;
    for (WCHAR* p = path; *p != 0; ++p)
        if (*p == L'\\')
            name = p + 1;
    for (const WCHAR* c = kHtmlHelpFile; (*name++ = *c) != 0; ++c) {
    }
    return path;
}

// The frame of the terminal that loads us, even when another terminal's frame comes first.
static BOOL CALLBACK TakeOwnFrame(HWND window, LPARAM) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char name[32];
    if (process != GetCurrentProcessId() || GetClassNameA(window, name, sizeof(name)) == 0 ||
        lstrcmpiA(name, kFrameClassName) != 0)
        return TRUE;
    LauncherState.HostFrame = window;
    return FALSE;
}

// Whether the launcher class is ours to remove: a class of that name may be someone else's.
static bool LauncherClassHeld;

static BOOL AttachToHost(HINSTANCE instance) {
    LauncherState.ModuleInstance = instance;
    EnumWindows(TakeOwnFrame, 0);
    // A process without a frame of its own may be a loader beside a terminal of another
    // process: the first frame of the class is that terminal's.
    if (LauncherState.HostFrame == NULL)
        LauncherState.HostFrame = FindWindowA(kFrameClassName, NULL);
    if (LauncherState.HostFrame == NULL)
        return FailAttach(kTextHostNotRunning);
    if (RegisterLauncherClass() == 0)
        return FailAttach(kTextInternalError1);
    LauncherClassHeld = true;
    LauncherState.LauncherWindow = CreateWindowExA(0, kLauncherClassName, "", WS_CHILD, 0, 0, 0, 0,
                                                   LauncherState.HostFrame, NULL, instance, NULL);
    if (LauncherState.LauncherWindow == NULL) {
        // A class whose procedure is about to be unmapped would crash whoever uses it next,
        // and would make a second load in this process fail at the class.
        UnregisterClassA(kLauncherClassName, instance);
        LauncherClassHeld = false;
        return FailAttach(kTextInternalError2);
    }
    PinModule(instance);
    LoadLaunchTables();
    CreateTextChannel();
    const LaunchTable& files = LauncherState.FileTable;
    const LaunchTable& scripts = LauncherState.ScriptTable;
    RegisterTableItems(HM_ADDFILEITEM, IDM_FILE_FIRST, files, 0, files.count != 0);
    RegisterTableItems(HM_ADDSCRIPTITEM, IDM_SCRIPT_FIRST, scripts, 0, scripts.count != 0);
    SendHostMessage(HM_SETITEMID, IDM_SETTINGS, 0);
    SendTextToHost(HM_ADDSETTINGSITEM, reinterpret_cast<WPARAM>(LauncherState.LauncherWindow),
                   kTextSettingsItem, sizeof(kTextSettingsItem));
    return TRUE;
}

// Unloaded by FreeLibrary, which only happens when no reference of our own could be had: the
// window and the class outlive the image, so both are handed to the default procedure (a class
// without windows is removed) and the channel goes with the image.
static void LetGoOfWindow() {
    if (!LauncherClassHeld)
        return;
    HWND window = LauncherState.LauncherWindow;
    if (window != NULL) {
        LONG defaultProcedure = reinterpret_cast<LONG>(DefWindowProcA);
        SetClassLongA(window, GCL_WNDPROC, defaultProcedure);
        SetWindowLongA(window, GWL_WNDPROC, defaultProcedure);
        ReleaseTextChannel();
    }
    UnregisterClassA(kLauncherClassName, LauncherState.ModuleInstance);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH)
        return AttachToHost(instance);
    // At process exit (reserved set) nothing of ours runs again, and Windows frees it all.
    if (reason == DLL_PROCESS_DETACH && reserved == NULL)
        LetGoOfWindow();
    return TRUE;
}
