// Menu commands from the terminal: start a program, hand over a script, or open the settings.
#include "hostlink.h"

#include "../tables/launcher_state.h"
#include "../tables/text_fit.h"
#include "cmdline.h"
#include "late_bound.h"

static void LaunchProgram(const LaunchEntry& entry) {
    char program[kTargetSize];
    char params[kTargetSize];
    SplitCommandLine(entry.target, program, params, IsSystemLeadByte);
    ShellExecuteLate(LauncherState.HostFrame, "open", program, params[0] != '\0' ? params : NULL,
                     ".", SW_SHOWNORMAL);
}

static void RunScript(const LaunchEntry& entry) {
    // The length sent is that of the text the channel really holds, NUL not counted.
    size_t length = FitTextLength(entry.target, kTargetSize, kTargetSize - 1, IsSystemLeadByte);
    SendTextToHost(HM_RUNSCRIPT, static_cast<WPARAM>(length), entry.target, kTargetSize);
}

void DispatchCommand(int id) {
    const LaunchTable& files = LauncherState.FileTable;
    const LaunchTable& scripts = LauncherState.ScriptTable;
    if (id == IDM_SETTINGS)
        RunSettingsSheet();
    else if (IDM_FILE_FIRST <= id && id < IDM_FILE_FIRST + files.count)
        LaunchProgram(files.entries[id - IDM_FILE_FIRST]);
    else if (IDM_SCRIPT_FIRST <= id && id < IDM_SCRIPT_FIRST + scripts.count)
        RunScript(scripts.entries[id - IDM_SCRIPT_FIRST]);
}
