// The hidden launcher window and the shared text channel that carries texts into the terminal.
#include "hostlink.h"

#include "../tables/launcher_state.h"
#include "../tables/text_fit.h"
#include "late_bound.h"

void ReleaseTextChannel() {
    if (LauncherState.ChannelView != NULL)
        UnmapViewOfFile(LauncherState.ChannelView);
    if (LauncherState.ChannelSection != NULL)
        CloseHandle(LauncherState.ChannelSection);
    LauncherState.ChannelView = NULL;
    LauncherState.ChannelSection = NULL;
}

LRESULT CALLBACK LauncherWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        CloseHtmlHelpLate();
        ReleaseTextChannel();
        LauncherState.LauncherWindow = NULL;
        return 0;
    case WM_COMMAND:
        // A frame on another thread waits in SendMessage until we answer: it is let go before
        // the sheet, a box, the file dialog or the shell could hold it (the result is 0 anyway).
        if (InSendMessage())
            ReplyMessage(0);
        DispatchCommand(LOWORD(wParam));
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

void CreateTextChannel() {
    LauncherState.ChannelSection = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE,
                                                      0, kTextChannelSize, NULL);
    LauncherState.ChannelView = NULL;
    if (LauncherState.ChannelSection != NULL)
        LauncherState.ChannelView = static_cast<char*>(
            MapViewOfFile(LauncherState.ChannelSection, FILE_MAP_ALL_ACCESS, 0, 0, 0));
}

HANDLE HandOverChannel() {
    DWORD hostProcessId = 0;
    GetWindowThreadProcessId(LauncherState.HostFrame, &hostProcessId);
    HANDLE hostProcess = OpenProcess(PROCESS_DUP_HANDLE, TRUE, hostProcessId);
    HANDLE duplicate = NULL;
    if (hostProcess == NULL)
        return NULL;
    if (!DuplicateHandle(GetCurrentProcess(), LauncherState.ChannelSection, hostProcess,
                         &duplicate, 0, TRUE, DUPLICATE_SAME_ACCESS))
        duplicate = NULL;
    CloseHandle(hostProcess);
    return duplicate;
}

// Every message to the terminal's frame goes out here: one call site for the platform's function.
__declspec(noinline) LRESULT SendHostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(LauncherState.HostFrame, message, wParam, lParam);
}

void SendTextToHost(UINT message, WPARAM wParam, const char* text, size_t fieldSize) {
    if (LauncherState.ChannelView == NULL)
        return;
    // At most the field's capacity travels, even when the field has lost its NUL: the terminal
    // must get the same text that a length sent with it (HM_RUNSCRIPT) was measured on.
    size_t room = fieldSize < kTextChannelSize ? fieldSize : kTextChannelSize;
    CopyFitted(LauncherState.ChannelView, room, text, fieldSize, IsSystemLeadByte);
    HANDLE handle = HandOverChannel();
    if (handle == NULL)
        return;
    SendHostMessage(message, wParam, reinterpret_cast<LPARAM>(handle));
}

void RegisterHostItem(UINT addMessage, int id, const char* title) {
    SendHostMessage(HM_SETITEMID, static_cast<WPARAM>(id), 0);
    SendTextToHost(addMessage, reinterpret_cast<WPARAM>(LauncherState.LauncherWindow), title,
                   kTitleSize);
}

void RegisterTableItems(UINT addMessage, int firstId, const LaunchTable& table, int first,
                        bool openGroup) {
    if (openGroup)
        SendHostMessage(addMessage, reinterpret_cast<WPARAM>(LauncherState.LauncherWindow), 0);
    for (int i = first; i < table.count; ++i)
        RegisterHostItem(addMessage, firstId + i, table.entries[i].title);
}
