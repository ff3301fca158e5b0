// One object of each kind the reliability tests count, made on purpose and released again: the
// positive control of every count, in a test's own process and, on request, in the stand-in
// terminal's, where the tests count from outside.
#pragma once
#include <windows.h>

struct OneOfEach {
    HWND window;
    HDC dc;
    HGDIOBJ objects[5]; // a bitmap, a region, a pen, a brush and a font
};

// True when every object was made.
inline bool MakeOneOfEach(OneOfEach& made) {
    made.window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    made.dc = CreateCompatibleDC(NULL);
    made.objects[0] = CreateBitmap(1, 1, 1, 1, NULL);
    made.objects[1] = CreateRectRgn(0, 0, 1, 1);
    made.objects[2] = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    made.objects[3] = CreateSolidBrush(RGB(1, 2, 3));
    made.objects[4] = CreateFontA(12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
    bool all = made.window && made.dc;
    for (HGDIOBJ object : made.objects)
        all = all && object;
    return all;
}

inline void ReleaseOneOfEach(const OneOfEach& made) {
    DestroyWindow(made.window);
    DeleteDC(made.dc);
    for (HGDIOBJ object : made.objects)
        DeleteObject(object);
}

// Sent to the stand-in terminal's frame (a registered message): wParam 1 makes one of each in
// its process, 0 releases them; the result says whether every object was made.
inline UINT OneOfEachMessage() { return RegisterWindowMessageA("QuolixStandInOneOfEach"); }
