// Fuzz target: any bytes as a path from the file dialog and as a script folder, in buffers of
// exactly the add-on's sizes (so the sanitizer sees a write past them). A taken path ends
// inside the field; a quoted one is the path between two quotes; a refused one is untouched;
// a pattern is the folder and "\*.scr"; the row verdict names a real offending row.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "settings/settings_rules.h"

constexpr size_t kBuffer = 260;

// A heap buffer of exactly kBuffer bytes holding the data (padded, maybe without a NUL), and a
// copy of it in `before`.
static char* Buffered(const uint8_t* data, size_t size, char (&before)[kBuffer]) {
    char* buffer = static_cast<char*>(std::malloc(kBuffer));
    std::memset(buffer, 'p', kBuffer);
    std::memcpy(buffer, data, size < kBuffer ? size : kBuffer);
    std::memcpy(before, buffer, kBuffer);
    return buffer;
}

static void CheckQuoting(const uint8_t* data, size_t size) {
    const size_t kField = 259;
    char before[kBuffer];
    char* path = Buffered(data, size, before);
    BrowseOutcome outcome = QuoteBrowsedPath(path, kBuffer, kField);
    size_t original = strnlen(before, kBuffer);
    if (outcome == kBrowseRefused) {
        if (std::memcmp(path, before, kBuffer) != 0)
            std::abort();
    } else {
        size_t length = strnlen(path, kBuffer);
        if (length >= kBuffer || length > kField)
            std::abort();
        bool blank = std::memchr(before, ' ', original) != nullptr;
        if ((outcome == kBrowseQuoted) != blank)
            std::abort();
        if (outcome == kBrowseQuoted && (length != original + 2 || path[0] != '"' ||
                                         path[length - 1] != '"' ||
                                         std::memcmp(path + 1, before, original) != 0))
            std::abort();
    }
    std::free(path);
}

static void CheckPattern(const uint8_t* data, size_t size) {
    char before[kBuffer];
    char* folder = Buffered(data, size, before);
    size_t original = strnlen(before, kBuffer);
    if (AppendScriptPattern(folder, kBuffer)) {
        if (original > 253 || std::memcmp(folder, before, original) != 0 ||
            std::strcmp(folder + original, "\\*.scr") != 0)
            std::abort();
    } else if (original <= 253 || std::memcmp(folder, before, kBuffer) != 0) {
        std::abort();
    }
    std::free(folder);
}

static void CheckVerdict(const uint8_t* data, size_t size) {
    if (size < 2)
        return;
    RowFill rows[kTableSlots];
    unsigned bits = data[0] | (data[1] << 8);
    for (int i = 0; i < kTableSlots; ++i) {
        rows[i].title = (bits >> (2 * i)) & 1;
        rows[i].target = (bits >> (2 * i + 1)) & 1;
    }
    RowsVerdict v = JudgeRows(rows);
    if (v.rule == kRowsAccepted) {
        if (v.row != -1)
            std::abort();
        return;
    }
    if (v.row < 0 || v.row >= kTableSlots || (!rows[v.row].title && !rows[v.row].target))
        std::abort();
    bool emptyAbove = false;
    for (int i = 0; i < v.row; ++i)
        emptyAbove = emptyAbove || (!rows[i].title && !rows[i].target);
    if ((v.rule == kRowsGap) != emptyAbove)
        std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckQuoting(data, size);
    CheckPattern(data, size);
    CheckVerdict(data, size);
    return 0;
}
