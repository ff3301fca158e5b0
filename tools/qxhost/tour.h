// The demo's guided tour: timed steps that open menus, pick items and take screenshots.
#pragma once
#include <windows.h>

#include <string>

// The Western tour (`western`) is the short one made for code page 1252.
void StartTour(HWND frame, const std::string& directory, bool western = false);
// Runs the next step; called on the frame's WM_TIMER, also from inside modal loops.
void AdvanceTour(HWND frame);

HWND HostFrame();
void HostShowEvent(const std::string& text);
