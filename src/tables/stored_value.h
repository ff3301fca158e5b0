// The pure half of the registry store: what a value read from the registry loads as, whatever
// its type and size. No Windows headers, so that it is unit-tested and fuzzed natively.
#pragma once
#include "text_fit.h"

constexpr unsigned long kStoredDwordType = 4; // REG_DWORD
// Values larger than this are too long to cut on the stack and load as empty text.
constexpr unsigned long kReadScratchSize = 1024;

// The number a value stands for: its 4 bytes in the platform's order when the read succeeded,
// the type is REG_DWORD and the size is exactly 4; 0 in every other case.
int StoredDwordValue(bool readOk, unsigned long type, const unsigned char* data, unsigned long size);

// How the registry answered the read of a text.
enum StoredRead {
    kStoredMissing,  // no key, no such value, or a failure that says nothing of its size
    kStoredTooLarge, // the value is there but larger than the scratch buffer
    kStoredRead,     // the value's bytes are in the scratch buffer, `size` of them
};

// What a text longer than its field loads as.
enum OverlongText {
    kCutOverlong,  // cut to the field (a title: a shorter caption is still the same entry)
    kDropOverlong, // empty (a target: a cut command line or file name names something else)
};

// Fills a field of `capacity` bytes (at least 1) from a value read into a scratch buffer of
// kReadScratchSize bytes: empty when the value is missing or too large to read, otherwise the
// value's text (up to its first NUL, never past `size` or the scratch buffer, whole characters
// of `rule` only), or, when that text is longer than the field, what `overlong` says. Returns
// false when the value held more text than the field takes, true otherwise (a missing value
// included).
bool LoadStoredText(char* field, unsigned long capacity, StoredRead read, const char* scratch,
                    unsigned long size, OverlongText overlong, LeadByteRule rule);

// Texts of a field of `capacity` bytes as the store holds them: byte for byte up to the NUL,
// letter case included (no locale's collation), never past the field.
bool SameStoredText(const char* a, const char* b, unsigned long capacity);

// Whether closing the sheet writes a value: always, unless another writer changed it since this
// terminal last loaded or wrote it and the sheet left it as it was.
inline bool ClosingWrites(bool sheetChanged, bool storeChanged) {
    return sheetChanged || !storeChanged;
}
