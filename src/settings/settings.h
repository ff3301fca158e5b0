// The settings sheet's two pages and the pieces they share.
#pragma once
#include <windows.h>

#include "../tables/launch_table.h"

INT_PTR CALLBACK FileMenuPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ScriptMenuPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The error box both pages show when a filled row follows an empty one.
void ShowFillFromTopError(HWND owner);
// Opens the help file at its contents, owned by the terminal's frame.
void ShowSettingsHelp();

// Row handling shared by both pages; targetFirstId is the id of row 0's second control
// (command line or script file). Answers PSN_KILLACTIVE (validation), PSN_APPLY (the rows into
// the table) and PSN_HELP; any other notification is left alone.
INT_PTR HandlePageNotify(HWND page, LPARAM lParam, LaunchTable& table, int targetFirstId,
                         bool focusOnGap);
