// The attach benchmark's baseline: a DLL built exactly like the add-on whose entry point does
// nothing, so the figure compares the add-on's attach with the bare cost of loading a DLL.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
