// The attach benchmark's measurement, shared by the stand-in terminal and the benchmark helper:
// the same preparation and the same clock around one LoadLibraryA.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>

// Loads the listed DLLs (comma-separated) before anything else, so that a timed add-on load
// finds them mapped as it would in a terminal that already uses them.
inline void PreloadLibraries(const std::string& list) {
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        if (end > start)
            LoadLibraryA(list.substr(start, end - start).c_str());
        start = end + 1;
    }
}

// Waits (at most five seconds) until `frame` is the only terminal frame on the desktop. The
// processes of earlier runs end without destroying their frames, and until the system has
// cleaned up after them the add-on's FindWindowA could find one of those instead of ours.
inline bool WaitUntilSoleFrame(HWND frame) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(5)) {
        HWND first = FindWindowExA(NULL, NULL, "QuolixFrameClass", NULL);
        if (first == frame && FindWindowExA(NULL, first, "QuolixFrameClass", NULL) == NULL)
            return true;
    }
    return false;
}

// Loads the DLL once, alone on the desktop and with this thread's queue drained, appends the load's duration in
// microseconds (or "failed") to timingPath, and returns the module.
inline HMODULE TimedLoad(HWND frame, const std::string& dll, const std::string& timingPath) {
    if (!WaitUntilSoleFrame(frame)) {
        if (FILE* out = std::fopen(timingPath.c_str(), "ab")) {
            std::fprintf(out, "failed\n");
            std::fclose(out);
        }
        return NULL;
    }
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    HMODULE module = LoadLibraryA(dll.c_str());
    QueryPerformanceCounter(&end);
    if (FILE* out = std::fopen(timingPath.c_str(), "ab")) {
        if (module)
            std::fprintf(out, "%.1f\n", 1e6 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
        else
            std::fprintf(out, "failed\n");
        std::fclose(out);
    }
    return module;
}
