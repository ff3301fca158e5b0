// qxcell: one fresh process for the reliability tests. It attaches the add-on under a
// recording frame, optionally picks every item (the settings item last: the sheet is confirmed
// after a look at both pages), and writes what the terminal saw and every dialog to a report
// (see cell.h). A crash is written to the report instead of bringing up a debugger.
//   qxcell --report <file> [--pick]
#include <windows.h>
#include <prsht.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "../../tools/qxhost/addon_crash.h"
#include "cell.h"
#include "harness.h"

using namespace qx;

namespace {

FILE* report = nullptr;
std::mutex reportLock; // the main thread reports messages, the driver thread dialogs

void Report(const std::string& line) {
    std::lock_guard<std::mutex> hold(reportLock);
    std::fprintf(report, "%s\n", line.c_str());
    std::fflush(report);
}

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    Report(CrashLine(info));
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Every step of the driver waits at most this long; a cell never waits on a window for ever.
constexpr DWORD kStepMs = 5000;

// A message box or the sheet's refusal: its text is reported, then it is answered with OK.
void AnswerBox(HWND box) {
    Report("BOX " + Escape(ReadMessageBox(box).text));
    PressButton(box, IDOK);
    if (!WaitUntil([box] { return !IsWindow(box); }, kStepMs))
        Report("STUCK box stays");
}

// Waits until `reached` holds or a box appears over the sheet; a box is answered.
// Returns true when `reached` held.
bool AdvanceSheet(HWND sheet, const std::function<bool()>& reached) {
    HWND box = NULL;
    bool settled = WaitUntil([&] { return reached() || (box = WaitForOwnedDialog(sheet, 0)) != NULL; }, kStepMs);
    if (box) {
        AnswerBox(box);
        return false;
    }
    if (!settled)
        Report("STUCK sheet");
    return settled;
}

HWND ScriptPageOf(HWND sheet) {
    HWND page = CurrentPage(sheet);
    return page && GetDlgItem(page, 1010) ? page : NULL;
}

// The script page's lists: the number of names in each row's combo box.
void ReportScriptLists(HWND page) {
    std::string line = "PAGE script lists=";
    for (int row = 0; row < 5; ++row) {
        LRESULT count = SendDlgItemMessageA(page, 1010 + row, CB_GETCOUNT, 0, 0);
        line += (row ? "," : "") + std::to_string(count);
    }
    Report(line);
}

// Works the sheet as a user who looks at both pages and confirms: the script page is selected
// (so it lists the terminal's script folder and takes part in OK), then OK. A page that refuses
// to be left shows a box; the box is answered and the sheet cancelled.
void ConfirmSheet(HWND sheet) {
    Report("DIALOG sheet " + Escape(WindowText(sheet)));
    PostSheetPage(sheet, 1);
    bool onScriptPage = AdvanceSheet(sheet, [sheet] { return ScriptPageOf(sheet) != NULL; });
    if (onScriptPage) {
        ReportScriptLists(ScriptPageOf(sheet));
        PostSheetButton(sheet, PSBTN_OK);
        if (AdvanceSheet(sheet, [sheet] { return !IsWindow(sheet); }))
            return;
    }
    PostSheetButton(sheet, PSBTN_CANCEL);
    if (!WaitUntil([sheet] { return !IsWindow(sheet); }, kStepMs))
        Report("STUCK sheet stays after cancel");
}

// The settings item: a second thread confirms the sheet it opens, then answers a box that
// follows the sheet (or comes instead of it). Every wait is bounded; whatever is still open
// when the driver gives up is closed, so the pick always returns.
void PickSettings(HWND launcher) {
    std::atomic<bool> returned{false};
    std::thread driver([&returned] {
        HWND first = NULL;
        WaitUntil([&] { return returned || (first = WaitForDialog(0)) != NULL; }, kStepMs);
        if (first && FindWindowExA(first, NULL, "SysTabControl32", NULL))
            ConfirmSheet(first);
        else if (first)
            AnswerBox(first);
        HWND box = NULL;
        WaitUntil([&] { return returned || (box = WaitForDialog(0)) != NULL; }, kStepMs);
        if (box)
            AnswerBox(box);
        while (!returned) {
            if (!WaitUntil([&] { return returned.load(); }, kStepMs)) {
                Report("STUCK pick");
                CloseAllDialogs();
            }
        }
    });
    SendMessageA(launcher, WM_COMMAND, 100, 0);
    returned = true;
    driver.join();
}

} // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(ReportCrash);
    std::string reportPath;
    bool pick = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--report") == 0 && i + 1 < argc)
            reportPath = argv[++i];
        else if (std::strcmp(argv[i], "--pick") == 0)
            pick = true;
    }
    report = std::fopen(reportPath.c_str(), "wb");
    if (!report)
        return 2;

    TestFrame frame(true); // it closes the handles it receives, as the terminal does
    // Messages are reported as they arrive, so that they fall in order with the dialogs.
    std::vector<std::string> attachLines;
    bool attached = false;
    HWND launcher = NULL;
    frame.onMessage = [&](const HostMessage& message) {
        if (!launcher)
            launcher = FindLauncherWindow(frame.hwnd());
        std::string line = ReportLine(message, launcher);
        if (attached)
            Report(line);
        else
            attachLines.push_back(line); // written after the load's own line
    };
    HMODULE addon = LoadAddon();
    attached = true;
    Report(addon ? "LOADED 1" : "LOADED 0");
    for (const std::string& line : attachLines)
        Report(line);
    launcher = FindLauncherWindow(frame.hwnd());
    if (addon && pick && launcher) {
        for (int id : {200, 201, 202, 203, 204, 300, 301, 302, 303, 304}) {
            // qxnoop writes this tag, so a started program is traced to the pick that started it.
            SetEnvironmentVariableA("QX_NOOP_TAG", std::to_string(id).c_str());
            Report("PICK " + std::to_string(id));
            SendMessageA(launcher, WM_COMMAND, id, 0);
        }
        Report("PICK 100");
        PickSettings(launcher);
    }
    Report("DONE");
    std::fclose(report);
    return 0;
}
