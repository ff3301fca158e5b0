// What a registry value loads as, whatever the registry handed back: the type and size rules
// of a count, and text cut to its field from the scratch buffer it was read into.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tables/stored_value.h"

namespace {

TEST(StoredDwordValue, OnlyASuccessfulFourByteDwordCounts) {
    const unsigned char three[8] = {3, 0, 0, 0, 9, 9, 9, 9};
    const unsigned char minusOne[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(StoredDwordValue(true, kStoredDwordType, three, 4), 3);
    EXPECT_EQ(StoredDwordValue(true, kStoredDwordType, minusOne, 4), -1);
    EXPECT_EQ(StoredDwordValue(false, kStoredDwordType, three, 4), 0); // missing or too long
    EXPECT_EQ(StoredDwordValue(true, 1 /* REG_SZ */, three, 4), 0);
    EXPECT_EQ(StoredDwordValue(true, 11 /* REG_QWORD */, three, 4), 0);
    EXPECT_EQ(StoredDwordValue(true, kStoredDwordType, three, 2), 0);
    EXPECT_EQ(StoredDwordValue(true, kStoredDwordType, three, 0), 0);
}

std::string Load(bool readOk, const std::string& scratchBytes, unsigned long size, unsigned long capacity) {
    char scratch[kReadScratchSize];
    std::memset(scratch, 'q', sizeof(scratch));
    std::memcpy(scratch, scratchBytes.data(), scratchBytes.size());
    char field[300];
    std::memset(field, 'X', sizeof(field));
    LoadStoredText(field, capacity, readOk, scratch, size);
    EXPECT_EQ(field[capacity], 'X') << "wrote past the field";
    return std::string(field, strnlen(field, capacity));
}

TEST(LoadStoredText, FailedReadsLoadEmptyAndTheRestIsFittedToTheField) {
    EXPECT_EQ(Load(false, "diary.scr", 10, 260), "");
    EXPECT_EQ(Load(true, std::string("diary.scr\0", 10), 10, 260), "diary.scr");
    EXPECT_EQ(Load(true, "", 0, 80), ""); // an empty value, its buffer untouched
    EXPECT_EQ(Load(true, std::string(300, 'A'), 300, 80), std::string(79, 'A'));
    EXPECT_EQ(Load(true, std::string(78, 'C') + "\x95\x5c", 80, 80), std::string(78, 'C'));
    // Never past the scratch buffer, whatever size the read claimed.
    EXPECT_EQ(Load(true, std::string(kReadScratchSize, 'L'), 5000, 260), std::string(259, 'L'));
}

} // namespace
