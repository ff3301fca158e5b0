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

void LoadStoredText(char* field, unsigned long capacity, bool readOk, const char* scratch,
                    unsigned long size) {
    field[0] = '\0';
    if (!readOk)
        return;
    CopyFitted(field, capacity, scratch, size < kReadScratchSize ? size : kReadScratchSize);
}
