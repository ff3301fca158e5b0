// The system calls that attach does not need, bound at their first use: a terminal that never
// opens the settings, never browses, never starts a program and never asks for help never maps
// their DLLs.
#pragma once
#include <windows.h>

#include <commdlg.h>
#include <prsht.h>

// Each behaves as its platform call; when the library or the function cannot be had it does
// nothing and returns what the call returns on failure (0, -1 and FALSE). A failed lookup is
// tried again at the next use.
HINSTANCE ShellExecuteLate(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                           LPCSTR directory, INT show);
INT_PTR PropertySheetLate(LPCPROPSHEETHEADERA header);
BOOL GetOpenFileNameLate(LPOPENFILENAMEA dialog);
// -1 where the function cannot be had, so that the caller may try the ANSI one.
BOOL GetOpenFileNameWideLate(LPOPENFILENAMEW dialog);
// HTML Help of the help file beside the add-on at its default topic, owned by `caller`, on
// Windows 6.0 and later, which ship no WinHelp viewer. False where it was not asked (an older
// Windows, no file, no HHCTRL.OCX): the caller then turns to WinHelp. HHCTRL.OCX stays mapped
// once bound.
bool ShowHtmlHelpLate(HWND caller);
// Closes every HTML Help window this process opened, where any may have been opened; for the
// launcher window's end, before its terminal goes.
void CloseHtmlHelpLate();
