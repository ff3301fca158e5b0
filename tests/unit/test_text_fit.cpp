// Bringing registry and dialog data into its fields: counts, cuts at double-byte characters,
// raw bytes without a NUL, and the value names.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "tables/text_fit.h"

namespace {

std::string Fit(const std::string& data, size_t fieldSize) {
    char field[300];
    std::memset(field, 'X', sizeof(field));
    // An exactly-sized copy: a std::string keeps a NUL past its data that would hide a read.
    std::unique_ptr<char[]> source(new char[data.size()]);
    std::memcpy(source.get(), data.data(), data.size());
    size_t n = CopyFitted(field, fieldSize, source.get(), data.size());
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

TEST(CopyFitted, NeverSplitsADoubleByteCharacter) {
    const std::string hyou = "\x95\x5c";
    EXPECT_EQ(Fit(std::string(78, 'C') + hyou, 80), std::string(78, 'C'));
    EXPECT_EQ(Fit(std::string(77, 'C') + hyou, 80), std::string(77, 'C') + hyou);
    EXPECT_EQ(Fit(hyou + hyou + hyou, 6), hyou + hyou);
    // A lead byte right before the NUL or the end of the data has lost its trail byte.
    EXPECT_EQ(Fit(std::string("ab\x83\0", 4), 80), "ab");
    EXPECT_EQ(Fit("ab\x83", 80), "ab");
    // Half-width katakana (0xA1..0xDF) are single bytes.
    EXPECT_EQ(Fit("\xBA\xCF\xDD\xC4\xDE", 4), "\xBA\xCF\xDD");
}

TEST(FitTextLength, ReadsNoFurtherThanItIsAllowed) {
    // Exactly ten bytes on the heap: the sanitizer build catches a read of an eleventh.
    std::unique_ptr<char[]> bytes(new char[10]);
    std::memset(bytes.get(), 'q', 10);
    EXPECT_EQ(FitTextLength(bytes.get(), 10, 100), 10u);
    EXPECT_EQ(FitTextLength(bytes.get(), 10, 4), 4u);
    bytes[9] = '\x83'; // a lead byte whose trail byte would lie past the end
    EXPECT_EQ(FitTextLength(bytes.get(), 10, 100), 9u);
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
