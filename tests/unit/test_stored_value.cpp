// What a registry value loads as, whatever the registry handed back: the type and size rules
// of a count, and text cut to its field from the scratch buffer it was read into.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "reference_text.h"
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

std::string Load(bool readOk, const std::string& scratchBytes, unsigned long size, unsigned long capacity,
                 OverlongText overlong = kCutOverlong, bool* whole = nullptr) {
    char scratch[kReadScratchSize];
    std::memset(scratch, 'q', sizeof(scratch));
    std::memcpy(scratch, scratchBytes.data(), scratchBytes.size());
    std::vector<char> bytes(capacity + 1, 'X'); // the field and one guard byte
    char* field = bytes.data();
    bool fits = LoadStoredText(field, capacity, readOk ? kStoredRead : kStoredMissing, scratch, size, overlong, reference::Lead932);
    if (whole != nullptr)
        *whole = fits;
    EXPECT_EQ(field[capacity], 'X') << "wrote past the field";
    return std::string(field, strnlen(field, capacity));
}

TEST(LoadStoredText, FailedReadsLoadEmptyAndTheRestIsFittedToTheField) {
    EXPECT_EQ(Load(false, "diary.scr", 10, 260), "");
    EXPECT_EQ(Load(true, std::string("diary.scr\0", 10), 10, 260), "diary.scr");
    EXPECT_EQ(Load(true, "", 0, 80), ""); // an empty value, its buffer untouched
    EXPECT_EQ(Load(true, std::string(300, 'A'), 300, 80), std::string(79, 'A'));
    EXPECT_EQ(Load(true, std::string(78, 'C') + "\x95\x5c", 80, 80), std::string(78, 'C'));
    // Never past the scratch buffer, whatever size the read claimed: a field larger than the
    // buffer keeps what the buffer holds.
    EXPECT_EQ(Load(true, std::string(kReadScratchSize, 'L'), 5000, 260), std::string(259, 'L'));
    EXPECT_EQ(Load(true, std::string(kReadScratchSize, 'L'), 5000, 2000), std::string(kReadScratchSize, 'L'));
}

// A target that does not fit whole loads empty, where a title is cut; both say they did not fit.
TEST(LoadStoredText, ATargetLongerThanItsFieldLoadsEmptyAndEveryOverlongTextSaysSo) {
    bool whole = false;
    EXPECT_EQ(Load(true, std::string(259, 'c') + '\0', 260, 260, kDropOverlong, &whole), std::string(259, 'c'));
    EXPECT_TRUE(whole);
    EXPECT_EQ(Load(true, std::string(260, 'c'), 260, 260, kDropOverlong, &whole), ""); // no NUL, one byte over
    EXPECT_FALSE(whole);
    EXPECT_EQ(Load(true, std::string(258, 'c') + "\x95\x5c", 260, 260, kDropOverlong, &whole), "");
    EXPECT_FALSE(whole);
    EXPECT_EQ(Load(true, std::string(81, 'T'), 81, 80, kCutOverlong, &whole), std::string(79, 'T'));
    EXPECT_FALSE(whole);
    Load(false, "", 0, 260, kDropOverlong, &whole); // missing: empty, and that is whole
    EXPECT_TRUE(whole);
    char field[260] = "stale";
    EXPECT_FALSE(LoadStoredText(field, sizeof(field), kStoredTooLarge, "", 0, kDropOverlong, reference::Lead932));
    EXPECT_STREQ(field, "");
}

} // namespace
