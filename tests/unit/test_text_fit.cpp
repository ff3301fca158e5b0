// Bringing registry and dialog data into its fields: counts, cuts at double-byte characters,
// raw bytes without a NUL, and the value names.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "reference_text.h"
#include "tables/text_fit.h"

namespace {

using reference::kCp1252, reference::kCp932, reference::kCp936;

std::string Fit(const std::string& data, size_t fieldSize, const reference::CodePage& cp = kCp932) {
    char field[300];
    std::memset(field, 'X', sizeof(field));
    // An exactly-sized copy: a std::string keeps a NUL past its data that would hide a read.
    std::unique_ptr<char[]> source(new char[data.size()]);
    std::memcpy(source.get(), data.data(), data.size());
    size_t n = CopyFitted(field, fieldSize, source.get(), data.size(), cp.lead);
    EXPECT_EQ(field[n], '\0');
    EXPECT_LT(n, fieldSize);
    EXPECT_EQ(field[fieldSize], 'X') << "wrote past the field";
    return std::string(field, n);
}

TEST(ClampTableCount, KeepsZeroToFiveAndBringsTheRestIntoRange) {
    const int stored[] = {0, 1, 5, 6, 9, -1, -2147483647 - 1, 2147483647};
    const int loaded[] = {0, 1, 5, 5, 5, 0, 0, 5};
    for (size_t i = 0; i < sizeof(stored) / sizeof(stored[0]); ++i)
        EXPECT_EQ(ClampTableCount(stored[i]), loaded[i]) << stored[i];
}

TEST(CopyFitted, CutsLongTextToCapacityMinusOne) {
    EXPECT_EQ(Fit(std::string(500, 'A'), 80), std::string(79, 'A'));
    EXPECT_EQ(Fit(std::string(79, 'A'), 80), std::string(79, 'A'));
    EXPECT_EQ(Fit("", 80), "");
    EXPECT_EQ(Fit("abc", 1), "");
}

TEST(CopyFitted, StopsAtTheFirstNulOfRawBytes) {
    EXPECT_EQ(Fit(std::string("ab\0cd", 5), 80), "ab");
    EXPECT_EQ(Fit(std::string("\x44\x43\x42\x41", 4), 80), "DCBA"); // a REG_DWORD read as text
}

// Each row: what a field keeps of the data under the rules of 932, 1252 and 936.
TEST(CopyFitted, NeverSplitsADoubleByteCharacterOfTheCodePageInUse) {
    const std::string hyou = "\x95\x5c", c77(77, 'C'), c78(78, 'C'), c257(257, 'C'), c258(258, 'C');
    // The top of 932's lead bytes (0xF0..0xFC): "taka" of names, its trail itself a lead byte,
    // and "saki" of names and places, both IBM extensions.
    const std::string taka = "\xFB\xFC", saki = "\xFA\xB1";
    const struct {
        std::string data;
        size_t field;
        std::string kept932, kept1252, kept936;
    } rows[] = {
        {c78 + hyou, 80, c78, c78 + "\x95", c78},
        {c77 + hyou, 80, c77 + hyou, c77 + hyou, c77 + hyou},
        {hyou + hyou + hyou, 6, hyou + hyou, hyou + hyou + "\x95", hyou + hyou},
        {c78 + taka, 80, c78, c78 + "\xFB", c78},
        {c77 + taka, 80, c77 + taka, c77 + taka, c77 + taka},
        {c258 + saki, 260, c258, c258 + "\xFA", c258},
        {c257 + taka, 260, c257 + taka, c257 + taka, c257 + taka},
        // A lead byte right before the NUL or the end of the data has lost its trail byte.
        {std::string("ab\x83\0", 4), 80, "ab", "ab\x83", "ab"},
        {"ab\x83", 80, "ab", "ab\x83", "ab"},
        // "Résumé" in 1252: é (0xE9) starts a character in 932 and 936, and the last has no trail.
        {"R\xE9sum\xE9", 80, "R\xE9sum", "R\xE9sum\xE9", "R\xE9sum"},
        // Half-width katakana (0xA1..0xDF) are single bytes in 932 only; 0xFD leads in 936 only.
        {"\xBA\xCF\xDD\xC4\xDE", 4, "\xBA\xCF\xDD", "\xBA\xCF\xDD", "\xBA\xCF"},
        {c78 + "\xFD\xA1", 80, c78 + "\xFD", c78 + "\xFD", c78},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Fit(row.data, row.field, kCp932), row.kept932) << row.data;
        EXPECT_EQ(Fit(row.data, row.field, kCp1252), row.kept1252) << row.data;
        EXPECT_EQ(Fit(row.data, row.field, kCp936), row.kept936) << row.data;
    }
}

TEST(FitTextLength, ReadsNoFurtherThanItIsAllowed) {
    // Exactly ten bytes on the heap: the sanitizer build catches a read of an eleventh.
    std::unique_ptr<char[]> bytes(new char[10]);
    std::memset(bytes.get(), 'q', 10);
    EXPECT_EQ(FitTextLength(bytes.get(), 10, 100, kCp932.lead), 10u);
    EXPECT_EQ(FitTextLength(bytes.get(), 10, 4, kCp932.lead), 4u);
    bytes[9] = '\x83'; // a lead byte whose trail byte would lie past the end
    EXPECT_EQ(FitTextLength(bytes.get(), 10, 100, kCp932.lead), 9u);
}

TEST(FormatValueName, TwoDecimalDigits) {
    const auto name = [](size_t size, const char* prefix, int index) {
        char buffer[16];
        FormatValueName(buffer, size, prefix, index);
        return std::string(buffer);
    };
    EXPECT_EQ(name(16, "Title", 0), "Title00");
    EXPECT_EQ(name(16, "ScriptFile", 4), "ScriptFile04");
    EXPECT_EQ(name(16, "Command", 12), "Command12");
    EXPECT_EQ(name(8, "ScriptFile", 1), "ScriptF");
    // Negative indices by their magnitude, the most negative int included.
    EXPECT_EQ(name(16, "Title", -7), "Title07");
    EXPECT_EQ(name(16, "Title", -2147483647 - 1), "Title48");
}

} // namespace
