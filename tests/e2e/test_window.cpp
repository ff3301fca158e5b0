// The launcher window's own messages: commands, and the release of the text channel when the
// terminal destroys its frame.
#include <gtest/gtest.h>

#include "harness.h"
#include "processes.h"

using namespace qx;

namespace {

class LauncherWindow : public AddonTest {
  protected:
    void SetUp() override {
        AddonTest::SetUp();
        Attach({}, {{"Diary", "diary.scr"}});
    }
};

TEST_F(LauncherWindow, CommandUsesTheLowWordAndIgnoresNotificationAndLParam) {
    EXPECT_EQ(SendMessageA(launcher, WM_COMMAND, MAKEWPARAM(300, 1), 0x12345), 0);
    EXPECT_EQ(SendMessageA(launcher, WM_COMMAND, MAKEWPARAM(300, 0xFFFF), reinterpret_cast<LPARAM>(launcher)), 0);
    ASSERT_EQ(Describe(frame.journal), Line(HM_RUNSCRIPT, 9, "diary.scr") + Line(HM_RUNSCRIPT, 9, "diary.scr"));
    // Two hand-overs give two different handles to the same section.
    EXPECT_NE(frame.journal[0].lParam, frame.journal[1].lParam);
    // An id that is no item returns 0 as well and sends nothing.
    EXPECT_EQ(SendMessageA(launcher, WM_COMMAND, MAKEWPARAM(301, 1), 0), 0);
    EXPECT_EQ(frame.journal.size(), 2u);
}

TEST_F(LauncherWindow, DestroyingTheFrameUnmapsTheViewAndClosesTheSection) {
    // Handles the frame received belong to the terminal; close them now so that the count
    // below sees only the add-on's own handle.
    for (HANDLE h : frame.receivedHandles)
        CloseHandle(h);
    frame.receivedHandles.clear();
    Snapshot before = OwnSnapshot();
    frame.Destroy();
    EXPECT_FALSE(IsWindow(launcher));
    Snapshot after = OwnSnapshot();
    EXPECT_EQ(after.handles, before.handles - 1);
    EXPECT_EQ(after.sections, before.sections - 1);
    EXPECT_EQ(after.views, before.views - 1);
}

TEST_F(LauncherWindow, DestroyReturnsZeroWithoutTheDefaultProcedure) {
    // WM_DESTROY sent by hand: the channel goes, the window stays (DefWindowProc does nothing
    // for it either, so what is observable is the result and the released channel).
    int sectionsBefore = OwnSnapshot().sections;
    EXPECT_EQ(SendMessageA(launcher, WM_DESTROY, 0, 0), 0);
    EXPECT_EQ(OwnSnapshot().sections, sectionsBefore - 1);
    // Without a channel a script pick sends nothing rather than a text it cannot hold.
    SendMessageA(launcher, WM_COMMAND, 300, 0);
    EXPECT_TRUE(frame.journal.empty());
}

} // namespace
