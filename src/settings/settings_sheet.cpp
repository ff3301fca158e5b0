// The settings sheet: refused while the terminal is online; afterwards both tables are saved
// and the terminal's menus follow by appending, or the user is told to restart it.
#include "settings.h"

#include <prsht.h>

#include "../../res/resource.h"
#include "../hostlink/hostlink.h"
#include "../hostlink/late_bound.h"
#include "../hostlink/texts.h"
#include "../tables/launcher_state.h"
#include "../tables/store.h"
#include "settings_rules.h"

// The pages go to the sheet as an array of first-version records of 40 bytes each; the header
// (also of the first version) says 40 in its dwSize.
static_assert(sizeof(PROPSHEETPAGEA_V1) == 40, "page record of the first version");

static void FillPageRecord(PROPSHEETPAGEA_V1& record, int templateId, DLGPROC procedure) {
    ZeroMemory(&record, sizeof(record));
    record.dwSize = sizeof(record);
    record.dwFlags = PSP_HASHELP;
    record.hInstance = LauncherState.ModuleInstance;
    record.pszTemplate = MAKEINTRESOURCEA(templateId);
    record.pfnDlgProc = procedure;
}

static void FillSheetHeader(PROPSHEETHEADERA& header, const PROPSHEETPAGEA_V1* pages) {
    ZeroMemory(&header, sizeof(header));
    header.dwSize = PROPSHEETHEADERA_V1_SIZE;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
    header.hwndParent = LauncherState.HostFrame;
    header.hInstance = LauncherState.ModuleInstance;
    header.pszCaption = kTextSheetCaption;
    header.nPages = 2;
    header.nStartPage = 0;
    header.ppsp = reinterpret_cast<LPCPROPSHEETPAGEA>(pages);
}

// All five slots of each table, those past its count included.
static void TakeBackups() {
    LauncherStateRecord& state = LauncherState;
    CopyMemory(state.FileBackup, state.FileTable.entries, sizeof(state.FileBackup));
    CopyMemory(state.ScriptBackup, state.ScriptTable.entries, sizeof(state.ScriptBackup));
}

// Programs first, then scripts; each group opened when it gets its first entry.
static void AppendNewEntries(int oldFileCount, int oldScriptCount) {
    const LaunchTable& files = LauncherState.FileTable;
    const LaunchTable& scripts = LauncherState.ScriptTable;
    RegisterTableItems(HM_ADDFILEITEM, IDM_FILE_FIRST, files, oldFileCount,
                       OpensGroup(oldFileCount, files.count));
    RegisterTableItems(HM_ADDSCRIPTITEM, IDM_SCRIPT_FIRST, scripts, oldScriptCount,
                       OpensGroup(oldScriptCount, scripts.count));
}

// A restart is pending once the notice has been shown; from then on the terminal's ids follow
// the rows of its start, so an entry added later waits for the restart too.
static bool SheetNeedsRestart(int oldFileCount, int oldScriptCount) {
    const LaunchTable& files = LauncherState.FileTable;
    const LaunchTable& scripts = LauncherState.ScriptTable;
    return NeedsRestart(oldFileCount, LauncherState.FileBackup, files, oldScriptCount,
                        LauncherState.ScriptBackup, scripts) ||
           AdditionWaitsForRestart(LauncherState.RestartPending, oldFileCount, files.count,
                                   oldScriptCount, scripts.count);
}

// One settings sheet at a time for all the user's terminals: rows are known only by their
// position, so two lists edited at once have no sound merge. The lock is a named section: its
// first word is set by the terminal whose sheet is open, its second is that sheet's window. The
// section lives only while some terminal holds it, so one that ends with its sheet open, however
// it ends, leaves no lock behind.
static const char kSheetLockName[] = "QuolixLaunchSheet";

// Either may be missing: a section made but not mapped is closed all the same.
static void ReleaseSheetLock(HANDLE section, LONG* words) {
    if (words != NULL)
        UnmapViewOfFile(words);
    if (section != NULL)
        CloseHandle(section);
}

// The restart notice and the box for a sheet open elsewhere.
static void ShowInformation(HWND frame, const char* text) {
    ShowTextBox(frame, text, kTextLaunchCaption, MB_ICONINFORMATION);
}

void RunSettingsSheet() {
    HWND frame = LauncherState.HostFrame;
    if (SendHostMessage(HM_ISONLINE, 0, 0) != 0) {
        ShowTextBox(frame, kTextOnline, NULL, MB_ICONERROR);
        return;
    }
    // A lock that cannot be had must not shut the settings for good: the sheet opens unlocked.
    HANDLE lock = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                     2 * sizeof(LONG), kSheetLockName);
    LONG* held = static_cast<LONG*>(MapViewOfFile(lock, FILE_MAP_WRITE, 0, 0, 0));
    if (held != NULL && InterlockedExchange(held, 1) != 0) {
        // That terminal's sheet comes to the front; where it is not there yet, or Windows keeps
        // the foreground, the user is told.
        HWND sheet = reinterpret_cast<HWND>(static_cast<LONG_PTR>(held[1]));
        ReleaseSheetLock(lock, held);
        if (!SetForegroundWindow(sheet))
            ShowInformation(frame, kTextSheetOpenElsewhere);
        return;
    }
    LauncherState.SheetLock = held;
    PROPSHEETPAGEA_V1 pages[2];
    FillPageRecord(pages[0], IDD_FILEMENU, FileMenuPageProc);
    FillPageRecord(pages[1], IDD_SCRIPTMENU, ScriptMenuPageProc);
    PROPSHEETHEADERA header;
    FillSheetHeader(header, pages);
    int oldFileCount = LauncherState.FileTable.count;
    int oldScriptCount = LauncherState.ScriptTable.count;
    TakeBackups();
    // The backups stay what the menus hold: rows another terminal added since are appended at
    // the close like the sheet's own, and its renames and removals bring the notice.
    RefreshLaunchTables();
    PropertySheetLate(&header); // OK, Cancel and a sheet that never showed all go on alike
    // The menus follow the sheet all the same: the changes hold until the terminal ends.
    bool saved = SaveLaunchTables();
    LauncherState.SheetLock = NULL;
    if (held != NULL)
        held[1] = held[0] = 0;
    ReleaseSheetLock(lock, held);
    if (!saved)
        ShowTextBox(frame, kTextSaveFailed, NULL, MB_ICONERROR);
    if (SheetNeedsRestart(oldFileCount, oldScriptCount)) {
        LauncherState.RestartPending = true;
        ShowInformation(frame, kTextRestartNotice);
        return;
    }
    // Appending starts at the counts the sheet opened with: with a restart pending and nothing
    // added, that is nothing at all.
    AppendNewEntries(oldFileCount, oldScriptCount);
}

void ShowFillFromTopError(HWND owner) {
    ShowTextBox(owner, kTextFillFromTop, NULL, MB_OK | MB_ICONERROR);
}

// Windows Vista and later ship no WinHelp viewer: there HTML Help is asked, and WinHelp only
// where HTML Help cannot be had, since WinHelp could say no more than "not supported".
void ShowSettingsHelp() {
    HWND frame = LauncherState.HostFrame;
    if (!ShowHtmlHelpLate(frame))
        WinHelpA(frame, kTextHelpFile, HELP_CONTENTS, 0);
}
