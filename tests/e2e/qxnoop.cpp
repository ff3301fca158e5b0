// qxnoop: the program that the reliability tests start through the add-on's program items. It
// does nothing, except that when QX_NOOP_DIR names a folder it writes its tag (QX_NOOP_TAG, set
// by whoever picked the item) and its command line to a file of its own there.
#include <windows.h>

int main() {
    char folder[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("QX_NOOP_DIR", folder, sizeof(folder));
    if (n == 0 || n >= sizeof(folder))
        return 0;
    char tag[32] = "";
    GetEnvironmentVariableA("QX_NOOP_TAG", tag, sizeof(tag));
    char path[MAX_PATH + 32];
    // Process ids come back over a long run: every start gets a file of its own, never an
    // earlier one's.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (unsigned n = 0; file == INVALID_HANDLE_VALUE; ++n) {
        wsprintfA(path, "%s\\%lu-%u.txt", folder, GetCurrentProcessId(), n);
        file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return 1;
    }
    const char* line = GetCommandLineA();
    DWORD written;
    WriteFile(file, tag, lstrlenA(tag), &written, NULL);
    WriteFile(file, "\n", 1, &written, NULL);
    WriteFile(file, line, lstrlenA(line), &written, NULL);
    CloseHandle(file);
    return 0;
}
