// Menu picks: programs start through the shell with the split command line, scripts go to the
// terminal through the channel, and every other id does nothing at all.
#include <gtest/gtest.h>


#include <algorithm>
#include <set>
#include <sstream>

#include "harness.h"

using namespace qx;

namespace {

class Dispatch : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetRegistry();
        log = TempPath("qx-recorder.log");
        DeleteFileA(log.c_str());
        SetEnvironmentVariableA("QX_RECORDER_LOG", log.c_str());
        recorder = ExeDirectory() + "recorder.exe";
        // The shell starts programs in "." : our current folder.
        workFolder = TempPath("qx dispatch cwd");
        CreateDirectoryA(workFolder.c_str(), NULL);
        SetCurrentDirectoryA(workFolder.c_str());
    }
    void TearDown() override { ResetRegistry(); }

    void Attach() {
        ASSERT_NE(LoadAddon(), nullptr);
        launcher = FindLauncherWindow(frame.hwnd());
        ASSERT_NE(launcher, nullptr);
        frame.journal.clear();
    }
    void Pick(int id) { SendMessageA(launcher, WM_COMMAND, static_cast<WPARAM>(id), 0); }

    // Waits until the recorder has written `count` lines (a few seconds at most).
    std::vector<std::string> WaitForStarts(size_t count) {
        std::vector<std::string> lines;
        for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(30)) {
            lines.clear();
            std::istringstream in(ReadFileBytes(log));
            for (std::string line; std::getline(in, line);)
                lines.push_back(line);
            if (lines.size() >= count)
                break;
        }
        return lines;
    }
    std::string Started(const std::string& args) {
        char folder[MAX_PATH];
        GetCurrentDirectoryA(sizeof(folder), folder);
        return args.empty() ? "argc=1|cwd=" + std::string(folder)
                            : "argc=" + std::to_string(2 + std::count(args.begin(), args.end(), '|')) +
                                  "|cwd=" + folder + "|" + args;
    }

    TestFrame frame;
    HWND launcher = NULL;
    std::string log, recorder, workFolder;
};

TEST_F(Dispatch, ProgramItemsStartTheirSplitCommandLinesInTheCurrentFolder) {
    std::string blankFolder = TempPath("qx dispatch bin");
    CreateDirectoryA(blankFolder.c_str(), NULL);
    std::string quoted = blankFolder + "\\rec ord.exe";
    ASSERT_TRUE(CopyFileA(recorder.c_str(), quoted.c_str(), FALSE));
    ConfigureTables({{"plain", recorder + "   first"},
                     {"quoted", "\"" + quoted + "\"  one two"},
                     {"bare", recorder},
                     {"quoted alone", "\"" + quoted + "\""},
                     {"glued", "\"" + quoted + "\"x"}},
                    {});
    Attach();
    const char* expected[] = {"first", "one|two", "", "", "x"};
    for (int i = 0; i < 5; ++i) {
        DeleteFileA(log.c_str());
        Pick(200 + i);
        auto lines = WaitForStarts(1);
        ASSERT_EQ(lines.size(), 1u) << "id " << 200 + i;
        EXPECT_EQ(lines[0], Started(expected[i])) << "id " << 200 + i;
    }
    // Nothing goes to the terminal for a program.
    EXPECT_TRUE(frame.journal.empty());
}

TEST_F(Dispatch, OnlyTheIdsOfExistingEntriesDoAnything) {
    ConfigureTables({{"a", recorder + " a"}, {"b", recorder + " b"}, {"c", recorder + " c"}},
                    {{"s", "s.scr"}});
    Attach();
    for (int id = 0; id <= 65535; ++id) {
        bool item = id == 100 || (id >= 200 && id <= 202) || id == 300;
        if (!item)
            Pick(id);
    }
    EXPECT_TRUE(frame.journal.empty());
    // The last valid pick is a marker: once it has started, nothing else may have.
    Pick(202);
    auto lines = WaitForStarts(1);
    Sleep(1500); // give any wrongly started program time to show up in the log
    lines = WaitForStarts(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], Started("c"));
}

TEST_F(Dispatch, ScriptItemsHandTheirNamesToTheTerminal) {
    const std::string soHyou = "\x83\x5c\x95\x5c.scr"; // two double-byte characters, 0x5C trails
    EntryList scripts;
    for (int i = 0; i < 4; ++i)
        scripts.push_back({"Script " + std::to_string(i), "script" + std::to_string(i) + ".scr"});
    scripts.push_back({Sjis("表"), soHyou});
    ConfigureTables({}, scripts);
    Attach();
    for (int i = 0; i < 5; ++i)
        Pick(300 + i);
    Pick(305); // past the count
    ASSERT_EQ(frame.journal.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        const HostMessage& m = frame.journal[i];
        EXPECT_EQ(m.message, HM_RUNSCRIPT);
        EXPECT_EQ(m.text, scripts[i].second);
        EXPECT_EQ(m.wParam, scripts[i].second.size());
        EXPECT_NE(m.lParam, 0);
    }
    EXPECT_EQ(frame.journal[4].wParam, 8u);
    // A name of 259 bytes with its NUL fits the channel whole.
    std::set<LPARAM> handles;
    for (const HostMessage& m : frame.journal)
        handles.insert(m.lParam);
    EXPECT_EQ(handles.size(), 5u);
}

TEST_F(Dispatch, LongestScriptNameFitsTheChannel) {
    std::string name(255, 'n');
    name += ".scr";
    ConfigureTables({}, {{"long", name}});
    Attach();
    Pick(300);
    ASSERT_EQ(frame.journal.size(), 1u);
    EXPECT_EQ(frame.journal[0].wParam, 259u);
    EXPECT_EQ(frame.journal[0].text, name);
}

TEST_F(Dispatch, TargetsAreReadFromMemoryNotFromTheRegistryAtPickTime) {
    ConfigureTables({{"p", recorder + " before"}}, {{"s", "before.scr"}});
    Attach();
    SetString(kFileKey, "Command00", recorder + " after");
    SetString(kScriptKey, "ScriptFile00", "after.scr");
    Pick(300);
    ASSERT_EQ(frame.journal.size(), 1u);
    EXPECT_EQ(frame.journal[0].text, "before.scr");
    Pick(200);
    auto lines = WaitForStarts(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], Started("before"));
}

} // namespace
