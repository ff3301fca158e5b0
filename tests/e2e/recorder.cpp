// qx_recorder: started by the add-on through the shell in tests. Writes its command line and
// current directory to the file named by its first argument.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2)
        return 1;
    char directory[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, directory);
    FILE* out = std::fopen(argv[1], "wb");
    if (!out)
        return 2;
    std::fprintf(out, "%s\n%s\n", GetCommandLineA(), directory);
    std::fclose(out);
    return 0;
}
