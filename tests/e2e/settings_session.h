// The settings sheet under test: a recording frame with the add-on attached, the sheet opened
// from the launcher window on the main thread and worked by a driver thread.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "harness.h"

namespace qx {

constexpr int kSettingsId = 100;
constexpr int kTitle = 1000, kCommand = 1005, kScriptFile = 1010, kBrowse = 1015;

class SettingsSession : public AddonTest {
  protected:
    void SetUp() override {
        AddonTest::SetUp();
        TrackFocus(); // the main thread's, where the sheet runs
    }

    // Picks the settings item. `drive` runs on the driver thread with the open sheet and its
    // current page (the first); a sheet it
    // leaves open is cancelled; each box shown after the sheet has closed is dismissed, the
    // first read into `after`, a later one into `last`. `sheetShown` is false when no sheet
    // appeared (then `drive` does not run).
    struct SheetRun {
        bool sheetShown = false;
        BoxInfo after, last;
        int boxes = 0;
    };
    SheetRun RunSheet(const std::function<void(HWND sheet, HWND page)>& drive);

    // The sheet opened, its first page edited by `edit` on the driver thread, then confirmed.
    SheetRun EditAndConfirm(const std::function<void(HWND page)>& edit) {
        return RunSheet([&](HWND sheet, HWND page) {
            edit(page);
            PostSheetButton(sheet, PSBTN_OK);
        });
    }

    // On the driver thread: waits for the message box that a page shows over the sheet, reads
    // it, dismisses it, and returns once the page has finished with it (the sheet answers again).
    BoxInfo TakeBoxOver(HWND sheet);

    // On the driver thread: fills a row's title and target (the command line's, or on the script
    // page the script file's).
    static void SetRow(HWND page, int row, const std::string& title, const std::string& target, int targetId = kCommand) {
        SetControlText(page, kTitle + row, title);
        SetControlText(page, targetId + row, target);
    }

    // The restart notice: its text and caption, owned by the frame, with the information icon.
    void ExpectRestartNotice(const BoxInfo& box);
};

} // namespace qx
