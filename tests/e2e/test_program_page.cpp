// The program menu page: every refusal with its message and focus, what OK stores, and the
// browse button with the real file dialog.
#include <gtest/gtest.h>

#include "processes.h"
#include "settings_session.h"
#include "settings_texts.h"

#include <dlgs.h>

#include <algorithm>
#include <set>

using namespace qx;

namespace {

class ProgramPage : public SettingsSession {
  protected:
    // On the driver thread: empties all ten fields, then fills the given ones.
    void FillRows(HWND page, const std::vector<std::pair<std::string, std::string>>& rows) {
        for (size_t i = 0; i < 5; ++i)
            SetRow(page, static_cast<int>(i), i < rows.size() ? rows[i].first : "", i < rows.size() ? rows[i].second : "");
    }
};

struct Refusal {
    const char* what;
    std::vector<std::pair<std::string, std::string>> rows;
    const std::string* message;
    int focusRow;
};

TEST_F(ProgramPage, EveryRefusalShowsItsMessageMovesTheFocusAndKeepsThePage) {
    DefaultBoxCaption(); // read while the main thread is free
    Attach({{"Keep", "keep.exe"}}, {});
    const std::vector<Refusal> refusals = {
        {"first row empty, second complete", {{"", ""}, {"B", "b.exe"}}, &kFillFromTop, 1},
        {"command line without a title", {{"", "a.exe"}}, &kBothFields, 0},
        {"only the last row complete", {{"", ""}, {"", ""}, {"", ""}, {"", ""}, {"E", "e.exe"}},
         &kFillFromTop, 4},
        {"first row empty, second a title only", {{"", ""}, {"B", ""}}, &kFillFromTop, 1},
        {"third row a title only", {{"A", "a.exe"}, {"B", "b.exe"}, {"C", ""}}, &kBothFields, 2},
        {"a title of blanks is a title", {{" ", ""}}, &kBothFields, 0},
        {"the upper offence decides", {{"A", ""}, {"", ""}, {"C", "c.exe"}}, &kBothFields, 0},
    };
    RunSheet([&](HWND sheet, HWND page) {
        bool byOk = false;
        for (const Refusal& r : refusals) {
            SCOPED_TRACE(r.what);
            FillRows(page, r.rows);
            // The focus starts away from every title, so that a refusal that moves none shows.
            SendMessageA(sheet, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(page, kCommand + 4)), TRUE);
            // Leaving the page and confirming the sheet validate alike.
            (byOk = !byOk) ? PostSheetButton(sheet, PSBTN_OK) : PostSheetPage(sheet, 1);
            ExpectErrorBox(TakeBoxOver(sheet), *r.message, sheet);
            EXPECT_EQ(LastFocused(), GetDlgItem(page, kTitle + r.focusRow));
            ASSERT_TRUE(IsWindow(sheet)) << "the sheet closed";
            EXPECT_EQ(CurrentPage(sheet), page);
            EXPECT_EQ(CurrentPageIndex(sheet), 0);
        }
    });
    // Nothing was applied: the table is saved as it was and nothing reaches the terminal.
    ExpectStoredTables({{"Keep", "keep.exe"}}, {});
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ProgramPage, AcceptedRowsAreStoredAndTheFirstEmptyTitleEndsTheTable) {
    Attach({{"A", "a.exe"}, {"B", "b.exe"}}, {});
    // Five complete rows, blanks counting as text.
    EditAndConfirm([&](HWND page) {
        FillRows(page, {{"A", "a.exe"}, {"B", "b.exe"}, {" ", "  "}, {"D", "d.exe"},
                                      {Sjis("五番目"), "\"C:\\Program Files\\e.exe\" -x"}});
    });
    ExpectStoredCount(kFileKey, 5);
    ExpectStoredString(kFileKey, "Title02", " ");
    ExpectStoredString(kFileKey, "Command02", "  ");
    ExpectStoredString(kFileKey, "Title04", Sjis("五番目"));
    ExpectStoredString(kFileKey, "Command04", "\"C:\\Program Files\\e.exe\" -x");
    // Three complete rows, the last two empty: the count becomes three (a restart follows).
    SheetRun three = EditAndConfirm([&](HWND page) { FillRows(page, {{"A", "a.exe"}, {"B", "b.exe"}, {"C", "c.exe"}}); });
    EXPECT_EQ(three.after.text, kRestartNotice);
    ExpectStoredCount(kFileKey, 3);
    ExpectStoredString(kFileKey, "Command02", "c.exe");
    // A title longer than its slot (set past the typing limit) is cut before a double-byte
    // character, never inside it; also one of the top lead bytes, 0xF0..0xFC ("taka", 0xFB 0xFC),
    // which a full command line ends with whole.
    EditAndConfirm([&](HWND page) {
        SetControlText(page, kTitle, std::string(78, 'A') + Sjis("表"));
        SetRow(page, 1, std::string(78, 'B') + "\xFB\xFC", std::string(257, 'c') + "\xFB\xFC");
    });
    ExpectStoredString(kFileKey, "Title00", std::string(78, 'A'));
    ExpectStoredString(kFileKey, "Title01", std::string(78, 'B'));
    ExpectStoredString(kFileKey, "Command01", std::string(257, 'c') + "\xFB\xFC");
    // All rows empty: accepted, no entries left.
    EditAndConfirm([&](HWND page) { FillRows(page, {}); });
    ExpectStoredCount(kFileKey, 0);
    // The rows hold what the table held: typed text longer than a field cannot get in.
    RunSheet([&](HWND sheet, HWND page) {
        for (int row = 0; row < 5; ++row) {
            EXPECT_EQ(SendDlgItemMessageA(page, kTitle + row, EM_GETLIMITTEXT, 0, 0), 79) << row;
            EXPECT_EQ(SendDlgItemMessageA(page, kCommand + row, EM_GETLIMITTEXT, 0, 0), 259) << row;
        }
        EXPECT_EQ(ControlText(page, kTitle), "");
    });
}

