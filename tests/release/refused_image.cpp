// One fault an add-on image must never carry, chosen by QX_PLANT; every build of it must fail.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID);

#if QX_PLANT == 1 // heap allocation: no operator new is linked
static int* kept; // where the allocation escapes, so that no compiler may leave it out
static int Planted(int n) { kept = new int[n](); return kept[0]; }
#elif QX_PLANT == 2 // a static with a guard (built with -fthreadsafe-statics)
struct Made { Made() : value(GetTickCount()) {} DWORD value; };
static int Planted(int) { static Made made; return static_cast<int>(made.value); }
#elif QX_PLANT == 3 // a global with a constructor: nothing would run it
struct Made { Made() : value(GetTickCount()) {} DWORD value; };
static Made made;
static int Planted(int) { return static_cast<int>(made.value); }
#elif QX_PLANT == 4 // the C runtime (declared here: mingw's stdlib.h fails in the MSVC ABI)
extern "C" long __cdecl strtol(const char*, char**, int);
static int Planted(int n) { return static_cast<int>(strtol(n ? "1" : "2", NULL, 10)); }
#elif QX_PLANT == 5 // another system DLL
static int Planted(int n) { return GetStockObject(n) != NULL; }
#elif QX_PLANT == 6 // a function Windows 95 and NT 4.0 do not have
extern "C" __declspec(dllimport) ULONGLONG WINAPI GetTickCount64(void);
static int Planted(int) { return static_cast<int>(GetTickCount64()); }
#elif QX_PLANT == 7 // a TLS directory, as a runtime's TLS support would make
extern "C" const IMAGE_TLS_DIRECTORY32 _tls_used = {0, 0, 0, 0, 0, 0};
static int Planted(int) { // read through volatile: -Oz would take the constant, lld drop the table
    return static_cast<int>(*static_cast<const volatile DWORD*>(&_tls_used.Characteristics));
}
#elif QX_PLANT == 9 // the image's own memset as an optimiser may rewrite its loop: a call of itself
extern "C" BOOL WINAPI AddonEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    return DllMain(instance, reason, reserved);
}
extern "C" void* memset(void* to, int value, size_t count) {
    if (count > 0) {
        static_cast<unsigned char*>(to)[count - 1] = static_cast<unsigned char>(value);
        memset(to, value, count - 1);
    }
    return to;
}
static int Planted(int n) { char bytes[16]; memset(bytes, n, n & 15); return bytes[0]; }
#elif QX_PLANT == 10 // instructions a 386 lacks: P6's cmov, an SSE2 move, the Pentium's rdtsc,
#define QX_NEWER "cmovnel %%ecx, %%eax" // P6's long nop, and any x87 instruction
#elif QX_PLANT == 11
#define QX_NEWER "movd %%eax, %%xmm0"
#elif QX_PLANT == 12
#define QX_NEWER "rdtsc"
#elif QX_PLANT == 13
#define QX_NEWER "nopl (%%eax)"
#elif QX_PLANT == 14
#define QX_NEWER "fninit"
#elif QX_PLANT == 16 // bytes no processor runs: lea with a register operand
#define QX_NEWER ".byte 0x8d, 0xc0"
#elif QX_PLANT == 17 // x87's waiting form, wait and fnstsw in one
#define QX_NEWER "fstsw %%ax"
#elif QX_PLANT == 18 // code in an input section of its own, as mingw gives inline functions and templates
__asm__(".section .text$qxplant,\"xr\"\n.globl _PlantedApart\n_PlantedApart:\n\tbswap %eax\n\tret\n.text");
extern "C" int PlantedApart(void);
static int Planted(int) { return PlantedApart(); }
#else // only the subsystem version differs (set at the link)
static int Planted(int n) { return n; }
#endif
#ifdef QX_NEWER // GNU inline assembly, which clang-cl takes as well
static int Planted(int n) {
    __asm__ __volatile__(QX_NEWER ::: "eax", "ecx", "edx", "memory");
    return n;
}
#endif

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) { return Planted(static_cast<int>(reason)) != 9; }
