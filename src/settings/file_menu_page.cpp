// The program menu page: five rows of title and command line, each with a browse button.
#include "settings.h"

#include "../../res/resource.h"
#include "../hostlink/hostlink.h"
#include "../hostlink/late_bound.h"
#include "../hostlink/texts.h"
#include "../tables/launcher_state.h"
#include "settings_rules.h"

static_assert(IDC_COMMAND == IDC_TITLE + kTableSlots, "the command lines follow the titles");

// Each field is looked up once for its limit and its text: under Wine every look-up is a round
// trip to the server, paid before the sheet can show. Titles are fields 1000 to 1004, command
// lines 1005 to 1009.
static void ShowProgramRows(HWND page) {
    const LaunchTable& files = LauncherState.FileTable;
    for (int field = 0; field < 2 * kTableSlots; ++field) {
        int row = field % kTableSlots;
        bool command = field >= kTableSlots;
        HWND edit = GetDlgItem(page, IDC_TITLE + field);
        SendMessageA(edit, EM_LIMITTEXT, command ? kTargetSize - 1 : kTitleSize - 1, 0);
        if (row < files.count)
            SendMessageA(edit, WM_SETTEXT, 0,
                         reinterpret_cast<LPARAM>(command ? files.entries[row].target
                                                          : files.entries[row].title));
    }
}

// The sheet has set its title from the ANSI header by now, read in the system's code page; it is
// put again in UTF-16. The default procedure takes it as it is: through the sheet's own (ANSI)
// procedure it would pass the system's code page once more. Windows 95, 98 and Me have
// DefWindowProcW as a stub that fails, and keep the ANSI title.
static void WidenSheetTitle(HWND sheet) {
    WCHAR title[32];
    if (WidenShownText(kTextSheetCaption, -1, title, 32))
        DefWindowProcW(sheet, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(title));
}

// The program page is the sheet's first, made with it: the sheet's window is published for the
// other terminals from here.
static INT_PTR InitProgramPage(HWND page) {
    HWND sheet = GetParent(page);
    WidenSheetTitle(sheet);
    if (LauncherState.SheetLock != NULL)
        LauncherState.SheetLock[1] = static_cast<LONG>(reinterpret_cast<LONG_PTR>(sheet));
    ShowProgramRows(page);
    return TRUE; // the dialog manager focuses the first control that takes it
}

// The chosen path in the system's code page, refused unless it converts back to the very same
// characters: a path cut or changed in the conversion would start another program or none.
static bool NarrowExactly(const WCHAR* chosen, char* path) {
    WCHAR back[kTargetSize];
    if (WideCharToMultiByte(CP_ACP, 0, chosen, -1, path, kTargetSize, NULL, NULL) == 0 ||
        MultiByteToWideChar(CP_ACP, 0, path, -1, back, kTargetSize) == 0)
        return false;
    for (int i = 0; back[i] == chosen[i]; ++i)
        if (chosen[i] == 0)
            return true;
    return false;
}

// The dialog in UTF-16, so that its filter names read right whatever the code page; the ANSI
// dialog where the filter cannot be converted or the wide calls are stubs (95, 98 and Me). Both
// records have the same 76-byte layout.
static BOOL ChooseProgram(HWND page, char* path) {
    WCHAR filter[sizeof(kTextProgramFilter)];
    WCHAR chosen[kTargetSize];
    union {
        OPENFILENAMEA ansi;
        OPENFILENAMEW wide;
    } dialog;
    ZeroMemory(&dialog, sizeof(dialog));
    dialog.wide.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    dialog.wide.hwndOwner = page;
    dialog.wide.hInstance = LauncherState.ModuleInstance;
    dialog.wide.lpstrFilter = filter;
    dialog.wide.nFilterIndex = 1;
    dialog.wide.lpstrFile = chosen;
    dialog.wide.nMaxFile = kTargetSize - 1;
    dialog.wide.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR |
                        OFN_HIDEREADONLY;
    chosen[0] = 0;
    if (!LauncherState.WideCallsAreStubs &&
        WidenShownText(kTextProgramFilter, sizeof(kTextProgramFilter), filter,
                       sizeof(kTextProgramFilter))) {
        BOOL picked = GetOpenFileNameWideLate(&dialog.wide);
        if (picked != -1)
            return picked && NarrowExactly(chosen, path);
    }
    dialog.ansi.lpstrFilter = kTextProgramFilter;
    dialog.ansi.lpstrFile = path;
    return GetOpenFileNameLate(&dialog.ansi);
}

// The file dialog starts empty; the chosen program replaces the whole command line, quoted when
// its path holds a blank. A path that cannot be quoted within the field leaves the row as it
// was, like a cancelled dialog.
static void BrowseForProgram(HWND page, int buttonId) {
    char path[kTargetSize];
    path[0] = '\0';
    // The flag does not keep the folder on every system, and the terminal and every program we
    // start (in ".") depend on it: it is put back whatever the dialog did.
    char folder[MAX_PATH];
    DWORD kept = GetCurrentDirectoryA(MAX_PATH, folder);
    BOOL chosen = ChooseProgram(page, path);
    if (kept != 0 && kept < MAX_PATH)
        SetCurrentDirectoryA(folder);
    if (!chosen)
        return;
    if (QuoteBrowsedPath(path, sizeof(path), kTargetSize - 1) == kBrowseRefused)
        return;
    int commandId = buttonId - (IDC_BROWSE - IDC_COMMAND);
    HWND command = GetDlgItem(page, commandId);
    SendMessageA(command, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
    SetFocus(command);
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
