// The script menu page: the terminal's script folder in every row, stored names selected or
// shown as text, its refusals, and how its edits reach the table and the terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "settings_session.h"
#include "settings_texts.h"

using namespace qx;

namespace {

class ScriptPage : public SettingsSession {
  protected:
    // A script folder of the test's holding the given names (a trailing backslash makes a folder).
    std::string MakeFolder(const std::string& name, const std::vector<std::string>& entries) {
        MakeEntries(folder.path(), {name + "\\"});
        MakeEntries(folder / name, entries);
        return folder / name;
    }
    void SetScriptPath(const std::string& folder) { SetString(kHostConfigKey, "ScriptPath", folder); }

    // On the driver thread: selects the script page and returns it.
    HWND OpenScriptPage(HWND sheet) {
        PostSheetPage(sheet, 1);
        EXPECT_TRUE(WaitUntil([&] { return CurrentPageIndex(sheet) == 1; }));
        return CurrentPage(sheet);
    }
    // RunSheet with the script page selected before `drive` runs: `page` is the script page.
    SheetRun RunScriptPage(const std::function<void(HWND sheet, HWND page)>& drive) {
        return RunSheet([&](HWND sheet, HWND) { drive(sheet, OpenScriptPage(sheet)); });
    }
    std::vector<std::string> Items(HWND page, int row) {
        return ComboItems(GetDlgItem(page, kScriptFile + row));
    }
    int Selection(HWND page, int row) {
        return static_cast<int>(SendDlgItemMessageA(page, kScriptFile + row, CB_GETCURSEL, 0, 0));
    }

    // The one file a test makes outside its folder: a script at the root of drive C:, made
    // the current drive. A drive's root is no test's, and Wine maps no drive letter that
    // DefineDosDevice names. TearDown removes it. On Windows a file at the root of C: needs
    // administrator rights: there, point a spare drive letter at a test folder and use that.
    void PutAScriptAtTheRootOfTheCurrentDrive() {
        MakeEntries("C:", {"qx-root-probe.scr"});
        ASSERT_TRUE(SetCurrentDirectoryA("C:\\windows"));
    }
    void TearDown() override {
        SettingsSession::TearDown();
        SetCurrentDirectoryA(StartFolder().c_str());
        DeleteFileA("C:\\qx-root-probe.scr");
    }

