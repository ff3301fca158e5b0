// The script menu page: five rows of title and script file, the terminal's script folder
// offered in every row's combo box.
#include "settings.h"

#include "../../res/resource.h"
#include "../tables/launcher_state.h"
#include "../tables/store.h"
#include "settings_rules.h"

static void LimitScriptRows(HWND page) {
    for (int i = 0; i < kTableSlots; ++i) {
        SendDlgItemMessageA(page, IDC_TITLE + i, EM_LIMITTEXT, kTitleSize - 1, 0);
        SendDlgItemMessageA(page, IDC_SCRIPTFILE + i, CB_LIMITTEXT, kTargetSize - 1, 0);
    }
}

static void AddScriptName(HWND page, const char* name) {
    for (int i = 0; i < kTableSlots; ++i)
        SendDlgItemMessageA(page, IDC_SCRIPTFILE + i, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(name));
}

// The terminal's script folder is read afresh each time the page is made; every name the
// search returns is offered, in the search's order, folders that match included.
static void ListScriptFolder(HWND page) {
    char pattern[kTargetSize];
    OpenStoreKey(kHostConfigKeyPath);
    bool whole = ReadStoreString("ScriptPath", pattern, sizeof(pattern), kDropOverlong);
    CloseStoreKey();
    // A folder too long to read or to search lists nothing: an empty one would mean the root
    // of the current drive, which is not the terminal's script folder.
    if (!whole || !AppendScriptPattern(pattern, sizeof(pattern)))
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do
        AddScriptName(page, found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
}

// A stored name that the list holds (letter case aside) selects that item; any other name is
// shown as typed text.
static void ShowScriptEntries(HWND page) {
    const LaunchTable& scripts = LauncherState.ScriptTable;
    for (int i = 0; i < scripts.count; ++i) {
        const LaunchEntry& entry = scripts.entries[i];
        SendDlgItemMessageA(page, IDC_TITLE + i, WM_SETTEXT, 0,
                            reinterpret_cast<LPARAM>(entry.title));
        LRESULT item = SendDlgItemMessageA(page, IDC_SCRIPTFILE + i, CB_FINDSTRINGEXACT,
                                           static_cast<WPARAM>(-1),
                                           reinterpret_cast<LPARAM>(entry.target));
        if (item != CB_ERR)
            SendDlgItemMessageA(page, IDC_SCRIPTFILE + i, CB_SETCURSEL, item, 0);
        else
            SendDlgItemMessageA(page, IDC_SCRIPTFILE + i, WM_SETTEXT, 0,
                                reinterpret_cast<LPARAM>(entry.target));
    }
}

static INT_PTR InitScriptPage(HWND page) {
    LimitScriptRows(page);
    ListScriptFolder(page);
    ShowScriptEntries(page);
    return TRUE;
}

INT_PTR CALLBACK ScriptMenuPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)wParam;
    switch (message) {
    case WM_INITDIALOG:
        return InitScriptPage(page);
    case WM_NOTIFY:
        // A gap leaves the focus where the message box puts it back.
        return HandlePageNotify(page, lParam, LauncherState.ScriptTable, IDC_SCRIPTFILE, false);
    default:
        return FALSE;
    }
}
