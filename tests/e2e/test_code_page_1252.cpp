// The add-on on a Western Windows, code page 1252: é, ü, ™ and kin are letters of one byte that
// code page 932 would take for the start of a double-byte character. Texts ending in them reach
// the terminal, the shell and the registry whole.
#include <gtest/gtest.h>

#include "cell.h"
#include "harness.h"
#include "settings_session.h"

using namespace qx;

namespace {

const bool western = (expectedCodePage = 1252, true);

// A title that fills its field: 79 bytes ending in `end`.
std::string FullTitle(const std::string& end) { return std::string(79 - end.size(), '.') + end; }

class Western : public SettingsSession {
  protected:
    // The shell calls of the picks, recorded and not made.
    void RecordShell() {
        HookLateCalls();
        late.startNothing = true;
    }
    std::string Opened(const char* program, const char* params) const {
        return ShellCall(frame.hwnd(), "open", program, params, ".", SW_SHOWNORMAL);
    }
};

TEST_F(Western, LoadedTextsEndingInAccentedLettersReachTheTerminalAndTheShellWhole) {
    const std::string title = FullTitle("R\xE9sum\xE9"), script = "r\xE9sum\xE9";
    ConfigureTables({{title, "notepad C:\\caf\xE9"}}, {{"Quolix\x99", script}});
    Load();
    std::vector<std::string> lines{"LOADED 1"};
    for (const HostMessage& m : Sent())
        lines.push_back(ReportLine(m, launcher));
    EXPECT_EQ(lines, ExpectedAttach({title}, {"Quolix\x99"}));
    RecordShell();
    Pick(200);
    EXPECT_EQ(late.shellCalls, std::vector<std::string>{Opened("notepad", "C:\\caf\xE9")});
    frame.journal.clear();
    Pick(300);
    EXPECT_EQ(Describe(Sent()), Line(HM_RUNSCRIPT, script.size(), script));
}

TEST_F(Western, TextsTypedOnThePageAreStoredAppendedAndStartedWhole) {
    Attach({{"One", "one.exe"}}, {});
    RecordShell();
    const std::string title = FullTitle("Men\xFC"), command = "wordpad C:\\Notes\\Quolix\x99";
    EXPECT_EQ(EditAndConfirm([&](HWND page) { SetRow(page, 1, title, command); }).after.hwnd, nullptr);
    EXPECT_EQ(Describe(Sent()), Line(HM_SETITEMID, 201) + Line(HM_ADDFILEITEM, L(), title));
    ExpectStoredTables({{"One", "one.exe"}, {title, command}}, {});
    Pick(201);
    EXPECT_EQ(late.shellCalls, std::vector<std::string>{Opened("wordpad", "C:\\Notes\\Quolix\x99")});
}

} // namespace
