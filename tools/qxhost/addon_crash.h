// Wine ignores an exception raised in a window procedure that it called back, and every command
// of the add-on runs in one: a crash there would go unseen. A vectored handler sees it first.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>

// An error that starts in the add-on's image, or at a null address (a call through a null
// pointer); breakpoints and the platform's own handled faults are no crash of the add-on.
inline bool AddonCrashed(const EXCEPTION_POINTERS* info) {
    const auto at = reinterpret_cast<UINT_PTR>(info->ExceptionRecord->ExceptionAddress);
    const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleA("QXLAUNCH.DLL"));
    const bool inAddon = base && at - reinterpret_cast<UINT_PTR>(base) <
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew)
            ->OptionalHeader.SizeOfImage;
    return (info->ExceptionRecord->ExceptionCode & 0xC0000000) == 0xC0000000 && (inAddon || at < 0x10000);
}

// "CRASH 0x<code>": what a crashed helper program leaves in its journal or report as it ends.
inline std::string CrashLine(const EXCEPTION_POINTERS* info) {
    char line[32];
    std::snprintf(line, sizeof(line), "CRASH 0x%08lx",
                  static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
    return line;
}
