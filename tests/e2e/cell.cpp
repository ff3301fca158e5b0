// Cells: see cell.h.
#include "cell.h"

#include <cstdio>

#include "processes.h"
#include "settings_texts.h"

namespace qx {

std::string Escape(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

std::string ReportLine(UINT message, const std::string& wParam, bool handle, const std::string* text) {
    std::string line = std::string(MessageName(message)) + " " + wParam + (handle ? " H" : " 0");
    if (text)
        line += " len=" + std::to_string(text->size()) + " text=" + Escape(*text);
    return line;
}

std::string ReportLine(const HostMessage& message, HWND launcher) {
    std::string wParam = reinterpret_cast<HWND>(message.wParam) == launcher && launcher
                             ? std::string("L")
                             : std::to_string(message.wParam);
    bool carriesText = message.lParam != 0 && message.message != HM_SETITEMID &&
                       message.message != HM_ISONLINE;
    return ReportLine(message.message, wParam, message.lParam != 0,
                      carriesText ? &message.text : nullptr);
}

std::vector<std::string> ExpectedAttach(const std::vector<std::string>& programTitles,
                                        const std::vector<std::string>& scriptTitles) {
    std::vector<std::string> lines{"LOADED 1"};
    const auto group = [&lines](UINT message, int firstId, const std::vector<std::string>& titles) {
        if (titles.empty())
            return;
        lines.push_back(ReportLine(message, "L", false, nullptr));
        for (size_t i = 0; i < titles.size(); ++i) {
            lines.push_back(ReportLine(HM_SETITEMID, std::to_string(firstId + i), false, nullptr));
            lines.push_back(ReportLine(message, "L", true, &titles[i]));
        }
    };
    group(HM_ADDFILEITEM, 200, programTitles);
    group(HM_ADDSCRIPTITEM, 300, scriptTitles);
    lines.push_back(ReportLine(HM_SETITEMID, "100", false, nullptr));
    lines.push_back(ReportLine(HM_ADDSETTINGSITEM, "L", true, &kSettingsItem));
    return lines;
}

CellRun RunCell(const std::string& arguments, DWORD timeoutMs) {
    CellRun run;
    TestFolder folder("qx-cell");
    std::string report = folder / "report.txt", noopDir = folder / "started";
    MakeEntries(folder.path(), {"started\\"});
    SetEnvironmentVariableA("QX_NOOP_DIR", noopDir.c_str());
    {
        JobProcess cell;
        std::string command = "\"" + ExeDirectory() + "qxcell.exe\" --report \"" + report + "\" " + arguments;
        run.started = cell.Start(command, ExeDirectory());
        if (run.started) {
            run.exited = cell.WaitForExit(timeoutMs);
            run.exitCode = cell.ExitCode();
            cell.WaitForActiveAtMost(0, 10000);
            run.strays = cell.EndAll();
        }
    }
    SetEnvironmentVariableA("QX_NOOP_DIR", NULL);
    run.report = ReadLines(report);
    for (const std::string& name : Search(noopDir + "\\*")) {
        std::vector<std::string> record = ReadLines(noopDir + "\\" + name);
        if (!record.empty())
            run.launches[record[0]].push_back(record.size() > 1 ? record[1] : std::string());
    }
    return run;
}

} // namespace qx
