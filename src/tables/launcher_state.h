// The add-on's one global record: both tables, their backups, the registry key and the handles.
#pragma once
#include <windows.h>

#include "launch_table.h"

struct LauncherStateRecord {
    LaunchTable FileTable;   // program entries, ids 200 + i
    LaunchTable ScriptTable; // script entries, ids 300 + i
    LaunchEntry FileBackup[kTableSlots];   // copies taken just before the settings sheet opens
    LaunchEntry ScriptBackup[kTableSlots];
    // Each value as this terminal last loaded it from the store or wrote it there: another
    // terminal may have changed the store since, and what it saved is not ours to undo.
    LaunchTable FileStored;
    LaunchTable ScriptStored;
    // The tables as the settings sheet last opened on them: what it changed is what differs.
    LaunchTable FileOpened;
    LaunchTable ScriptOpened;
    HKEY StoreKey;           // the registry store's current key, null between operations
    // While this terminal's sheet is open: the shared lock's words, the second for the sheet's
    // window, through which another terminal brings the sheet to the front.
    LONG* SheetLock;
    char* ChannelView;       // read-write view of the whole text channel
    HANDLE ChannelSection;   // our own handle to the channel section
    HINSTANCE ModuleInstance;
    HWND HostFrame;          // the terminal's frame window
    HWND LauncherWindow;     // our hidden child of the frame; null again once it is destroyed
    // Set once the restart notice has been shown: from then on the terminal's menus no longer
    // follow the tables, and nothing is appended to them until it restarts.
    bool RestartPending;
    // Windows 95, 98 and Me: most wide calls, the file dialog's among them, are stubs that fail.
    bool WideCallsAreStubs;
};

// Zero at load: both tables empty until LoadLaunchTables runs.
extern LauncherStateRecord LauncherState;
