// The terminal's private messages, the add-on's command ids, and the host link routines.
#pragma once
#include <windows.h>

// Messages to the terminal's frame window.
constexpr UINT HM_ISONLINE = WM_USER + 11;        // 1035: non-zero while the terminal is online
constexpr UINT HM_RUNSCRIPT = WM_USER + 54;       // 1078: wParam name length, lParam channel handle
constexpr UINT HM_ADDFILEITEM = WM_USER + 57;     // 1081: lParam 0 opens the program group
constexpr UINT HM_ADDSCRIPTITEM = WM_USER + 61;   // 1085: lParam 0 opens the script group
constexpr UINT HM_ADDSETTINGSITEM = WM_USER + 62; // 1086: the settings item, no group
constexpr UINT HM_SETITEMID = WM_USER + 71;       // 1095: id for the next add-item message

// Command ids the terminal sends back in WM_COMMAND.
constexpr int IDM_SETTINGS = 100;
constexpr int IDM_FILE_FIRST = 200;   // program entry i has 200 + i
constexpr int IDM_SCRIPT_FIRST = 300; // script entry i has 300 + i

constexpr DWORD kTextChannelSize = 1024;
constexpr const char* kFrameClassName = "QuolixFrameClass";
constexpr const char* kLauncherClassName = "QuolixLaunch";

// The module's work begins here; the image's entry point hands the loader's call to it.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

// The full path of QXLAUNCH.CHM in the add-on's own folder, by the module's wide path (NT only).
const WCHAR* HtmlHelpFilePath();

LRESULT CALLBACK LauncherWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Creates the unnamed 1024-byte section and maps all of it once.
void CreateTextChannel();

// Unmaps and closes the channel; nothing is left to release afterwards.
void ReleaseTextChannel();

// A new duplicate of the channel section, valid in the process that owns the frame.
HANDLE HandOverChannel();

// Sends a message to the terminal's frame and returns its answer.
LRESULT SendHostMessage(UINT message, WPARAM wParam, LPARAM lParam);
// Puts the text of a field of fieldSize bytes (its NUL included, so at most fieldSize - 1 bytes
// of text) into the channel and sends `message` with the given wParam and a fresh channel
// handle. Nothing is sent when there is no channel view or no handle could be made: a null
// lParam would read as a different message to the terminal.
void SendTextToHost(UINT message, WPARAM wParam, const char* text, size_t fieldSize);

// The item registration sequence: the id, then the title through the channel.
void RegisterHostItem(UINT addMessage, int id, const char* title);

// Registers entries first..last-1 of a table, opening the group first when asked to.
void RegisterTableItems(UINT addMessage, int firstId, const struct LaunchTable& table, int first,
                        bool openGroup);

// The add-on's own code-page-932 text (`length` bytes, or up to its NUL with -1) in UTF-16:
// false where the system has no table for 932, the bytes are no valid 932 or the text does not
// fit `capacity` characters.
bool WidenShownText(const char* text, int length, WCHAR* wide, int capacity);

// Every box the add-on shows, its text and caption (null: the system's) in UTF-16 where they can
// be had, else as the bytes they are.
void ShowTextBox(HWND owner, const char* text, const char* caption, UINT style);

void DispatchCommand(int id);
void RunSettingsSheet();
