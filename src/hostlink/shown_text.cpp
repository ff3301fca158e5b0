// The add-on's own Japanese on the screen: handed to the wide calls, so that it reads right on a
// system of any code page that can show Japanese, and to the ANSI calls where it cannot be.
#include "hostlink.h"

bool WidenShownText(const char* text, int length, WCHAR* wide, int capacity) {
    return MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text, length, wide, capacity) != 0;
}

// MessageBoxW is no stub on Windows 95; a system without the table for 932 (a Western 95) or a
// box that cannot be had in UTF-16 gets the bytes as before.
void ShowTextBox(HWND owner, const char* text, const char* caption, UINT style) {
    WCHAR wideText[128];
    WCHAR wideCaption[32];
    bool wide = WidenShownText(text, -1, wideText, 128) &&
                (caption == NULL || WidenShownText(caption, -1, wideCaption, 32));
    if (!wide || MessageBoxW(owner, wideText, caption != NULL ? wideCaption : NULL, style) == 0)
        MessageBoxA(owner, text, caption, style);
}
