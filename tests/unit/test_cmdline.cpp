// The command-line split: every shape of stored command line the program page can produce,
// and the bytes a hand-edited registry can put in a target field.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hostlink/cmdline.h"
#include "reference_text.h"

namespace {

struct SplitCase {
    const char* name;
    std::string line;
    std::string program;
    std::string params;
};

std::pair<std::string, std::string> Split(const std::string& line, const reference::CodePage& cp = reference::kCp932) {
    char field[260] = {};
    std::memcpy(field, line.data(), line.size() < 260 ? line.size() : 260);
    char program[260], params[260];
    std::memset(program, 'X', sizeof(program));
    std::memset(params, 'X', sizeof(params));
    SplitCommandLine(field, program, params, cp.lead);
    return {program, params};
}

class SplitTable : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTable, GivesProgramAndParameters) {
    const SplitCase& c = GetParam();
    auto [program, params] = Split(c.line);
    EXPECT_EQ(program, c.program);
    EXPECT_EQ(params, c.params);
}

const std::string k259(259, 'a');
// Double-byte characters whose second byte is a backslash (0x5C) or a bar (0x7C).
const std::string kSo = "\x83\x5c";    // katakana "so"
const std::string kHyou = "\x95\x5c";  // "table"
const std::string kPipeTrail = "\x83\x7c"; // katakana "po"

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitTable,
    ::testing::Values(
        SplitCase{"QuotedPathTwoBlanksTwoArgs", "\"C:\\Program Files\\Ed\\ed.exe\"  a.txt b.txt",
                  "C:\\Program Files\\Ed\\ed.exe", "a.txt b.txt"},
        SplitCase{"QuotedPathAlone", "\"C:\\My Apps\\x.exe\"", "C:\\My Apps\\x.exe", ""},
        SplitCase{"QuotedPathTrailingBlanks", "\"C:\\x.exe\"   ", "C:\\x.exe", ""},
        SplitCase{"UnclosedQuoteKeepsTrailingBlanks", "\"C:\\My Apps\\x.exe  ", "C:\\My Apps\\x.exe  ", ""},
        SplitCase{"BareQuotePair", "\"\"", "", ""},
        SplitCase{"LoneQuote", "\"", "", ""},
        SplitCase{"TextGluedToClosingQuote", "\"C:\\x.exe\"/s", "C:\\x.exe", "/s"},
        SplitCase{"QuotesInsideParamsPassThrough", "\"a b\" \"c d\" e", "a b", "\"c d\" e"},
        SplitCase{"UnquotedThreeBlanksThenFile", "notepad.exe   memo.txt", "notepad.exe", "memo.txt"},
        SplitCase{"UnquotedOnlyTrailingBlanks", "notepad.exe   ", "notepad.exe", ""},
        SplitCase{"UnquotedNoBlank", "C:\\Windows\\notepad.exe", "C:\\Windows\\notepad.exe", ""},
        SplitCase{"ParamsKeepTrailingBlanks", "a.exe b  ", "a.exe", "b  "},
        SplitCase{"LeadingBlank", "  notepad.exe x", "", "notepad.exe x"},
        SplitCase{"TabIsOrdinaryText", "notepad.exe\tmemo.txt", "notepad.exe\tmemo.txt", ""},
        SplitCase{"TabAndBlank", "a\tb c", "a\tb", "c"},
        SplitCase{"Empty", "", "", ""},
        SplitCase{"QuoteNotFirstIsText", "a\"b c\"", "a\"b", "c\""},
        SplitCase{"Longest259Bytes", k259, k259, ""},
        SplitCase{"Longest259WithParams", "a " + std::string(257, 'p'), "a", std::string(257, 'p')},
        SplitCase{"DoubleByteTrail5C", "C:\\" + kSo + "\\" + kHyou + ".exe " + kSo,
                  "C:\\" + kSo + "\\" + kHyou + ".exe", kSo},
        SplitCase{"DoubleByteTrail7C", "\"" + kPipeTrail + " x.exe\" " + kPipeTrail,
                  kPipeTrail + " x.exe", kPipeTrail}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

// Split copies at most 260 bytes into the field: these lines fill it without a NUL.
TEST(SplitCommandLine, UnterminatedFieldIsReadAsItsFirst259Bytes) {
    auto [program, params] = Split(std::string(5, 'z') + " " + std::string(254, 'z'));
    EXPECT_EQ(program, "zzzzz");
    EXPECT_EQ(params.size(), 253u); // bytes 6..258
}

TEST(SplitCommandLine, UnterminatedFieldNeverEndsInHalfACharacter) {
    // A lead byte whose trail byte would be the 260th byte; in 1252 it is a letter of its own.
    const std::string y258(258, 'y');
    EXPECT_EQ(Split(y258 + "\x83\x5c"), std::make_pair(y258, std::string()));
    // The top of 932's lead bytes: one across the limit, one whose trail, itself a lead byte, is
    // the 259th byte.
    EXPECT_EQ(Split(y258 + "\xFA\xB1"), std::make_pair(y258, std::string()));
    EXPECT_EQ(Split(y258.substr(1) + "\xFB\xFCz").first, y258.substr(1) + "\xFB\xFC");
    EXPECT_EQ(Split(y258 + "\x83\x5c", reference::kCp1252), std::make_pair(y258 + "\x83", std::string()));
    EXPECT_EQ(Split(y258 + "\xFD\xA1", reference::kCp936), std::make_pair(y258, std::string()));
}

} // namespace
