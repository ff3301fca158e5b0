// The add-on's one global record: both tables, their backups, the registry key and the handles.
#pragma once
#include <windows.h>

#include "launch_table.h"

struct LauncherStateRecord {
    LaunchTable FileTable;   // program entries, ids 200 + i
    LaunchTable ScriptTable; // script entries, ids 300 + i
    LaunchEntry FileBackup[kTableSlots];   // copies taken just before the settings sheet opens
    LaunchEntry ScriptBackup[kTableSlots];
    HKEY StoreKey;           // the registry store's current key, null between operations
    char* ChannelView;       // read-write view of the whole text channel
    HANDLE ChannelSection;   // our own handle to the channel section
    HINSTANCE ModuleInstance;
    HWND HostFrame;          // the terminal's frame window
    HWND LauncherWindow;     // our hidden child of the frame; null again once it is destroyed
    // What the terminal's menus hold in this run of it: the items of each table (set at attach,
    // raised by each append), and whether the restart notice has been shown since.
    int HeldFileItems;
    int HeldScriptItems;
    bool RestartPending;
};

// Zero at load: both tables empty until LoadLaunchTables runs.
extern LauncherStateRecord LauncherState;
