// Menu picks: programs start through the shell with the split command line, scripts go to the
// terminal through the channel, and every other id does nothing at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "harness.h"
#include "processes.h"

#include <shellapi.h>

using namespace qx;

namespace {

// The shell call as the add-on makes it, seen in this process: the add-on looks ShellExecuteA up
// at its first program pick and gets the harness's recorder (HookLateCalls).
class Dispatch : public AddonTest {
  protected:
    void SetUp() override {
        AddonTest::SetUp();
        // The shell starts programs in "." : our current folder.
        MakeEntries(folder.path(), {"cwd\\"});
        ASSERT_TRUE(SetCurrentDirectoryA((folder / "cwd").c_str()));
    }

    std::string Started(const std::string& args) {
        return args.empty() ? "argc=1|cwd=" + CurrentFolder()
                            : "argc=" + std::to_string(2 + std::count(args.begin(), args.end(), '|')) +
                                  "|cwd=" + CurrentFolder() + "|" + args;
    }

    RecorderLog recorded;
    std::string recorder = recorded.program();
    TestFolder folder{"qx dispatch"};
};

// A terminal whose frame lives on another thread is let go before the shell is asked: its
// SendMessage is back while the shell call, which waits for it, is still under way.
TEST_F(Dispatch, APickFromAnotherThreadReturnsBeforeTheShellCallEnds) {
    Attach({{"Slow", "slow.exe"}}, {});
    HookLateCalls();
    late.startNothing = true;
    std::atomic<bool> returned{false};
    late.duringShell = [&] { EXPECT_TRUE(WaitUntil([&] { return returned.load(); })) << "the sender waits for the shell"; };
    CommandFromAnotherThread(launcher, 200, returned, [&] { return !late.shellCalls.empty(); });
    late.duringShell = nullptr;
    EXPECT_EQ(late.shellCalls.size(), 1u);
}

TEST_F(Dispatch, ProgramItemsStartTheirSplitCommandLinesInTheCurrentFolder) {
    MakeEntries(folder.path(), {"bin\\"});
    std::string quoted = folder / "bin\\rec ord.exe";
    ASSERT_TRUE(CopyFileA(recorder.c_str(), quoted.c_str(), FALSE));
    Attach({{"plain", recorder + "   first"},
            {"quoted", "\"" + quoted + "\"  one two"},
            {"bare", recorder},
            {"quoted alone", "\"" + quoted + "\""},
            {"glued", "\"" + quoted + "\"x"}},
           {});
    HookLateCalls();
    const char* expected[] = {"first", "one|two", "", "", "x"};
    // What the shell is handed: no parameters is a null pointer, never an empty text.
    const std::pair<std::string, const char*> calls[] = {
        {recorder, "first"}, {quoted, "one two"}, {recorder, nullptr}, {quoted, nullptr}, {quoted, "x"}};
    for (int i = 0; i < 5; ++i) {
        recorded.Clear();
        Pick(200 + i);
        EXPECT_EQ(recorded.Starts(), std::vector<std::string>{Started(expected[i])}) << "id " << 200 + i;
        ASSERT_EQ(late.shellCalls.size(), i + 1u) << "the shell call was not seen";
        EXPECT_EQ(late.shellCalls[i], ShellCall(frame.hwnd(), "open", calls[i].first.c_str(), calls[i].second, ".", SW_SHOWNORMAL));
    }
    // Nothing goes to the terminal for a program.
    EXPECT_TRUE(frame.journal.empty());
}

TEST_F(Dispatch, OnlyTheIdsOfExistingEntriesDoAnything) {
    Attach({{"a", recorder + " a"}, {"b", recorder + " b"}, {"c", recorder + " c"}}, {{"s", "s.scr"}});
    for (int id = 0; id <= 65535; ++id) {
        bool item = id == 100 || (id >= 200 && id <= 202) || id == 300;
        if (!item)
            Pick(id);
    }
    EXPECT_TRUE(frame.journal.empty());
    Pick(202); // the last valid pick: a start that must show
    EXPECT_EQ(recorded.Starts(), std::vector<std::string>{Started("c")});
}

TEST_F(Dispatch, ScriptItemsHandTheirNamesToTheTerminal) {
    const std::string soHyou = "\x83\x5c\x95\x5c.scr"; // two double-byte characters, 0x5C trails
    EntryList scripts;
    for (int i = 0; i < 4; ++i)
        scripts.push_back({"Script " + std::to_string(i), "script" + std::to_string(i) + ".scr"});
    scripts.push_back({Sjis("表"), soHyou});
    Attach({}, scripts);
    for (int i = 0; i < 5; ++i)
        Pick(300 + i);
    Pick(305); // past the count
    std::string expected;
    for (const auto& script : scripts)
        expected += Line(HM_RUNSCRIPT, script.second.size(), script.second);
    ASSERT_EQ(Describe(frame.journal), expected);
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
    Attach({}, {{"long", name}});
    Pick(300);
    EXPECT_EQ(Describe(frame.journal), Line(HM_RUNSCRIPT, 259, name));
}

TEST_F(Dispatch, TargetsAreReadFromMemoryNotFromTheRegistryAtPickTime) {
    Attach({{"p", recorder + " before"}}, {{"s", "before.scr"}});
    SetString(kFileKey, "Command00", recorder + " after");
    SetString(kScriptKey, "ScriptFile00", "after.scr");
    Pick(300);
    EXPECT_EQ(Describe(frame.journal), Line(HM_RUNSCRIPT, 10, "before.scr"));
    Pick(200);
    EXPECT_EQ(recorded.Starts(), std::vector<std::string>{Started("before")});
}

} // namespace