// Files the file dialog can choose, in a folder of the test's own; the dialog moves the current
// folder (HookLateCalls).
class Browse : public ProgramPage {
  protected:
    void Attach(const EntryList& programs, const EntryList& scripts) {
        ProgramPage::Attach(programs, scripts);
        HookLateCalls();
    }

    void SetUp() override {
        ProgramPage::SetUp();
        MakeEntries(root, {"with blank\\", "tool.exe", "helper.com", "notes.txt", "with blank\\my tool.exe"});
    }

    // On the driver thread: presses row's browse button and works the file dialog: chooses
    // `path`, or cancels when it is empty. With a list folder, first opens that folder in the
    // dialog and returns what the dialog lists there.
    std::vector<std::string> BrowseTo(HWND sheet, HWND page, int row, const std::string& path,
                                      const std::string& listFolder = "") {
        const std::string folder = CurrentFolder(); // the add-on puts it back
        const int moves = late.folderMoves;
        PostMessageA(GetDlgItem(page, kBrowse + row), BM_CLICK, 0, 0);
        HWND dialog = WaitForOwnedDialog(sheet, 5000);
        EXPECT_NE(dialog, nullptr) << "no file dialog";
        if (!dialog)
            return {};
        EXPECT_EQ(FileDialogName(dialog), ""); // opens with an empty name
        EXPECT_EQ(FileDialogType(dialog), std::make_pair(0, kProgramsFilterName)); // programs first
        std::vector<std::string> listed;
        if (!listFolder.empty()) {
            // A folder typed as the name opens it; where the dialog starts depends on its
            // own memory of earlier runs.
            EnterFileDialogName(dialog, listFolder);
            WaitUntil([&] {
                listed = FileDialogListing(dialog);
                return std::find(listed.begin(), listed.end(), "tool.exe") != listed.end();
            });
        }
        if (path.empty())
            PressButton(dialog, IDCANCEL);
        else
            EnterFileDialogName(dialog, path);
        ExpectBackFrom(dialog, folder, moves);
        SendMessageA(sheet, WM_NULL, 0, 0); // returns once the page has handled the click whole
        return listed;
    }

    // The stand-in dialog moves the folder as it returns, and the page may still be on its way
    // back from it when the dialog's window has gone: the folder must come back after that move.
    void ExpectBackFrom(HWND dialog, const std::string& folder, int moves) {
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); })) << "file dialog still open";
        EXPECT_TRUE(WaitUntil([&] { return late.folderMoves > moves && CurrentFolder() == folder; }))
            << "the folder the dialog moved to stays: " << CurrentFolder();
    }

    TestFolder folder{"qx-browse"};
    const std::string& root = folder.path();
};

TEST_F(Browse, CancelLeavesTheFieldAndTheFocus) {
    Attach({{"Keep", "keep.exe /x"}, {"Two", "two.exe"}}, {});
    RunSheet([&](HWND sheet, HWND page) {
        // The dialog hides its read-only box and itself refuses a typed name that does not exist.
        const std::string folder = CurrentFolder();
        const int moves = late.folderMoves;
        PostMessageA(GetDlgItem(page, kBrowse + 1), BM_CLICK, 0, 0);
        HWND dialog = WaitForOwnedDialog(sheet, 5000), refusal = NULL;
        ASSERT_NE(dialog, nullptr);
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, chx1)));
        EnterFileDialogName(dialog, root + "\\missing.exe");
        EXPECT_TRUE(refusal = WaitForOwnedDialog(dialog, 5000)) << "a missing file was taken";
        PressButton(refusal, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(refusal); }));
        PressButton(dialog, IDCANCEL);
        ExpectBackFrom(dialog, folder, moves); // before the next browse takes the folder as its own
        BrowseTo(sheet, page, 1, "");
        EXPECT_EQ(ControlText(page, kCommand + 1), "two.exe");
        EXPECT_EQ(LastFocused(), GetDlgItem(page, kBrowse + 1)); // the pressed button
    });
}