    TestFolder folder{"qx-scripts"};
};

TEST_F(ScriptPage, EveryRowListsTheScriptFolderInTheSearchsOrder) {
    std::string scripts = MakeFolder("listed", {"b.scr", "a.scr", "notes.txt", "dir.scr\\"});
    SetScriptPath(scripts);
    std::vector<std::string> expected = Search(scripts + "\\*.scr");
    ASSERT_EQ(std::set<std::string>(expected.begin(), expected.end()),
              (std::set<std::string>{"a.scr", "b.scr", "dir.scr"}));
    Attach({}, {});
    RunScriptPage([&](HWND sheet, HWND page) {
        for (int row = 0; row < 5; ++row) {
            EXPECT_EQ(Items(page, row), expected) << "row " << row;
            EXPECT_EQ(Selection(page, row), CB_ERR);
            EXPECT_EQ(ControlText(page, kScriptFile + row), "");
            HWND edit = FindWindowExA(GetDlgItem(page, kScriptFile + row), NULL, "Edit", NULL);
            EXPECT_EQ(SendMessageA(edit, EM_GETLIMITTEXT, 0, 0), 259);
            EXPECT_EQ(SendDlgItemMessageA(page, kTitle + row, EM_GETLIMITTEXT, 0, 0), 79);
        }
    });
    EXPECT_EQ(ReadValue(kHostConfigKey, "ScriptPath").data, scripts + std::string(1, '\0'));
}

TEST_F(ScriptPage, AnEmptyOrMissingFolderGivesEmptyListsAndThePageStillOpens) {
    std::string empty = MakeFolder("empty", {"notes.txt"});
    Attach({}, {{"Diary", "diary.scr"}});
    // The folder is looked up each time the page is made.
    for (const std::string& searched : {empty, folder / "missing"}) {
        SetScriptPath(searched);
        RunScriptPage([&](HWND sheet, HWND page) {
            ASSERT_NE(GetDlgItem(page, kScriptFile + 4), nullptr);
            for (int row = 0; row < 5; ++row)
                EXPECT_TRUE(Items(page, row).empty());
            EXPECT_EQ(ControlText(page, kScriptFile), "diary.scr");
        });
    }
}

TEST_F(ScriptPage, WithoutScriptPathTheRootOfTheCurrentDriveIsSearched) {
    PutAScriptAtTheRootOfTheCurrentDrive();
    std::vector<std::string> expected = Search("C:\\*.scr");
    Attach({}, {});
    RunScriptPage([&](HWND sheet, HWND page) {
        EXPECT_EQ(Items(page, 0), expected);
        EXPECT_EQ(Items(page, 4), expected);
    });
    EXPECT_NE(std::find(expected.begin(), expected.end(), "qx-root-probe.scr"), expected.end());
    EXPECT_TRUE(KeyExists(kHostConfigKey)); // created by the read, empty
    EXPECT_FALSE(ReadValue(kHostConfigKey, "ScriptPath").exists);
}

TEST_F(ScriptPage, StoredNamesSelectTheirItemIgnoringCaseOrShowAsText) {
    std::string scripts = MakeFolder("case", {"Login.scr", "backup.scr"});
    SetScriptPath(scripts);
    std::vector<std::string> order = Search(scripts + "\\*.scr");
    auto index = [&](const char* name) {
        return static_cast<int>(std::find(order.begin(), order.end(), name) - order.begin());
    };
    // "log" only begins a listed name: it is another script, never "Login.scr".
    Attach({}, {{"Login", "Login.scr"}, {"Backup", "BACKUP.SCR"}, {"Gone", "gone.scr"}, {"Log", "log"}});
    SheetRun run = RunScriptPage([&](HWND sheet, HWND page) {
        EXPECT_EQ(ControlText(page, kTitle + 1), "Backup");
        EXPECT_EQ(Selection(page, 0), index("Login.scr"));
        EXPECT_EQ(Selection(page, 1), index("backup.scr"));
        EXPECT_EQ(ControlText(page, kScriptFile + 1), "backup.scr"); // the list's spelling
        for (int row : {2, 3})
            EXPECT_EQ(Selection(page, row), CB_ERR);
        EXPECT_EQ(ControlText(page, kScriptFile + 2), "gone.scr");
        EXPECT_EQ(ControlText(page, kScriptFile + 3), "log");
        SetRow(page, 4, "Typed", "typed.scr", kScriptFile); // a name in no list, accepted all the same
        PostSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(run.after.hwnd, nullptr);
    const char* stored[] = {"Login.scr", "backup.scr", "gone.scr", "log", "typed.scr"};
    for (int i = 0; i < 5; ++i)
        ExpectStoredString(kScriptKey, ("ScriptFile0" + std::to_string(i)).c_str(), stored[i]);
    EXPECT_EQ(Describe(Sent()), Line(HM_SETITEMID, 304) + Line(HM_ADDSCRIPTITEM, L(), "Typed"));
}

TEST_F(ScriptPage, AGapLeavesTheFocusWhereItWasAndAMissingScriptMovesItToTheTitle) {
    DefaultBoxCaption(); // read while the main thread is free
    Attach({}, {});
    RunScriptPage([&](HWND sheet, HWND page) {
        SetRow(page, 1, "Second", "second.scr", kScriptFile);
        SendMessageA(sheet, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(page, kTitle + 2)), TRUE);
        ASSERT_EQ(LastFocused(), GetDlgItem(page, kTitle + 2));
        PostSheetButton(sheet, PSBTN_OK);
        BoxInfo gap = TakeBoxOver(sheet);
        ExpectErrorBox(gap, kFillFromTop, sheet);
        EXPECT_EQ(LastFocused(), GetDlgItem(page, kTitle + 2)); // not row 1's title
        ASSERT_TRUE(IsWindow(sheet));
        EXPECT_EQ(CurrentPageIndex(sheet), 1);

        SetRow(page, 0, "First", "first.scr", kScriptFile);
        SetControlText(page, kScriptFile + 1, "");
        PostSheetPage(sheet, 0);
        BoxInfo both = TakeBoxOver(sheet);
        ExpectErrorBox(both, kBothFields, sheet); // it speaks of a command line here too
        EXPECT_EQ(LastFocused(), GetDlgItem(page, kTitle + 1));
        ASSERT_TRUE(IsWindow(sheet));
        EXPECT_EQ(CurrentPageIndex(sheet), 1);
    });
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ScriptPage, APageNeverSelectedLeavesTheScriptTableUntouched) {
    // Had the page been made and applied, it would store the list's spelling.
    SetScriptPath(MakeFolder("untouched", {"Diary.scr"}));
    Attach({}, {{"Diary", "DIARY.SCR"}, {"", "orphan.scr"}});
    SheetRun run = RunSheet([&](HWND sheet, HWND page) { PostSheetButton(sheet, PSBTN_OK); });
    EXPECT_EQ(run.after.hwnd, nullptr);
    ExpectStoredTables({}, {{"Diary", "DIARY.SCR"}, {"", "orphan.scr"}});
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ScriptPage, ProgramsAndScriptsAddedInOneOpeningArriveProgramsFirst) {
    Attach({}, {});
    RunSheet([&](HWND sheet, HWND page) {
        HWND programs = CurrentPage(sheet);
        SetRow(programs, 0, "Editor", "notepad.exe");
        HWND scripts = OpenScriptPage(sheet);
        SetRow(scripts, 0, Sjis("日記"), "diary.scr", kScriptFile);
        PostSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(Describe(Sent()), Line(HM_ADDFILEITEM, L()) + Line(HM_SETITEMID, 200) +
                                    Line(HM_ADDFILEITEM, L(), "Editor") + Line(HM_ADDSCRIPTITEM, L()) +
                                    Line(HM_SETITEMID, 300) +
                                    Line(HM_ADDSCRIPTITEM, L(), Sjis("日記")));
}

TEST_F(ScriptPage, ThreeScriptsBecomingTwoBringTheRestartNoticeEvenWithAProgramAdded) {
    Attach({}, {{"A", "a.scr"}, {"B", "b.scr"}, {"C", "c.scr"}});
    SheetRun run = RunSheet([&](HWND sheet, HWND page) {
        SetRow(CurrentPage(sheet), 0, "Editor", "notepad.exe");
        page = OpenScriptPage(sheet);
        SetRow(page, 2, "", "", kScriptFile);
        PostSheetButton(sheet, PSBTN_OK);
    });
    ExpectRestartNotice(run.after);
    EXPECT_TRUE(Sent().empty());
    ExpectStoredCount(kScriptKey, 2);
}

TEST_F(ScriptPage, AScriptPickedAfterItsNameChangedRunsTheNewName) {
    Attach({}, {{"Diary", "diary.scr"}});
    SheetRun run = RunSheet([&](HWND sheet, HWND page) {
        SetControlText(OpenScriptPage(sheet), kScriptFile, Sjis("日記2.scr"));
        PostSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(run.after.hwnd, nullptr);
    EXPECT_TRUE(Sent().empty());
    Pick(300);
    EXPECT_EQ(Describe(Sent()), Line(HM_RUNSCRIPT, 9, Sjis("日記2.scr")));
}

// A pattern is the folder and six more characters in 260 bytes: a folder of 253 characters
// still lists, a longer one lists nothing (and overruns nothing). Folders past 248 characters
// are Wine's: Windows makes them only through the "\\?\" prefix of the wide calls.
TEST_F(ScriptPage, AFolderTooLongForThePatternOrToReadListsNothing) {
    std::string base = MakeFolder("long", {});
    std::string fits = base + "\\" + std::string(253 - base.size() - 1, 'd');
    std::string tooLong = base + "\\" + std::string(254 - base.size() - 1, 'e');
    for (const std::string& searched : {fits, tooLong})
        MakeEntries(base, {searched.substr(base.size() + 1) + "\\", searched.substr(base.size() + 1) + "\\x.scr"});
    // Longer than the field, and larger than the read: the root of the current drive, which
    // holds a script here, must not stand in for them.
    PutAScriptAtTheRootOfTheCurrentDrive();
    Attach({}, {{"Kept", "x.scr"}});
    for (const std::string& searched : {fits, tooLong, "C:\\" + std::string(300, 'f'), "C:\\" + std::string(2000, 'g')}) {
        SetScriptPath(searched);
        RunScriptPage([&](HWND sheet, HWND page) {
            bool listed = searched == fits;
            EXPECT_EQ(Items(page, 0), listed ? std::vector<std::string>{"x.scr"} : std::vector<std::string>{})
                << searched.size() << " characters";
            EXPECT_EQ(Selection(page, 0), listed ? 0 : CB_ERR);
            EXPECT_EQ(ControlText(page, kScriptFile), "x.scr");
        });
    }
}

} // namespace
