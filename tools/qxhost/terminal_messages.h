// The terminal's side of the add-on's private messages, as the stand-in terminal and the
// benchmark helper know them. The tests keep a copy of their own on purpose, so that they check
// the add-on's numbers against an independent source.
#pragma once
#include <windows.h>

constexpr UINT HM_ISONLINE = WM_USER + 11;
constexpr UINT HM_RUNSCRIPT = WM_USER + 54;
constexpr UINT HM_ADDFILEITEM = WM_USER + 57;
constexpr UINT HM_ADDSCRIPTITEM = WM_USER + 61;
constexpr UINT HM_ADDSETTINGSITEM = WM_USER + 62;
constexpr UINT HM_SETITEMID = WM_USER + 71;
