// The entry point: on process attach, find the terminal, make the launcher window, load the
// tables and register every menu item with the terminal.
#include "hostlink.h"

#include "../tables/launcher_state.h"
#include "../tables/store.h"
#include "texts.h"

static BOOL FailAttach(const char* text) {
    MessageBoxA(NULL, text, NULL, MB_ICONERROR);
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
// calls into freed code. Loading a module that is already loaded only counts the reference: the
// loader neither maps it again nor calls DllMain again, which makes this safe inside DllMain.
static void PinModule(HINSTANCE instance) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(instance, path, sizeof(path));
    if (length == 0 || length >= sizeof(path))
        return; // a cut path could name another file
    LoadLibraryA(path);
}

static BOOL AttachToHost(HINSTANCE instance) {
    LauncherState.ModuleInstance = instance;
    LauncherState.HostFrame = FindWindowA(kFrameClassName, NULL);
    if (LauncherState.HostFrame == NULL)
        return FailAttach(kTextHostNotRunning);
    if (RegisterLauncherClass() == 0)
        return FailAttach(kTextInternalError1);
    LauncherState.LauncherWindow = CreateWindowExA(0, kLauncherClassName, "", WS_CHILD, 0, 0, 0, 0,
                                                   LauncherState.HostFrame, NULL, instance, NULL);
    if (LauncherState.LauncherWindow == NULL)
        return FailAttach(kTextInternalError2);
    PinModule(instance);
    LoadLaunchTables();
    CreateTextChannel();
    const LaunchTable& files = LauncherState.FileTable;
    const LaunchTable& scripts = LauncherState.ScriptTable;
    RegisterTableItems(HM_ADDFILEITEM, IDM_FILE_FIRST, files, 0, files.count != 0);
    RegisterTableItems(HM_ADDSCRIPTITEM, IDM_SCRIPT_FIRST, scripts, 0, scripts.count != 0);
    LauncherState.HeldFileItems = files.count;
    LauncherState.HeldScriptItems = scripts.count;
    SendMessageA(LauncherState.HostFrame, HM_SETITEMID, IDM_SETTINGS, 0);
    SendTextToHost(HM_ADDSETTINGSITEM, reinterpret_cast<WPARAM>(LauncherState.LauncherWindow),
                   kTextSettingsItem, sizeof(kTextSettingsItem));
    return TRUE;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    return AttachToHost(instance);
}
