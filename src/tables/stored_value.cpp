// Registry values into range: see stored_value.h.
#include "stored_value.h"

#include "text_fit.h"

int StoredDwordValue(bool readOk, unsigned long type, const unsigned char* data, unsigned long size) {
    if (!readOk || type != kStoredDwordType || size != 4)
        return 0;
    unsigned int value = 0;
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&value);
    for (int i = 0; i < 4; ++i)
        bytes[i] = data[i];
    return static_cast<int>(value);
}

bool LoadStoredText(char* field, unsigned long capacity, StoredRead read, const char* scratch,
                    unsigned long size, OverlongText overlong, LeadByteRule rule) {
    field[0] = '\0';
    if (read == kStoredMissing)
        return true;
    if (read == kStoredTooLarge)
        return false;
    size_t available = size < kReadScratchSize ? size : kReadScratchSize;
    bool fits = BoundedLength(scratch, available) < capacity;
    if (fits || overlong == kCutOverlong)
        CopyFitted(field, capacity, scratch, available, rule);
    return fits;
}

bool SameStoredText(const char* a, const char* b, unsigned long capacity) {
    for (unsigned long i = 0; i < capacity; ++i)
        if (a[i] != b[i] || a[i] == '\0')
            return a[i] == b[i];
    return true;
}
