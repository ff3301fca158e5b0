// Fuzz target: a registry value of any type, size and content, read successfully or not, as
// the store loads it into a count and into a text field. Input: flags (bit 0: the read
// succeeded, bit 1: the value claims more bytes than it brought, bit 2: a failed read said the
// value is too large, bit 3: a text too long for its field is dropped rather than cut, bits 4
// and 5: the code page whose double-byte rule applies), two bytes of field capacity, four bytes
// of type, then the value's bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "reference_text.h"
#include "tables/stored_value.h"
#include "tables/text_fit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 7)
        return 0;
    const bool readOk = data[0] & 1;
    // The add-on's two field sizes half the time, written out; else any up to 1,100.
    const size_t capacity = data[1] & 1 ? (data[2] & 1 ? 80 : 260) : 1 + (data[1] | data[2] << 8) % 1100;
    uint32_t type;
    std::memcpy(&type, data + 3, 4);
    const std::string value(reinterpret_cast<const char*>(data + 7), size - 7);
    const unsigned long claimed = static_cast<unsigned long>(value.size()) + (data[0] & 2 ? 5000 : 0);

    // The count: an exactly-sized copy, so that reading more than the value holds is caught.
    uint8_t* bytes = static_cast<uint8_t*>(std::malloc(value.size() ? value.size() : 1));
    std::memcpy(bytes, value.data(), value.size());
    const unsigned long readSize = readOk ? static_cast<unsigned long>(value.size()) : claimed;
    int count = ClampTableCount(StoredDwordValue(readOk, type, bytes, readSize));
    if (count < 0 || count > 5 || count != reference::LoadedCount(readOk, type, value))
        std::abort();
    std::free(bytes);

    // The text: the scratch buffer the store reads into, exactly kReadScratchSize bytes.
    char* scratch = static_cast<char*>(std::malloc(kReadScratchSize));
    std::memset(scratch, 'q', kReadScratchSize);
    std::memcpy(scratch, value.data(), value.size() < kReadScratchSize ? value.size() : kReadScratchSize);
    char* field = static_cast<char*>(std::malloc(capacity));
    const StoredRead read = readOk ? kStoredRead : data[0] & 4 ? kStoredTooLarge : kStoredMissing;
    const bool drop = data[0] & 8;
    const reference::CodePage& cp = reference::kCodePages[(data[0] >> 4 & 3) % 3];
    const bool whole = LoadStoredText(field, static_cast<unsigned long>(capacity), read, scratch,
                                      claimed, drop ? kDropOverlong : kCutOverlong, cp.lead);
    size_t n = strnlen(field, capacity);
    if (n == capacity)
        std::abort(); // not terminated inside the field
    // What the 1,024-byte read can hold, the size written out rather than taken from the add-on.
    const std::string seen(scratch, claimed < 1024 ? claimed : 1024);
    const bool overlong = readOk ? reference::Overlong(seen, capacity) : read == kStoredTooLarge;
    std::string loaded;
    if (readOk && !(drop && overlong))
        loaded = reference::FitToField(seen, capacity, cp);
    if (std::string(field, n) != loaded || reference::EndsInsideCharacter(loaded, cp) || whole == overlong)
        std::abort();
    std::free(field);
    std::free(scratch);
    return 0;
}
