/* Read before every source of the clang-cl build: mingw-w64's headers in the MSVC ABI expect
   the compiler to name the processor, as MSVC's headers do, and give MemoryBarrier (x86 without
   SSE2) a body only in GCC's inline assembly: here a locked exchange, which is a full barrier. */
#define _X86_ 1
#define __buildmemorybarrier()                                                                    \
    {                                                                                              \
        long barrier = 0;                                                                          \
        _InterlockedExchange(&barrier, 0);                                                         \
    }
