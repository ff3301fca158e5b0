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

// The channel's calls, argument by argument: an unnamed 1 KiB section of the paging file, mapped
// whole with all access; at each hand-over the terminal's process opened for duplication alone
// with an inheritable handle, the section duplicated from this process with its own access and
// inheritable, the process handle closed after.
std::vector<std::string> handOver;
decltype(&CreateFileMappingA) createMapping;
decltype(&MapViewOfFile) mapView;
decltype(&OpenProcess) openProcess;
decltype(&DuplicateHandle) duplicateHandle;
decltype(&CloseHandle) closeHandle;
HANDLE opened;

HANDLE WINAPI CreateChannel(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protection, DWORD high, DWORD low, LPCSTR name) {
    handOver.push_back(std::string("section ") + (file == INVALID_HANDLE_VALUE ? "paging " : "file ") + (security ? "security " : "- ") +
                       std::to_string(protection) + " " + std::to_string(high) + " " + std::to_string(low) + (name ? " named" : " -"));
    return createMapping(file, security, protection, high, low, name);
}
LPVOID WINAPI MapChannel(HANDLE section, DWORD access, DWORD high, DWORD low, SIZE_T length) {
    handOver.push_back("view " + std::to_string(access) + " " + std::to_string(high) + " " + std::to_string(low) + " " + std::to_string(length));
    return mapView(section, access, high, low, length);
}
HANDLE WINAPI OpenHost(DWORD access, BOOL inherit, DWORD pid) {
    opened = openProcess(access, inherit, pid);
    handOver.push_back("open " + std::to_string(access) + " " + std::to_string(inherit) + (pid == GetCurrentProcessId() ? " host" : " other"));
    return opened;
}
BOOL WINAPI Duplicate(HANDLE from, HANDLE source, HANDLE to, LPHANDLE target, DWORD access, BOOL inherit, DWORD options) {
    handOver.push_back(std::string("duplicate ") + (from == GetCurrentProcess() ? "self" : "other") + (to == opened ? " host " : " other ") +
                       std::to_string(access) + " " + std::to_string(inherit) + " " + std::to_string(options));
    return duplicateHandle(from, source, to, target, access, inherit, options);
}
BOOL WINAPI Close(HANDLE handle) {
    handOver.push_back(handle == opened ? "close host" : "close other");
    return closeHandle(handle);
}

class TextChannel : public AddonTest {};

TEST_F(TextChannel, CreationAndHandOverCallTheSystemWithTheirFixedArguments) {
    ConfigureTables({}, {{"Diary", "diary.scr"}});
    createMapping = reinterpret_cast<decltype(createMapping)>(HookExport("KERNEL32.dll", "CreateFileMappingA", reinterpret_cast<void*>(CreateChannel)));
    mapView = reinterpret_cast<decltype(mapView)>(HookExport("KERNEL32.dll", "MapViewOfFile", reinterpret_cast<void*>(MapChannel)));
    Load();
    HookExport("KERNEL32.dll", "CreateFileMappingA", reinterpret_cast<void*>(createMapping));
    HookExport("KERNEL32.dll", "MapViewOfFile", reinterpret_cast<void*>(mapView));
    frame.journal.clear();
    HookImport(openProcess, "KERNEL32.dll", "OpenProcess", OpenHost);
    HookImport(duplicateHandle, "KERNEL32.dll", "DuplicateHandle", Duplicate);
    HookImport(closeHandle, "KERNEL32.dll", "CloseHandle", Close);
    Pick(300);
    EXPECT_EQ(handOver, (std::vector<std::string>{"section paging - 4 0 1024 -", "view 983071 0 0 0", "open 64 1 host",
                                                  "duplicate self host 0 1 2", "close host"}));
    EXPECT_EQ(Describe(frame.journal), Line(HM_RUNSCRIPT, 9, "diary.scr"));
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