// Also as on Windows 95, whose file dialog takes only a record of the size it knows.
class BrowseOn : public Browse, public ::testing::WithParamInterface<bool> {};
INSTANTIATE_TEST_SUITE_P(Windows, BrowseOn, ::testing::Bool(), WindowsName);

TEST_P(BrowseOn, TheChosenProgramReplacesTheFieldBareOrQuotedWithTheDirectoryKept) {
    RecorderLog recorded; // the first program chosen, started after the sheet in the folder kept
    ASSERT_TRUE(CopyFileA(recorded.program().c_str(), (root + "\\tool.exe").c_str(), FALSE));
    asWindows95 = GetParam();
    Attach({{"Keep", "old.exe /param"}}, {});
    ASSERT_TRUE(SetCurrentDirectoryA(root.c_str())); // kept, though the last file is elsewhere
    RunSheet([&](HWND sheet, HWND page) {
        std::vector<std::string> listed = BrowseTo(sheet, page, 0, root + "\\tool.exe", root);
        // Programs only: folders to walk through, and .exe and .com files.
        EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()),
                  (std::set<std::string>{"with blank", "tool.exe", "helper.com"}));
        EXPECT_EQ(ControlText(page, kCommand), root + "\\tool.exe");
        EXPECT_EQ(LastFocused(), GetDlgItem(page, kCommand));
        SetControlText(page, kTitle + 1, "Blank");
        BrowseTo(sheet, page, 1, root + "\\with blank\\my tool.exe");
        EXPECT_EQ(ControlText(page, kCommand + 1), "\"" + root + "\\with blank\\my tool.exe\"");
        EXPECT_EQ(LastFocused(), GetDlgItem(page, kCommand + 1));
        PostSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(CurrentFolder(), root);
    EXPECT_EQ(late.folderMoves, 2);
    Pick(200);
    EXPECT_EQ(recorded.Starts(), std::vector<std::string>{"argc=1|cwd=" + root});
    ExpectStoredString(kFileKey, "Command00", root + "\\tool.exe");
    ExpectStoredString(kFileKey, "Command01", "\"" + root + "\\with blank\\my tool.exe\"");
}

// The dialog returns at most 258 characters. Quoted, a path with a blank must still fit the
// field's 259: up to 257 it is quoted; at 258 it cannot be, and the row stays as it was rather
// than take a cut path or one that would start a different program.
TEST_F(Browse, PathsAtTheFieldsLimitAreQuotedOnlyWhenTheyFit) {
    MakeEntries(root, {"bare\\"});
    // A file under `dir` of the test's folder whose full path has `length` characters.
    auto fileOfLength = [&](const std::string& dir, size_t length) {
        std::string relative = dir + "\\" + std::string(length - root.size() - dir.size() - 6, 'f') + ".exe";
        MakeEntries(root, {relative});
        return root + "\\" + relative;
    };
    std::string blank257 = fileOfLength("with blank", 257), blank258 = fileOfLength("with blank", 258);
    std::string bare258 = fileOfLength("bare", 258), bare259 = fileOfLength("bare", 259);
    Attach({{"A", "a.exe"}, {"B", "b.exe"}, {"C", "c.exe"}, {"D", "d.exe"}, {"E", "e.exe"}}, {});
    RunSheet([&](HWND sheet, HWND page) {
        BrowseTo(sheet, page, 0, blank257);
        EXPECT_EQ(ControlText(page, kCommand), "\"" + blank257 + "\"");
        BrowseTo(sheet, page, 1, bare258);
        EXPECT_EQ(ControlText(page, kCommand + 1), bare258);
        BrowseTo(sheet, page, 2, blank258);
        EXPECT_EQ(ControlText(page, kCommand + 2), "c.exe");
        BrowseTo(sheet, page, 3, bare259); // more than the dialog may return: it refuses
        EXPECT_EQ(ControlText(page, kCommand + 3), "d.exe");
        BrowseTo(sheet, page, 4, root + "\\tool.exe");
        EXPECT_EQ(ControlText(page, kCommand + 4), root + "\\tool.exe");
        PostSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(ReadValue(kFileKey, "Command00").data.size(), 260u); // 259 characters and the NUL
}

} // namespace
