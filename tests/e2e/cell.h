// A cell: the add-on attached in a fresh process (tests/e2e/qxcell.cpp) under a recording
// frame, every item picked, and a report of what the terminal saw. The add-on pins itself in
// the process that loaded it, so every attach that a test wants to see needs a process of its own.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "harness.h"

namespace qx {

// One report line per private message, the same for what a cell saw and what a test expects:
// "<name> <wParam> <0|H>" and for texts " len=<bytes> text=<escaped bytes>". The launcher
// window as wParam is written "L".
std::string ReportLine(UINT message, const std::string& wParam, bool handle, const std::string* text);
std::string ReportLine(const HostMessage& message, HWND launcher);
// Bytes as printable ASCII, everything else (and the backslash) as \xNN.
std::string Escape(const std::string& bytes);

// The report lines of an attach that registers these titles: "LOADED 1", the program group,
// the script group, then the settings item.
std::vector<std::string> ExpectedAttach(const std::vector<std::string>& programTitles,
                                        const std::vector<std::string>& scriptTitles);

struct CellRun {
    bool started = false;
    bool exited = false;        // within the timeout
    DWORD exitCode = 0;
    DWORD strays = 0;           // processes of the cell's job still running 10 s after it ended
    std::vector<std::string> report;
    // What qxnoop recorded, by the tag of the pick that started it: its command lines.
    std::map<std::string, std::vector<std::string>> launches;
};

// Runs qxcell.exe with the given arguments in a job of its own, in the test program's folder
// (so that "qxnoop.exe" is found there), and collects its report and qxnoop's records.
CellRun RunCell(const std::string& arguments, DWORD timeoutMs = 20000);

} // namespace qx
