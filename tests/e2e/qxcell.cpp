// qxcell: one fresh process for the reliability tests. It attaches the add-on under a
// recording frame, optionally picks every item, and writes what the terminal saw to a report
// (see cell.h). A crash is written to the report instead of bringing up a debugger.
//   qxcell --report <file> [--pick]
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "cell.h"
#include "harness.h"

using namespace qx;

namespace {

FILE* report = nullptr;

void Report(const std::string& line) {
    std::fprintf(report, "%s\n", line.c_str());
    std::fflush(report);
}

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    char line[64];
    std::snprintf(line, sizeof(line), "CRASH 0x%08lx",
                  static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
    Report(line);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Reports the frame's messages that arrived since the last call.
void ReportNewMessages(const TestFrame& frame, size_t& reported, HWND launcher) {
    for (; reported < frame.journal.size(); ++reported)
        if (frame.journal[reported].message != HM_ISONLINE)
            Report(ReportLine(frame.journal[reported], launcher));
}

bool IsPropertySheet(HWND window) {
    return FindWindowExA(window, NULL, "SysTabControl32", NULL) != NULL;
}

// The settings item. Whatever dialog it brings up is reported and confirmed by a second thread:
// a sheet with OK (with Cancel if OK is refused), a message box with its default button.
void PickSettings(HWND launcher) {
    std::atomic<bool> done{false};
    std::thread driver([&done] {
        HWND lastSheet = NULL;
        while (!done) {
            HWND dialog = WaitForDialog(50);
            if (!dialog)
                continue;
            char caption[256] = "";
            GetWindowTextA(dialog, caption, sizeof(caption));
            bool sheet = IsPropertySheet(dialog);
            Report(std::string("DIALOG ") + (sheet ? "sheet " : "box ") + Escape(caption));
            if (!sheet)
                PressButton(dialog, IDOK);
            else if (dialog != lastSheet)
                PostMessageA(dialog, WM_USER + 112 /* PSM_PRESSBUTTON */, 1 /* PSBTN_OK */, 0);
            else
                PostMessageA(dialog, WM_USER + 112, 3 /* PSBTN_CANCEL */, 0);
            lastSheet = sheet ? dialog : lastSheet;
            while (!done && IsWindow(dialog) && IsWindowVisible(dialog))
                Sleep(20);
        }
    });
    SendMessageA(launcher, WM_COMMAND, 100, 0);
    done = true;
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

    TestFrame frame;
    frame.closeReceived = true; // as the terminal does
    HMODULE addon = LoadAddon();
    Report(addon ? "LOADED 1" : "LOADED 0");
    HWND launcher = FindLauncherWindow(frame.hwnd());
    size_t reported = 0;
    ReportNewMessages(frame, reported, launcher);
    if (addon && pick && launcher) {
        const int ids[] = {200, 201, 202, 203, 204, 300, 301, 302, 303, 304};
        for (int id : ids) {
            // qxnoop writes this tag, so a started program is traced to the pick that started it.
            SetEnvironmentVariableA("QX_NOOP_TAG", std::to_string(id).c_str());
            Report("PICK " + std::to_string(id));
            SendMessageA(launcher, WM_COMMAND, id, 0);
            ReportNewMessages(frame, reported, launcher);
        }
        Report("PICK 100");
        PickSettings(launcher);
        ReportNewMessages(frame, reported, launcher);
    }
    Report("DONE");
    std::fclose(report);
    return 0;
}
