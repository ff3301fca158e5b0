// Fuzz target: arbitrary bytes into fields of every size the add-on uses and of sizes the
// input picks, under the double-byte rule of each code page of the reference. The copy is terminated inside the field, shorter than it, reads no further than
// it may, equals the reference fit and never ends in half a double-byte character; counts land
// in 0..5; value names are terminated inside their buffer and agree with the reference.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "reference_text.h"
#include "tables/text_fit.h"

namespace {

void CheckFit(const uint8_t* data, size_t avail, size_t fieldSize, const reference::CodePage& cp) {
    // Exactly-sized heap copies: the sanitizer catches a read past `avail` or a write past the field.
    char* source = static_cast<char*>(std::malloc(avail ? avail : 1));
    std::memcpy(source, data, avail);
    char* field = static_cast<char*>(std::malloc(fieldSize));
    size_t n = CopyFitted(field, fieldSize, source, avail, cp.lead);
    if (n >= fieldSize || field[n] != '\0' || strnlen(field, fieldSize) != n)
        std::abort();
    const std::string kept(field, n);
    if (kept != reference::FitToField(std::string(source, avail), fieldSize, cp) ||
        reference::EndsInsideCharacter(kept, cp) || FitTextLength(source, avail, fieldSize - 1, cp.lead) != n)
        std::abort();
    std::free(field);
    std::free(source);
}

void CheckValueName(const uint8_t* data, size_t size) {
    if (size < 5)
        return;
    int32_t index;
    std::memcpy(&index, data, 4);
    size_t dstSize = 1 + data[4] % 40;
    std::string prefix(reinterpret_cast<const char*>(data + 5), size - 5);
    prefix = prefix.substr(0, prefix.find('\0')).substr(0, 29);
    char* dst = static_cast<char*>(std::malloc(dstSize));
    FormatValueName(dst, dstSize, prefix.c_str(), index);
    int64_t magnitude = index < 0 ? -static_cast<int64_t>(index) : index;
    std::string name = prefix + static_cast<char>('0' + magnitude % 100 / 10) +
                       static_cast<char>('0' + magnitude % 10);
    // Value names are ASCII: cut byte by byte, whatever the code page.
    if (strnlen(dst, dstSize) == dstSize || dst != reference::FitToField(name, dstSize, reference::kCp1252))
        std::abort();
    std::free(dst);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t fields[] = {1, 2, 22, 80, 260, 1024};
    for (const reference::CodePage& cp : reference::kCodePages) {
        for (size_t fieldSize : fields) // and sources that fill the field, or miss it by a byte
            for (size_t avail : {size, fieldSize - 1, fieldSize, fieldSize + 1})
                CheckFit(data, std::min(avail, size), fieldSize, cp);
        // A field size and a read limit of the input's own choosing.
        if (size >= 2) {
            size_t fieldSize = 1 + (data[0] | data[1] << 8) % 1100;
            CheckFit(data + 2, (size - 2) / 2, fieldSize, cp);
        }
    }
    if (size >= 4) {
        int32_t stored;
        std::memcpy(&stored, data, 4);
        // The slots a load of that count may fill, counted one by one.
        int expected = 0;
        while (expected < 5 && expected < stored)
            ++expected;
        if (ClampTableCount(stored) != expected)
            std::abort();
    }
    CheckValueName(data, size);
    return 0;
}
