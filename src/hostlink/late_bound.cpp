// Late binding of SHELL32, COMCTL32 and COMDLG32: LoadLibraryA and GetProcAddress exist on
// every Windows the add-on runs on, and a library mapped this way stays for the process's life,
// as one named in the import table would.
#include "late_bound.h"

#include "../tables/launcher_state.h"

typedef HINSTANCE(WINAPI* ShellExecuteFunction)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
typedef INT_PTR(WINAPI* PropertySheetFunction)(LPCPROPSHEETHEADERA);
typedef BOOL(WINAPI* GetOpenFileNameFunction)(LPOPENFILENAMEA);

static FARPROC BindLate(FARPROC& bound, const char* library, const char* function) {
    if (bound != NULL)
        return bound;
    HMODULE module = LoadLibraryA(library);
    if (module == NULL)
        return NULL;
    bound = GetProcAddress(module, function);
    if (bound == NULL)
        FreeLibrary(module); // a library without the function is of no use to keep
    return bound;
}

// FARPROC is a generic function pointer; the cast goes through void (*)(void), the one type
// that converts to any other without the compiler taking it for a mismatch.
template <typename Function> static Function As(FARPROC bound) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(bound));
}

HINSTANCE ShellExecuteLate(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                           LPCSTR directory, INT show) {
    FARPROC bound = BindLate(LauncherState.Late.ShellExecute, "SHELL32.DLL", "ShellExecuteA");
    if (bound == NULL)
        return NULL;
    return As<ShellExecuteFunction>(bound)(owner, verb, file, parameters, directory, show);
}

INT_PTR PropertySheetLate(LPCPROPSHEETHEADERA header) {
    FARPROC bound = BindLate(LauncherState.Late.PropertySheet, "COMCTL32.DLL", "PropertySheetA");
    if (bound == NULL)
        return -1;
    return As<PropertySheetFunction>(bound)(header);
}

BOOL GetOpenFileNameLate(LPOPENFILENAMEA dialog) {
    FARPROC bound = BindLate(LauncherState.Late.GetOpenFileName, "COMDLG32.DLL", "GetOpenFileNameA");
    if (bound == NULL)
        return FALSE;
    return As<GetOpenFileNameFunction>(bound)(dialog);
}
