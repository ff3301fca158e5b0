// The settings pages' decisions: which rows may be left, what apply stores, when the terminal
// must restart, how a browsed path is quoted, and the script search pattern.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "../../res/resource.h"
#include "settings/settings_rules.h"

namespace {

// Rows written as five two-letter cells: 'T'/'-' for the title, 'C'/'-' for the target.
RowsVerdict Judge(const char* cells) {
    RowFill rows[kTableSlots];
    for (int i = 0; i < kTableSlots; ++i) {
        rows[i].title = cells[3 * i] == 'T';
        rows[i].target = cells[3 * i + 1] == 'C';
    }
    return JudgeRows(rows);
}

TEST(JudgeRows, AcceptsCompleteRowsFromTheTopThenOnlyEmptyRows) {
    for (const char* rows : {"-- -- -- -- --", "TC TC TC -- --", "TC TC TC TC TC"}) {
        RowsVerdict v = Judge(rows);
        EXPECT_EQ(v.rule, kRowsAccepted) << rows;
        EXPECT_EQ(v.row, -1) << rows;
    }
}

TEST(JudgeRows, TheGapRuleComesFirstAndTheFirstOffendingRowDecides) {
    struct Case {
        const char* rows;
        RowsRule rule;
        int row;
    } cases[] = {
        {"-- TC -- -- --", kRowsGap, 1},        // a complete row below an empty one
        {"-- T- -- -- --", kRowsGap, 1},        // not the both-fields message
        {"-C -- -- -- --", kRowsIncomplete, 0}, // a command line without a title
        {"TC TC T- -- --", kRowsIncomplete, 2},
        {"-- -- -- -- TC", kRowsGap, 4},        // only the last row filled
        {"T- -- TC -- --", kRowsIncomplete, 0}, // the upper offence decides
        {"TC -- -C T- --", kRowsGap, 2},
    };
    for (const Case& c : cases) {
        RowsVerdict v = Judge(c.rows);
        EXPECT_EQ(v.rule, c.rule) << c.rows;
        EXPECT_EQ(v.row, c.row) << c.rows;
    }
}

// Page controls as the reader sees them; every read is logged so that the order is checked.
struct FakePage {
    std::map<int, std::string> text;
    std::vector<int> reads;
};

void ReadFake(void* context, int controlId, char* field, int capacity) {
    auto* page = static_cast<FakePage*>(context);
    page->reads.push_back(controlId);
    std::string s = page->text[controlId];
    size_t n = s.size() < static_cast<size_t>(capacity - 1) ? s.size() : capacity - 1;
    std::memcpy(field, s.data(), n);
    field[n] = '\0';
}

LaunchTable StaleTable() {
    LaunchTable table;
    for (int i = 0; i < kTableSlots; ++i) {
        std::snprintf(table.entries[i].title, kTitleSize, "old title %d", i);
        std::snprintf(table.entries[i].target, kTargetSize, "old target %d", i);
    }
    table.count = 5;
    return table;
}

TEST(ApplyRows, TheFirstEmptyTitleEndsTheTableAndLaterRowsAreNotRead) {
    FakePage page;
    page.text = {{IDC_TITLE, "Editor"}, {IDC_COMMAND, "notepad.exe a b"},
                 {IDC_TITLE + 1, " "}, {IDC_COMMAND + 1, "calc.exe"},
                 {IDC_COMMAND + 2, "orphan.exe"}, {IDC_TITLE + 3, "Late"}};
    LaunchTable table = StaleTable();
    EXPECT_EQ(ApplyRows(table, IDC_COMMAND, ReadFake, &page), 2);
    EXPECT_EQ(table.count, 2);
    EXPECT_STREQ(table.entries[0].title, "Editor");
    EXPECT_STREQ(table.entries[0].target, "notepad.exe a b");
    EXPECT_STREQ(table.entries[1].title, " "); // blanks are a title
    EXPECT_STREQ(table.entries[1].target, "calc.exe");
    EXPECT_STREQ(table.entries[2].title, "");
    EXPECT_STREQ(table.entries[2].target, "old target 2");
    EXPECT_STREQ(table.entries[3].title, "old title 3");
    EXPECT_EQ(page.reads, (std::vector<int>{IDC_TITLE, IDC_COMMAND, IDC_TITLE + 1, IDC_COMMAND + 1,
                                            IDC_TITLE + 2}));
}

struct Tables {
    LaunchTable files = StaleTable();
    LaunchTable scripts = StaleTable();
    LaunchEntry fileBackup[kTableSlots];
    LaunchEntry scriptBackup[kTableSlots];
    int oldFiles = 2, oldScripts = 2;
    Tables() {
        files.count = scripts.count = 2;
        std::memcpy(fileBackup, files.entries, sizeof(fileBackup));
        std::memcpy(scriptBackup, scripts.entries, sizeof(scriptBackup));
    }
    bool Restart() const {
        return NeedsRestart(oldFiles, fileBackup, files, oldScripts, scriptBackup, scripts);
    }
};

TEST(NeedsRestart, GrowthAndChangedTargetsAppendWithoutRestart) {
    Tables t;
    EXPECT_FALSE(t.Restart());
    t.files.count = 4;
    t.scripts.count = 5;
    std::strcpy(t.files.entries[0].target, "other.exe");
    std::strcpy(t.scripts.entries[1].target, "other.scr");
    std::strcpy(t.files.entries[2].title, "new"); // beyond the old count: new, not changed
    EXPECT_FALSE(t.Restart());
}

TEST(NeedsRestart, AShrinkOrAChangedTitleOfAnOldEntryNeedsARestart) {
    Tables shrunk;
    shrunk.files.count = 4; // growth elsewhere does not help
    shrunk.scripts.count = 1;
    EXPECT_TRUE(shrunk.Restart());
    Tables letterCase;
    letterCase.files.entries[1].title[0] = 'O';
    EXPECT_TRUE(letterCase.Restart());
    Tables script;
    std::strcpy(script.scripts.entries[0].title, "old title 0 ");
    EXPECT_TRUE(script.Restart());
    Tables tail; // bytes behind the NUL do not count
    tail.files.entries[0].title[20] = 'x';
    EXPECT_FALSE(tail.Restart());
}

// Runs `call` on the text in a 260-byte buffer guarded by a sentinel byte behind it; returns its
// result and what the buffer holds then.
template <class Call> auto Guarded(const std::string& text, Call call) {
    char buffer[261];
    std::memset(buffer, 'X', sizeof(buffer));
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    auto result = call(buffer);
    EXPECT_EQ(buffer[260], 'X') << "wrote past the buffer";
    return std::make_pair(result, std::string(buffer, strnlen(buffer, 260)));
}

std::pair<BrowseOutcome, std::string> Quote(const std::string& path) {
    return Guarded(path, [](char* buffer) { return QuoteBrowsedPath(buffer, 260, 259); });
}

std::pair<bool, std::string> Pattern(const std::string& folder) {
    return Guarded(folder, [](char* buffer) { return AppendScriptPattern(buffer, 260); });
}

TEST(QuoteBrowsedPath, OnlyABlankQuotes) {
    EXPECT_EQ(Quote("C:\\Tools\\edit.exe"), std::make_pair(kBrowseBare, std::string("C:\\Tools\\edit.exe")));
    EXPECT_EQ(Quote("C:\\My Tools\\edit.exe"),
              std::make_pair(kBrowseQuoted, std::string("\"C:\\My Tools\\edit.exe\"")));
    EXPECT_EQ(Quote("C:\\a\tb\\x.exe").first, kBrowseBare); // a tab is no blank
    // "ソ" ends in 0x5C and "　" (ideographic space) holds no 0x20 byte.
    EXPECT_EQ(Quote("C:\\\x83\x5c\\\x81\x40.exe").first, kBrowseBare);
}

TEST(QuoteBrowsedPath, LongPathsStayInsideTheBufferAndTheField) {
    std::string blank257 = "C:\\a b\\" + std::string(250, 'x');
    ASSERT_EQ(blank257.size(), 257u);
    auto quoted = Quote(blank257);
    EXPECT_EQ(quoted.first, kBrowseQuoted);
    EXPECT_EQ(quoted.second, "\"" + blank257 + "\"");
    EXPECT_EQ(quoted.second.size(), 259u);
    // 258 characters with a blank would need 261 bytes: refused, the buffer keeps the path.
    std::string blank258 = blank257 + "y";
    EXPECT_EQ(Quote(blank258), std::make_pair(kBrowseRefused, blank258));
    std::string bare258 = std::string(258, 'z');
    EXPECT_EQ(Quote(bare258).first, kBrowseBare);
    // An unterminated buffer is never read past its end.
    char raw[260];
    std::memset(raw, 'q', sizeof(raw));
    EXPECT_EQ(QuoteBrowsedPath(raw, sizeof(raw), 259), kBrowseRefused);
}

TEST(AppendScriptPattern, AppendsExactlyTheSixCharactersUpToTheBuffersEnd) {
    EXPECT_EQ(Pattern("C:\\qx\\scripts"), std::make_pair(true, std::string("C:\\qx\\scripts\\*.scr")));
    EXPECT_EQ(Pattern("C:\\qx\\"), std::make_pair(true, std::string("C:\\qx\\\\*.scr")));
    EXPECT_EQ(Pattern(""), std::make_pair(true, std::string("\\*.scr")));
    std::string f253(253, 'f');
    EXPECT_EQ(Pattern(f253), std::make_pair(true, f253 + "\\*.scr"));
    std::string f254(254, 'f');
    EXPECT_EQ(Pattern(f254), std::make_pair(false, f254));
    char raw[260];
    std::memset(raw, 'q', sizeof(raw));
    EXPECT_FALSE(AppendScriptPattern(raw, sizeof(raw)));
}

} // namespace
