// The demo's guided tour: timed steps that open menus, pick items and take screenshots.
#pragma once
#include <windows.h>

#include <string>

// The Western tour is the short one made for code page 1252; the HTML Help tour opens Help as
// Windows Vista and later do.
enum TourKind { kMainTour, kWesternTour, kHtmlHelpTour };
void StartTour(HWND frame, const std::string& directory, TourKind kind = kMainTour);
// Runs the next step; called on the frame's WM_TIMER, also from inside modal loops.
void AdvanceTour(HWND frame);

HWND HostFrame();
void HostShowEvent(const std::string& text);
