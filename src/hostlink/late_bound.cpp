// Late binding of SHELL32, COMCTL32, COMDLG32 and HHCTRL.OCX: LoadLibraryA and GetProcAddress
// exist on every Windows the add-on runs on, and a library mapped this way stays for the
// process's life, as one named in the import table would.
#include "late_bound.h"

#include <htmlhelp.h>

#include "../tables/text_fit.h"
#include "hostlink.h"

typedef HINSTANCE(WINAPI* ShellExecuteFunction)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
typedef INT_PTR(WINAPI* PropertySheetFunction)(LPCPROPSHEETHEADERA);
typedef BOOL(WINAPI* GetOpenFileNameFunction)(void*); // either record: the same layout
typedef HWND(WINAPI* HtmlHelpFunction)(HWND, LPCWSTR, UINT, DWORD_PTR);
typedef DWORD(WINAPI* GetFileAttributesFunction)(LPCWSTR);

// The functions once found; zero at load like the rest of the add-on's data.
static FARPROC BoundShellExecute;
static FARPROC BoundPropertySheet;
static FARPROC BoundGetOpenFileName;
static FARPROC BoundGetOpenFileNameWide;
static FARPROC BoundHtmlHelp;

// FARPROC is a generic function pointer; the cast goes through void (*)(void), the one type
// that converts to any other without the compiler taking it for a mismatch.
template <typename Function> static Function As(FARPROC bound) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(bound));
}

// Windows 95 to 2000, XP before SP2 and any NT with SafeDllSearchMode off search the current
// folder before the system folder, so a bare name could map a stranger's DLL from wherever the
// terminal stands: these libraries come from the system folder by full path.
static HMODULE LoadSystemLibrary(const char* name) {
    char path[MAX_PATH];
    UINT folder = GetSystemDirectoryA(path, MAX_PATH);
    size_t nameLength = BoundedLength(name, MAX_PATH);
    if (folder == 0 || folder + 1 + nameLength >= MAX_PATH)
        return NULL;
    path[folder] = '\\';
    CopyFitted(path + folder + 1, MAX_PATH - folder - 1, name, nameLength + 1, IsSystemLeadByte);
    return LoadLibraryA(path);
}

typedef BOOL(WINAPI* FindActCtxSectionStringFunction)(DWORD, const GUID*, ULONG, LPCSTR, void*);

// KERNEL32's functions asked for by name: the activation-context question, which only XP and
// later have, and the wide file check, which the import list of 95 and NT 4.0 leaves out.
static FARPROC KernelFunction(const char* name) {
    return GetProcAddress(GetModuleHandleA("KERNEL32.DLL"), name);
}

// Whether the thread's activation context sends the bare name to a side-by-side COMCTL32 (the
// visual-styles version a terminal with such a manifest asks for). The question exists from XP
// on; before it nothing is redirected.
static bool RedirectedByActivationContext(const char* name) {
    FARPROC find = KernelFunction("FindActCtxSectionStringA");
    DWORD data[10] = {sizeof(data)}; // the keyed data of XP's size, which every later one takes
    return find != NULL && As<FindActCtxSectionStringFunction>(find)(
                               0, NULL, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name, data);
}

// A COMCTL32 the terminal has mapped is taken as it is, the version its activation context
// chose; a reference of our own by its full path keeps it while we hold its function. Else the
// bare name only where the activation context redirects it, and the system folder's otherwise,
// since a bare name searches the current folder first on many systems.
static HMODULE LoadCommonControls() {
    static const char name[] = "COMCTL32.DLL";
    char path[MAX_PATH];
    HMODULE mapped = GetModuleHandleA(name);
    DWORD length = mapped != NULL ? GetModuleFileNameA(mapped, path, MAX_PATH) : 0;
    if (length != 0 && length < MAX_PATH)
        return LoadLibraryA(path);
    if (RedirectedByActivationContext(name))
        return LoadLibraryA(name);
    return LoadSystemLibrary(name);
}

static FARPROC BindLate(FARPROC& bound, HMODULE module, const char* function) {
    if (module == NULL)
        return NULL;
    bound = GetProcAddress(module, function);
    if (bound == NULL)
        FreeLibrary(module); // a library without the function is of no use to keep
    return bound;
}

HINSTANCE ShellExecuteLate(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                           LPCSTR directory, INT show) {
    if (BoundShellExecute == NULL &&
        BindLate(BoundShellExecute, LoadSystemLibrary("SHELL32.DLL"), "ShellExecuteA") == NULL)
        return NULL;
    return As<ShellExecuteFunction>(BoundShellExecute)(owner, verb, file, parameters, directory,
                                                       show);
}

INT_PTR PropertySheetLate(LPCPROPSHEETHEADERA header) {
    if (BoundPropertySheet == NULL &&
        BindLate(BoundPropertySheet, LoadCommonControls(), "PropertySheetA") == NULL)
        return -1;
    return As<PropertySheetFunction>(BoundPropertySheet)(header);
}

static BOOL OpenFileDialog(FARPROC& bound, const char* function, void* dialog) {
    if (bound == NULL && BindLate(bound, LoadSystemLibrary("COMDLG32.DLL"), function) == NULL)
        return -1;
    return As<GetOpenFileNameFunction>(bound)(dialog);
}

BOOL GetOpenFileNameLate(LPOPENFILENAMEA dialog) {
    return OpenFileDialog(BoundGetOpenFileName, "GetOpenFileNameA", dialog) > 0;
}

BOOL GetOpenFileNameWideLate(LPOPENFILENAMEW dialog) {
    return OpenFileDialog(BoundGetOpenFileNameWide, "GetOpenFileNameW", dialog);
}

// HTML Help's one function, bound at the first Help; closing binds nothing. False where it could
// not be had; what it answers is not looked at, since a null may only mean that its window is
// not made yet. One call for both (not inlined): its bound address is read in one place.
static __declspec(noinline) bool CallHtmlHelp(HWND caller, const WCHAR* file, UINT command) {
    FARPROC help = BoundHtmlHelp;
    if (help == NULL && (command == HH_CLOSE_ALL ||
                         (help = BindLate(BoundHtmlHelp, LoadSystemLibrary("HHCTRL.OCX"),
                                          "HtmlHelpW")) == NULL))
        return false;
    As<HtmlHelpFunction>(help)(caller, file, command, 0);
    return true;
}

// Windows 6.0 and later are told by an export that 5.x lacks: a compatibility mode makes the
// version questions answer 95 or XP, but hides no export. The wide file check is asked for only
// then, since an old system may lack it.
bool ShowHtmlHelpLate(HWND caller) {
    FARPROC check = KernelFunction("GetTickCount64") ? KernelFunction("GetFileAttributesW") : NULL;
    const WCHAR* file = HtmlHelpFilePath();
    return check != NULL &&
           As<GetFileAttributesFunction>(check)(file) != INVALID_FILE_ATTRIBUTES &&
           CallHtmlHelp(caller, file, HH_DISPLAY_TOPIC);
}

// HTML Help asks its caller to close its windows before the caller's end; a window that stayed
// would outlive the frame that owns it, with HHCTRL.OCX's state about it.
void CloseHtmlHelpLate() {
    CallHtmlHelp(NULL, NULL, HH_CLOSE_ALL);
}
