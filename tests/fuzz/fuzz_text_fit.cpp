// Fuzz target: arbitrary registry bytes of any length into fields of every size the add-on
// uses. The copy is terminated inside the field, shorter than it, a prefix of the data, never
// ends in half a double-byte character; counts always land in 0..5.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tables/text_fit.h"

static bool EndsInsideCharacter(const char* s, size_t n) {
    size_t i = 0;
    while (i < n)
        i += IsLeadByte932(static_cast<unsigned char>(s[i])) ? 2 : 1;
    return i != n;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    const size_t fields[] = {1, 2, 80, 260, 266};
    for (size_t fieldSize : fields) {
        char* field = static_cast<char*>(std::malloc(fieldSize));
        size_t n = CopyFitted(field, fieldSize, text, size);
        if (n >= fieldSize || field[n] != '\0' || strnlen(field, fieldSize) != n)
            std::abort();
        if (std::memcmp(field, text, n) != 0 || EndsInsideCharacter(field, n))
            std::abort();
        std::free(field);
    }
    if (size >= 4) {
        int32_t stored;
        std::memcpy(&stored, data, 4);
        int count = ClampTableCount(stored);
        if (count < 0 || count > 5 || (stored >= 0 && stored <= 5 && count != stored))
            std::abort();
    }
    return 0;
}
