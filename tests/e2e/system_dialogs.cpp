// The system's own windows as the tests read them: see system_dialogs.h.
#include "system_dialogs.h"

#include <commctrl.h>

#include <cstring>

#include "harness.h"

namespace qx {

static HICON errorIcon, informationIcon;

void LoadBoxIcons() {
    errorIcon = LoadIcon(NULL, IDI_HAND);
    informationIcon = LoadIcon(NULL, IDI_ASTERISK);
}

BoxInfo ReadMessageBox(HWND box) {
    BoxInfo info;
    info.hwnd = box;
    info.caption = WindowText(box);
    info.owner = GetWindow(box, GW_OWNER);
    HWND text = GetDlgItem(box, 0xFFFF);
    info.text = WindowText(text ? text : GetDlgItem(box, 100)); // no text of a box without either
    info.wideText = WideWindowText(text ? text : GetDlgItem(box, 100));
    info.wideCaption = WideWindowText(box);
    HICON icon = reinterpret_cast<HICON>(SendDlgItemMessageA(box, 0x440, STM_GETICON, 0, 0));
    info.iconError = icon && icon == errorIcon;
    info.iconInformation = icon && icon == informationIcon;
    return info;
}

namespace {
HelpWindow* currentHelp = nullptr;

// The request record that WinHelpA copies: size, command, data, reserved, then the offset of
// the file name from the record's start.
LRESULT CALLBACK HelpWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA && currentHelp) {
        const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const auto* record = static_cast<const BYTE*>(copy->lpData);
        HelpRequest request{reinterpret_cast<HWND>(wParam), copy->dwData, -1, {}};
        if (record && copy->cbData >= 16) {
            WORD command, fileOffset;
            std::memcpy(&command, record + 2, 2);
            std::memcpy(&fileOffset, record + 12, 2);
            request.command = command;
            if (fileOffset && fileOffset < copy->cbData)
                request.file.assign(reinterpret_cast<const char*>(record + fileOffset),
                                    strnlen(reinterpret_cast<const char*>(record + fileOffset),
                                            copy->cbData - fileOffset));
        }
        currentHelp->requests.push_back(request);
        ++currentHelp->received;
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
} // namespace

HelpWindow::HelpWindow() {
    currentHelp = this;
    hwnd_ = CreateWindowOfClass("MS_WINHELP", HelpWindowProc, WS_POPUP);
}

HelpWindow::~HelpWindow() {
    if (hwnd_)
        DestroyWindow(hwnd_);
    currentHelp = nullptr;
}

constexpr int kFileName = 0x47C, kFileTypes = 0x470;

std::string FileDialogName(HWND dialog) { return ControlText(dialog, kFileName); }

void EnterFileDialogName(HWND dialog, const std::string& name) {
    SetControlText(dialog, kFileName, name);
    PressButton(dialog, IDOK);
}

std::pair<int, std::string> FileDialogType(HWND dialog) {
    std::vector<std::string> types = ComboItems(GetDlgItem(dialog, kFileTypes));
    int selected = static_cast<int>(SendDlgItemMessageA(dialog, kFileTypes, CB_GETCURSEL, 0, 0));
    return {selected, selected >= 0 && selected < static_cast<int>(types.size()) ? types[selected] : ""};
}

std::vector<std::string> FileDialogListing(HWND dialog) {
    HWND list = FindDescendant(dialog, "SysListView32");
    std::vector<std::string> names;
    int count = list ? static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
    for (int i = 0; i < count; ++i) {
        char text[MAX_PATH] = "";
        LVITEMA item = {};
        item.pszText = text;
        item.cchTextMax = sizeof(text);
        SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
        names.push_back(text);
    }
    return names;
}

} // namespace qx
