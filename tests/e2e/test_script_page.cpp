// The script menu page: the terminal's script folder in every row, stored names selected or
// shown as text, its refusals, and how its edits reach the table and the terminal.
#include <gtest/gtest.h>

#include <set>

#include "settings_session.h"
#include "settings_texts.h"

using namespace qx;

namespace {

std::vector<std::string> SearchOrder(const std::string& pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

void Touch(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    CloseHandle(file);
}

class ScriptPage : public SettingsSession {
  protected:
    // A fresh script folder holding the given names (a trailing backslash makes a folder).
    std::string MakeFolder(const std::string& name, const std::vector<std::string>& entries) {
        std::string folder = TempPath(name);
        CreateDirectoryA(folder.c_str(), NULL);
        for (const std::string& entry : entries) {
            if (entry.back() == '\\')
                CreateDirectoryA((folder + "\\" + entry).c_str(), NULL);
            else
                Touch(folder + "\\" + entry);
        }
        return folder;
    }
    void SetScriptPath(const std::string& folder) { SetString(kHostConfigKey, "ScriptPath", folder); }

    // On the driver thread: selects the script page and returns it.
    HWND OpenScriptPage(HWND sheet) {
        PostSheetPage(sheet, 1);
        EXPECT_TRUE(WaitUntil([&] { return CurrentPageIndex(sheet) == 1; }));
        return CurrentPage(sheet);
    }
    std::vector<std::string> Items(HWND page, int row) {
        return ComboItems(GetDlgItem(page, kScriptFile + row));
    }
    int Selection(HWND page, int row) {
        return static_cast<int>(SendDlgItemMessageA(page, kScriptFile + row, CB_GETCURSEL, 0, 0));
    }
};

TEST_F(ScriptPage, EveryRowListsTheScriptFolderInTheSearchsOrder) {
    std::string folder = MakeFolder("qx-scripts", {"b.scr", "a.scr", "notes.txt", "dir.scr\\"});
    SetScriptPath(folder);
    std::vector<std::string> expected = SearchOrder(folder + "\\*.scr");
    ASSERT_EQ(std::set<std::string>(expected.begin(), expected.end()),
              (std::set<std::string>{"a.scr", "b.scr", "dir.scr"}));
    Attach({}, {});
    RunSheet([&](HWND sheet) {
        HWND page = OpenScriptPage(sheet);
        for (int row = 0; row < 5; ++row) {
            EXPECT_EQ(Items(page, row), expected) << "row " << row;
            EXPECT_EQ(Selection(page, row), CB_ERR);
            EXPECT_EQ(ControlText(page, kScriptFile + row), "");
            HWND edit = FindWindowExA(GetDlgItem(page, kScriptFile + row), NULL, "Edit", NULL);
            EXPECT_EQ(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), 259);
            EXPECT_EQ(SendDlgItemMessageA(page, kTitle + row, EM_GETLIMITTEXT, 0, 0), 79);
        }
        PostSheetButton(sheet, PSBTN_CANCEL);
    });
    EXPECT_EQ(ReadValue(kHostConfigKey, "ScriptPath").data, folder + std::string(1, '\0'));
}

TEST_F(ScriptPage, AnEmptyOrMissingFolderGivesEmptyListsAndThePageStillOpens) {
    std::string empty = MakeFolder("qx-no-scripts", {"notes.txt"});
    Attach({}, {{"Diary", "diary.scr"}});
    // The folder is looked up each time the page is made.
    for (const std::string& folder : {empty, TempPath("qx-missing-folder")}) {
        SetScriptPath(folder);
        RunSheet([&](HWND sheet) {
            HWND page = OpenScriptPage(sheet);
            ASSERT_NE(GetDlgItem(page, kScriptFile + 4), nullptr);
            for (int row = 0; row < 5; ++row)
                EXPECT_TRUE(Items(page, row).empty());
            EXPECT_EQ(ControlText(page, kScriptFile), "diary.scr");
            PostSheetButton(sheet, PSBTN_CANCEL);
        });
    }
}

TEST_F(ScriptPage, WithoutScriptPathTheRootOfTheCurrentDriveIsSearched) {
    Touch("C:\\qx-root-probe.scr");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\windows"));
    std::vector<std::string> expected = SearchOrder("C:\\*.scr");
    Attach({}, {});
    RunSheet([&](HWND sheet) {
        HWND page = OpenScriptPage(sheet);
        EXPECT_EQ(Items(page, 0), expected);
        EXPECT_EQ(Items(page, 4), expected);
        PostSheetButton(sheet, PSBTN_CANCEL);
    });
    SetCurrentDirectoryA(previous);
    DeleteFileA("C:\\qx-root-probe.scr");
    EXPECT_NE(std::find(expected.begin(), expected.end(), "qx-root-probe.scr"), expected.end());
    EXPECT_TRUE(KeyExists(kHostConfigKey)); // created by the read, empty
    EXPECT_FALSE(ReadValue(kHostConfigKey, "ScriptPath").exists);
}

TEST_F(ScriptPage, StoredNamesSelectTheirItemIgnoringCaseOrShowAsText) {
    std::string folder = MakeFolder("qx-case-scripts", {"Login.scr", "backup.scr"});
    SetScriptPath(folder);
    std::vector<std::string> order = SearchOrder(folder + "\\*.scr");
    auto index = [&](const char* name) {
        return static_cast<int>(std::find(order.begin(), order.end(), name) - order.begin());
    };
    Attach({}, {{"Login", "Login.scr"}, {"Backup", "BACKUP.SCR"}, {"Gone", "gone.scr"}});
    SheetRun run = RunSheet([&](HWND sheet) {
        HWND page = OpenScriptPage(sheet);
        EXPECT_EQ(ControlText(page, kTitle + 1), "Backup");
        EXPECT_EQ(Selection(page, 0), index("Login.scr"));
        EXPECT_EQ(Selection(page, 1), index("backup.scr"));
        EXPECT_EQ(ControlText(page, kScriptFile + 1), "backup.scr"); // the list's spelling
        EXPECT_EQ(Selection(page, 2), CB_ERR);
        EXPECT_EQ(ControlText(page, kScriptFile + 2), "gone.scr");
        SetControlText(page, kTitle + 3, "Typed");
        SetControlText(page, kScriptFile + 3, "typed.scr"); // in no list, accepted all the same
        PostSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(run.after.hwnd, nullptr);
    EXPECT_EQ(ReadValue(kScriptKey, "ScriptFile00").data, std::string("Login.scr\0", 10));
    EXPECT_EQ(ReadValue(kScriptKey, "ScriptFile01").data, std::string("backup.scr\0", 11));
    EXPECT_EQ(ReadValue(kScriptKey, "ScriptFile02").data, std::string("gone.scr\0", 9));
    EXPECT_EQ(ReadValue(kScriptKey, "ScriptFile03").data, std::string("typed.scr\0", 10));
    EXPECT_EQ(Describe(Sent()), Line(HM_SETITEMID, 303) + Line(HM_ADDSCRIPTITEM, L(), "Typed"));
}

TEST_F(ScriptPage, AGapLeavesTheFocusWhereItWasAndAMissingScriptMovesItToTheTitle) {
    std::string defaultCaption = DefaultBoxCaption();
    Attach({}, {});
    RunSheet([&](HWND sheet) {
        HWND page = OpenScriptPage(sheet);
        SetControlText(page, kTitle + 1, "Second");
        SetControlText(page, kScriptFile + 1, "second.scr");
        SendMessageA(sheet, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(page, kTitle + 2)), TRUE);
        ASSERT_TRUE(WaitUntil([&] { return FocusOf(mainThread) == GetDlgItem(page, kTitle + 2); }));
        PostSheetButton(sheet, PSBTN_OK);
        BoxInfo gap = TakeBoxOver(sheet);
        EXPECT_EQ(gap.text, kFillFromTop);
        EXPECT_EQ(gap.caption, defaultCaption);
        EXPECT_TRUE(gap.iconError);
        EXPECT_EQ(FocusOf(mainThread), GetDlgItem(page, kTitle + 2)); // not row 1's title
        ASSERT_TRUE(IsWindow(sheet));
        EXPECT_EQ(CurrentPageIndex(sheet), 1);

        SetControlText(page, kTitle, "First");
        SetControlText(page, kScriptFile, "first.scr");
        SetControlText(page, kScriptFile + 1, "");
        PostSheetPage(sheet, 0);
        BoxInfo both = TakeBoxOver(sheet);
        EXPECT_EQ(both.text, kBothFields); // it speaks of a command line here too
        EXPECT_TRUE(both.iconError);
        EXPECT_TRUE(WaitUntil([&] { return FocusOf(mainThread) == GetDlgItem(page, kTitle + 1); }));
        ASSERT_TRUE(IsWindow(sheet));
        EXPECT_EQ(CurrentPageIndex(sheet), 1);
        PostSheetButton(sheet, PSBTN_CANCEL);
    });
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ScriptPage, APageNeverSelectedLeavesTheScriptTableUntouched) {
    // Had the page been made and applied, it would store the list's spelling.
    SetScriptPath(MakeFolder("qx-untouched-scripts", {"Diary.scr"}));
    Attach({}, {{"Diary", "DIARY.SCR"}, {"", "orphan.scr"}});
    SheetRun run = RunSheet([&](HWND sheet) { PostSheetButton(sheet, PSBTN_OK); });
    EXPECT_EQ(run.after.hwnd, nullptr);
    EXPECT_EQ(ReadValue(kScriptKey, "Count").data, std::string("\x02\0\0\0", 4));
    EXPECT_EQ(ReadValue(kScriptKey, "ScriptFile00").data, std::string("DIARY.SCR\0", 10));
    EXPECT_EQ(ReadValue(kScriptKey, "Title01").data, std::string("\0", 1));
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ScriptPage, ProgramsAndScriptsAddedInOneOpeningArriveProgramsFirst) {
    Attach({}, {});
    RunSheet([&](HWND sheet) {
        HWND programs = CurrentPage(sheet);
        SetControlText(programs, kTitle, "Editor");
        SetControlText(programs, kCommand, "notepad.exe");
        HWND scripts = OpenScriptPage(sheet);
        SetControlText(scripts, kTitle, Sjis("日記"));
        SetControlText(scripts, kScriptFile, "diary.scr");
        PostSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(Describe(Sent()), Line(HM_ADDFILEITEM, L()) + Line(HM_SETITEMID, 200) +
                                    Line(HM_ADDFILEITEM, L(), "Editor") + Line(HM_ADDSCRIPTITEM, L()) +
                                    Line(HM_SETITEMID, 300) +
                                    Line(HM_ADDSCRIPTITEM, L(), Sjis("日記")));
}

TEST_F(ScriptPage, ThreeScriptsBecomingTwoBringTheRestartNoticeEvenWithAProgramAdded) {
    Attach({}, {{"A", "a.scr"}, {"B", "b.scr"}, {"C", "c.scr"}});
    SheetRun run = RunSheet([&](HWND sheet) {
        SetControlText(CurrentPage(sheet), kTitle, "Editor");
        SetControlText(CurrentPage(sheet), kCommand, "notepad.exe");
        HWND page = OpenScriptPage(sheet);
        SetControlText(page, kTitle + 2, "");
        SetControlText(page, kScriptFile + 2, "");
        PostSheetButton(sheet, PSBTN_OK);
    });
    ExpectRestartNotice(run.after);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(ReadValue(kScriptKey, "Count").data, std::string("\x02\0\0\0", 4));
}

TEST_F(ScriptPage, AScriptPickedAfterItsNameChangedRunsTheNewName) {
    Attach({}, {{"Diary", "diary.scr"}});
    SheetRun run = RunSheet([&](HWND sheet) {
        SetControlText(OpenScriptPage(sheet), kScriptFile, Sjis("日記2.scr"));
        PostSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(run.after.hwnd, nullptr);
    EXPECT_TRUE(Sent().empty());
    Pick(300);
    auto sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].message, HM_RUNSCRIPT);
    EXPECT_EQ(sent[0].wParam, 9u);
    EXPECT_EQ(sent[0].text, Sjis("日記2.scr"));
}

// A pattern is the folder and six more characters in 260 bytes: a folder of 253 characters
// still lists, a longer one lists nothing (and overruns nothing).
TEST_F(ScriptPage, AFolderTooLongForThePatternOrToReadListsNothing) {
    CreateDirectoryA("C:\\qx-long-scripts", NULL);
    std::string fits = "C:\\qx-long-scripts\\" + std::string(234, 'd');
    std::string tooLong = "C:\\qx-long-scripts\\" + std::string(235, 'e');
    ASSERT_EQ(fits.size(), 253u);
    for (const std::string& folder : {fits, tooLong}) {
        CreateDirectoryA(folder.c_str(), NULL);
        Touch(folder + "\\x.scr");
    }
    // Longer than the field, and larger than the read: the root of the current drive, which
    // holds a script here, must not stand in for them.
    Touch("C:\\qx-root-probe.scr");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\windows"));
    Attach({}, {{"Kept", "x.scr"}});
    for (const std::string& folder : {fits, tooLong, "C:\\" + std::string(300, 'f'), "C:\\" + std::string(2000, 'g')}) {
        SetScriptPath(folder);
        RunSheet([&](HWND sheet) {
            HWND page = OpenScriptPage(sheet);
            bool listed = folder == fits;
            EXPECT_EQ(Items(page, 0), listed ? std::vector<std::string>{"x.scr"} : std::vector<std::string>{})
                << folder.size() << " characters";
            EXPECT_EQ(Selection(page, 0), listed ? 0 : CB_ERR);
            EXPECT_EQ(ControlText(page, kScriptFile), "x.scr");
            PostSheetButton(sheet, PSBTN_CANCEL);
        });
    }
    SetCurrentDirectoryA(previous);
    DeleteFileA("C:\\qx-root-probe.scr");
}

} // namespace
