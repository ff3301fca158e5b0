// The three system calls that attach does not need, bound at their first use: a terminal that
// never opens the settings, never browses and never starts a program never maps their DLLs.
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
