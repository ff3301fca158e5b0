// Fuzz target: any 260 bytes as a stored command line. The split must stay inside its buffers,
// terminate both parts, and never produce more text than it was given.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "hostlink/cmdline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exactly-sized heap field lets the address sanitizer catch any read past it.
    char* field = static_cast<char*>(std::malloc(260));
    std::memset(field, 0, 260);
    std::memcpy(field, data, size < 260 ? size : 260);
    char program[260], params[260];
    SplitCommandLine(field, program, params);
    size_t programLength = strnlen(program, sizeof(program));
    size_t paramsLength = strnlen(params, sizeof(params));
    if (programLength == sizeof(program) || paramsLength == sizeof(params))
        std::abort(); // not terminated inside its buffer
    size_t lineLength = strnlen(field, 260);
    if (programLength + (paramsLength ? 1 : 0) + paramsLength > lineLength)
        std::abort();
    // The program is a run of the line's own bytes.
    const char* from = field[0] == '"' ? field + 1 : field;
    if (std::memcmp(program, from, programLength) != 0)
        std::abort();
    // Parameters are a tail of the line and never begin with the separator.
    if (paramsLength && params[0] == ' ')
        std::abort();
    std::free(field);
    return 0;
}
