// The image's own start-up: its entry point, and the three memory routines that the compiler
// may call for copies and clears, since no C runtime is linked.
#include "hostlink.h"

#include <string.h>

// The loader calls this in place of a runtime's start-up. The add-on has no static
// constructors or destructors, no exit table and no thread-local data (the build refuses an
// image that would need any of them), so there is nothing to set up before DllMain or to run
// after it: the loader's three arguments go to DllMain, and its answer, FALSE included, is the
// load's.
extern "C" BOOL WINAPI AddonEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    return DllMain(instance, reason, reserved);
}

// An optimiser may rewrite a byte loop into a call of memset or memmove: here that call would be
// the routine itself, for ever. GCC is told not to (-fno-tree-loop-distribute-patterns); MSVC
// rewrites even under #pragma function, so there the bytes are volatile and go one by one
// (the image check looks for such a call in every build).
#ifdef _MSC_VER
#pragma function(memset, memcpy)
typedef volatile unsigned char Byte;
#else
typedef unsigned char Byte;
#endif

extern "C" void* memset(void* destination, int value, size_t count) {
    Byte* to = static_cast<Byte*>(destination);
    for (size_t i = 0; i < count; ++i)
        to[i] = static_cast<unsigned char>(value);
    return destination;
}

extern "C" void* memcpy(void* destination, const void* source, size_t count) {
    return memmove(destination, source, count);
}

extern "C" void* memmove(void* destination, const void* source, size_t count) {
    Byte* to = static_cast<Byte*>(destination);
    const Byte* from = static_cast<const Byte*>(source);
    if (to < from) {
        for (size_t i = 0; i < count; ++i)
            to[i] = from[i];
    } else {
        for (size_t i = count; i > 0; --i)
            to[i - 1] = from[i - 1];
    }
    return destination;
}
