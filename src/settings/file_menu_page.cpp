// The program menu page: five rows of title and command line, each with a browse button.
#include "settings.h"

#include "../../res/resource.h"
#include "../hostlink/late_bound.h"
#include "../hostlink/texts.h"
#include "../tables/launcher_state.h"
#include "settings_rules.h"

static void LimitProgramRows(HWND page) {
    for (int i = 0; i < kTableSlots; ++i) {
        SendDlgItemMessageA(page, IDC_TITLE + i, EM_LIMITTEXT, kTitleSize - 1, 0);
        SendDlgItemMessageA(page, IDC_COMMAND + i, EM_LIMITTEXT, kTargetSize - 1, 0);
    }
}

static void ShowProgramEntries(HWND page) {
    const LaunchTable& files = LauncherState.FileTable;
    for (int i = 0; i < files.count; ++i) {
        SetDlgItemTextA(page, IDC_TITLE + i, files.entries[i].title);
        SetDlgItemTextA(page, IDC_COMMAND + i, files.entries[i].target);
    }
}

static INT_PTR InitProgramPage(HWND page) {
    LimitProgramRows(page);
    ShowProgramEntries(page);
    return TRUE; // the dialog manager focuses the first control that takes it
}

// The file dialog starts empty; the chosen program replaces the whole command line, quoted when
// its path holds a blank. A path that cannot be quoted within the field leaves the row as it
// was, like a cancelled dialog.
static void BrowseForProgram(HWND page, int buttonId) {
    char path[kTargetSize];
    path[0] = '\0';
    OPENFILENAMEA dialog;
    ZeroMemory(&dialog, sizeof(dialog));
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = page;
    dialog.hInstance = LauncherState.ModuleInstance;
    dialog.lpstrFilter = kTextProgramFilter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = kTargetSize - 1;
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR |
                   OFN_HIDEREADONLY;
    // The flag does not keep the folder on every system, and the terminal and every program we
    // start (in ".") depend on it: it is put back whatever the dialog did.
    char folder[MAX_PATH];
    DWORD kept = GetCurrentDirectoryA(MAX_PATH, folder);
    BOOL chosen = GetOpenFileNameLate(&dialog);
    if (kept != 0 && kept < MAX_PATH)
        SetCurrentDirectoryA(folder);
    if (!chosen)
        return;
    if (QuoteBrowsedPath(path, sizeof(path), kTargetSize - 1) == kBrowseRefused)
        return;
    int commandId = buttonId - (IDC_BROWSE - IDC_COMMAND);
    SetDlgItemTextA(page, commandId, path);
    SetFocus(GetDlgItem(page, commandId));
}

static INT_PTR OnProgramPageCommand(HWND page, WPARAM wParam) {
    int id = LOWORD(wParam);
    if (IDC_BROWSE <= id && id < IDC_BROWSE + kTableSlots)
        BrowseForProgram(page, id);
    return FALSE;
}

INT_PTR CALLBACK FileMenuPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return InitProgramPage(page);
    case WM_COMMAND:
        return OnProgramPageCommand(page, wParam);
    case WM_NOTIFY:
        return HandlePageNotify(page, lParam, LauncherState.FileTable, IDC_COMMAND, true);
    default:
        return FALSE;
    }
}
