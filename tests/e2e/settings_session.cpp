// See settings_session.h.
#include "settings_session.h"

#include <atomic>

#include "cell.h"
#include "settings_texts.h"

namespace qx {

SettingsSession::SheetRun SettingsSession::RunSheet(const std::function<void(HWND sheet, HWND page)>& drive) {
    SheetRun run;
    std::atomic<bool> returned{false};
    RunDriven(
        [&] {
            Pick(kSettingsId);
            returned = true;
        },
        [&] {
            // The sheet, or whatever box came instead of it; nothing once the pick has returned.
            HWND first = NULL;
            WaitUntil([&] { return (first = WaitForDialog(0)) != NULL || returned; }, 8000);
            ASSERT_NE(first, nullptr) << "neither the sheet nor a box appeared";
            HWND sheet = WaitForSheet(0);
            run.sheetShown = sheet != NULL;
            if (sheet) {
                drive(sheet, CurrentPage(sheet));
                PostSheetButton(sheet, PSBTN_CANCEL); // what the drive left open is cancelled
                ASSERT_TRUE(WaitUntil([&] { return !IsWindow(sheet); })) << "sheet still open";
            }
            HWND box = NULL;
            while (WaitUntil([&] { return returned || (box = WaitForDialog(0)) != NULL; }) && box) {
                (run.boxes++ == 0 ? run.after : run.last) = ReadMessageBox(box);
                PressButton(box, IDOK);
                ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
                box = NULL;
            }
        });
    return run;
}

BoxInfo SettingsSession::TakeBoxOver(HWND sheet) {
    HWND box = WaitForOwnedDialog(sheet, 5000);
    EXPECT_NE(box, nullptr) << "no message box over the sheet";
    if (!box)
        return BoxInfo();
    BoxInfo info = ReadMessageBox(box);
    PressButton(box, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
    // The sheet's thread answers a sent message only when the page's handler has returned.
    SendMessageA(sheet, WM_NULL, 0, 0);
    return info;
}

void SettingsSession::ExpectRestartNotice(const BoxInfo& box) {
    EXPECT_EQ(box.text, kRestartNotice);
    EXPECT_EQ(box.caption, kLaunchCaption);
    EXPECT_EQ(box.owner, frame.hwnd());
    EXPECT_TRUE(box.iconInformation);
}

} // namespace qx
