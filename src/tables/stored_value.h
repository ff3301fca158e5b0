// The pure half of the registry store: what a value read from the registry loads as, whatever
// its type and size. No Windows headers, so that it is unit-tested and fuzzed natively.
#pragma once

constexpr unsigned long kStoredDwordType = 4; // REG_DWORD
// Values larger than this are too long to cut on the stack and load as empty text.
constexpr unsigned long kReadScratchSize = 1024;

// The number a value stands for: its 4 bytes in the platform's order when the read succeeded,
// the type is REG_DWORD and the size is exactly 4; 0 in every other case.
int StoredDwordValue(bool readOk, unsigned long type, const unsigned char* data, unsigned long size);

// Fills a field of `capacity` bytes (at least 1) from a value read into a scratch buffer of
// kReadScratchSize bytes: empty when the read failed, otherwise the value's text fitted to the
// field (up to its first NUL, never past `size` or the scratch buffer, whole characters only).
void LoadStoredText(char* field, unsigned long capacity, bool readOk, const char* scratch,
                    unsigned long size);
