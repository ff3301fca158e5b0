// What the tests read of the system's own windows where Wine's differ from Windows': the message
// box, the help engine's hand-over and the open-file dialog. Each says what to use on Windows.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

namespace qx {

// A message box: its text, caption, owner and icon. Wine's box shows its text in static 0xFFFF
// (100 in older versions) and its icon in static 0x440.
// On Windows: the text is static 0xFFFF too; the icon is the box's static of style SS_ICON.
struct BoxInfo {
    HWND hwnd = NULL;
    std::string text;
    std::string caption;
    std::wstring wideText, wideCaption; // as UTF-16, whatever the code page
    HWND owner = NULL;
    bool iconError = false;
    bool iconInformation = false;
};
BoxInfo ReadMessageBox(HWND box);
// The icons a box is compared with, looked up on the calling thread: a driver thread must not
// load them while the main thread may hold the loader lock.
void LoadBoxIcons();

// Wine's WinHelpA hands its request to a window of class "MS_WINHELP" with WM_COPYDATA (dwData
// 0xA1DE505, wParam the owner, the record holding command and file name) rather than starting
// its viewer when one exists. A HelpWindow on the calling thread records every request.
// On Windows: the hand-over to the viewer is private; hook the add-on's import of WinHelpA.
struct HelpRequest {
    HWND owner;
    ULONG_PTR magic; // dwData of the copy
    int command;
    std::string file;
};
class HelpWindow {
  public:
    HelpWindow();
    ~HelpWindow();
    std::vector<HelpRequest> requests; // read on the owning thread once the sheet has closed
    std::atomic<size_t> received{0};    // readable from any thread

  private:
    HWND hwnd_ = NULL;
};

// Wine's explorer-style open dialog: the file name is typed into control 0x47C (cmb13), the
// types are listed in 0x470 (cmb1), the files in a SysListView32 among its descendants.
// On Windows: the same ids (dlgs.h); the list view sits in the SHELLDLL_DefView child.
std::string FileDialogName(HWND dialog);
// Types a name (a path, or a folder to open) and presses OK.
void EnterFileDialogName(HWND dialog, const std::string& name);
// The type selected: its place in the list and its name.
std::pair<int, std::string> FileDialogType(HWND dialog);
std::vector<std::string> FileDialogListing(HWND dialog);

} // namespace qx
