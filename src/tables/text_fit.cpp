// Pure helpers that keep every text inside its field: no Windows headers, unit-tested natively.
#include "text_fit.h"
#include "launch_table.h"

static bool NoLeadByte(unsigned char) { return false; }

size_t BoundedLength(const char* s, size_t avail) {
    size_t n = 0;
    while (n < avail && s[n] != '\0')
        ++n;
    return n;
}

size_t FitTextLength(const char* s, size_t avail, size_t keepMax, LeadByteRule rule) {
    size_t limit = avail < keepMax ? avail : keepMax;
    size_t i = 0;
    while (i < limit && s[i] != '\0') {
        if (rule(static_cast<unsigned char>(s[i]))) {
            // A lead byte counts only together with a real trail byte inside the limit.
            if (i + 1 >= limit || s[i + 1] == '\0')
                break;
            i += 2;
        } else {
            ++i;
        }
    }
    return i;
}

size_t CopyFitted(char* dst, size_t dstSize, const char* src, size_t srcAvail, LeadByteRule rule) {
    size_t n = FitTextLength(src, srcAvail, dstSize - 1, rule);
    for (size_t i = 0; i < n; ++i)
        dst[i] = src[i];
    dst[n] = '\0';
    return n;
}

int ClampTableCount(int stored) {
    if (stored < 0)
        return 0;
    if (stored > kTableSlots)
        return kTableSlots;
    return stored;
}

void FormatValueName(char* dst, size_t dstSize, const char* prefix, int index) {
    char name[32];
    size_t n = 0;
    while (prefix[n] != '\0' && n < sizeof(name) - 3) {
        name[n] = prefix[n];
        ++n;
    }
    // Negated as unsigned: the most negative int has no positive counterpart.
    unsigned int magnitude = static_cast<unsigned int>(index);
    unsigned int i = (index < 0 ? 0u - magnitude : magnitude) % 100u;
    name[n++] = static_cast<char>('0' + i / 10);
    name[n++] = static_cast<char>('0' + i % 10);
    name[n] = '\0';
    CopyFitted(dst, dstSize, name, n + 1, NoLeadByte);
}
