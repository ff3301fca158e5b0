// Stands in for a program the add-on starts: appends its arguments and current folder to the
// file named by QX_RECORDER_LOG, one line per start, fields separated by '|'.
#include <windows.h>

#include <cstdio>
#include <share.h>

int main(int argc, char** argv) {
    char log[MAX_PATH];
    if (!GetEnvironmentVariableA("QX_RECORDER_LOG", log, sizeof(log)))
        return 1;
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(folder), folder);
    // Several starts may finish at once: retry until the file is ours alone.
    FILE* f = nullptr;
    for (int i = 0; i < 200 && !f; ++i) {
        f = _fsopen(log, "ab", _SH_DENYRW);
        if (!f)
            Sleep(10);
    }
    if (!f)
        return 2;
    std::fprintf(f, "argc=%d|cwd=%s", argc, folder);
    for (int i = 1; i < argc; ++i)
        std::fprintf(f, "|%s", argv[i]);
    std::fprintf(f, "\n");
    std::fclose(f);
    return 0;
}
