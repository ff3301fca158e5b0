// A Western Windows (code page 1252), where é, ü and ™ are letters of one byte that code page
// 932 takes for lead bytes: texts ending in them reach terminal, shell and registry whole.
#include "cell.h"
#include "settings_session.h"

using namespace qx;

namespace {

const bool western = (expectedCodePage = 1252, true);

struct Western : SettingsSession {
    const std::string resume = std::string(73, '.') + "R\xE9sum\xE9", menu = std::string(75, '.') + "Men\xFC";
    std::string Opened(const char* program, const char* params) const {
        return ShellCall(frame.hwnd(), "open", program, params, ".", SW_SHOWNORMAL);
    }
};

TEST_F(Western, LoadedTitlesCommandLinesAndScriptNamesStayWhole) {
    ConfigureTables({{resume, "notepad C:\\caf\xE9"}}, {{"Quolix\x99", "r\xE9sum\xE9"}});
    Load();
    std::vector<std::string> lines{"LOADED 1"};
    for (const HostMessage& m : Sent())
        lines.push_back(ReportLine(m, launcher));
    EXPECT_EQ(lines, ExpectedAttach({resume}, {"Quolix\x99"}));
    HookLateCalls();
    late.startNothing = true;
    Pick(200);
    frame.journal.clear();
    Pick(300);
    EXPECT_EQ(late.shellCalls, std::vector<std::string>{Opened("notepad", "C:\\caf\xE9")});
    EXPECT_EQ(Describe(Sent()), Line(HM_RUNSCRIPT, 6, "r\xE9sum\xE9"));
}

TEST_F(Western, TypedTextsAreStoredAppendedAndStartedWhole) {
    Attach({{"One", "one.exe"}}, {});
    HookLateCalls();
    late.startNothing = true;
    EditAndConfirm([&](HWND page) { SetRow(page, 1, menu, "wordpad C:\\Quolix\x99"); });
    EXPECT_EQ(Describe(Sent()), Line(HM_SETITEMID, 201) + Line(HM_ADDFILEITEM, L(), menu));
    ExpectStoredTables({{"One", "one.exe"}, {menu, "wordpad C:\\Quolix\x99"}}, {});
    Pick(201);
    EXPECT_EQ(late.shellCalls, std::vector<std::string>{Opened("wordpad", "C:\\Quolix\x99")});
}

} // namespace
