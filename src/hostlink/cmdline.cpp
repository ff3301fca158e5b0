// The command-line split: plain byte searches (in no double-byte ANSI code page of Windows, 932,
// 936, 949 or 950, can 0x20 or 0x22 be the second byte of a character, so only real spaces and
// quotes are found).
#include "cmdline.h"
#include "../tables/launch_table.h"

static void CopyRange(char* dst, const char* from, size_t n) {
    for (size_t i = 0; i < n; ++i)
        dst[i] = from[i];
    dst[n] = '\0';
}

static size_t SkipSpaces(const char* line, size_t at, size_t len) {
    while (at < len && line[at] == ' ')
        ++at;
    return at;
}

void SplitCommandLine(const char* line, char* program, char* params, LeadByteRule rule) {
    // A hand-edited field without a NUL is read as its first 259 bytes.
    size_t len = FitTextLength(line, kTargetSize, kTargetSize - 1, rule);
    params[0] = '\0';
    if (len > 0 && line[0] == '"') {
        size_t close = 1;
        while (close < len && line[close] != '"')
            ++close;
        if (close == len) {
            CopyRange(program, line + 1, len - 1);
            return;
        }
        CopyRange(program, line + 1, close - 1);
        size_t rest = SkipSpaces(line, close + 1, len);
        CopyRange(params, line + rest, len - rest);
        return;
    }
    size_t space = 0;
    while (space < len && line[space] != ' ')
        ++space;
    CopyRange(program, line, space);
    if (space == len)
        return;
    size_t rest = SkipSpaces(line, space, len);
    CopyRange(params, line + rest, len - rest);
}
