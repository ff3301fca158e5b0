// Bounded text handling for data that crossed a boundary (registry, dialogs, fields), in the
// running system's ANSI code page: 932 for the terminal's users, a Western or another Asian one
// for some.
#pragma once
#include <stddef.h>

// The double-byte rule of a code page: true for the bytes that start a double-byte character.
// On a single-byte code page no byte does.
typedef bool (*LeadByteRule)(unsigned char c);

// The rule of the code page the system's "A" calls use, asked of the system for each byte.
// Defined with the registry store, on the Windows side only.
bool IsSystemLeadByte(unsigned char c);

// Bytes before the first NUL among the first `avail` bytes of s; `avail` when there is none.
size_t BoundedLength(const char* s, size_t avail);

// Length of the longest prefix of s that ends before a NUL, reads no more than `avail` bytes,
// keeps at most `keepMax` bytes and never splits a double-byte character of `rule` (a lead byte
// without its trail byte inside those limits is dropped).
size_t FitTextLength(const char* s, size_t avail, size_t keepMax, LeadByteRule rule);

// Copies the fitted prefix of src (at most srcAvail bytes read) into dst, always NUL-terminated
// inside dstSize bytes; returns the length copied. dstSize must be at least 1.
size_t CopyFitted(char* dst, size_t dstSize, const char* src, size_t srcAvail, LeadByteRule rule);

// Brings a stored count into 0..5: below 0 loads as 0, above 5 as the first five entries.
int ClampTableCount(int stored);

// Writes a value name such as "Title00" (prefix, then the index as two decimal digits) into
// dst of dstSize bytes, cut to fit byte by byte (names are ASCII); index is taken modulo 100.
void FormatValueName(char* dst, size_t dstSize, const char* prefix, int index);
