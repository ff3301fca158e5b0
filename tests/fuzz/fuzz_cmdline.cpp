// Fuzz target: any bytes as a stored 260-byte command line, terminated or not. The split must
// stay inside its buffers, terminate both parts, agree with the reference split of the fitted
// line, and never cut a well-formed double-byte character, under each code page's rule.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hostlink/cmdline.h"
#include "reference_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exactly-sized heap field lets the address sanitizer catch any read past it.
    char* field = static_cast<char*>(std::malloc(260));
    std::memset(field, 0, 260);
    std::memcpy(field, data, size < 260 ? size : 260);
    for (const reference::CodePage& cp : reference::kCodePages) {
        char program[260], params[260];
        std::memset(program, 'X', sizeof(program));
        std::memset(params, 'X', sizeof(params));
        SplitCommandLine(field, program, params, cp.lead);
        if (strnlen(program, sizeof(program)) == sizeof(program) ||
            strnlen(params, sizeof(params)) == sizeof(params))
            std::abort(); // not terminated inside its buffer

        const std::string line = reference::FitToField(std::string(field, 260), 260, cp);
        const auto expected = reference::SplitLine(line);
        // The reference split, nothing added, and no character cut that the line had whole.
        if (expected.first != program || expected.second != params ||
            expected.first.size() + expected.second.size() > line.size() ||
            (reference::IsWellFormed(line, cp) &&
             !(reference::IsWellFormed(program, cp) && reference::IsWellFormed(params, cp))))
            std::abort();
    }
    std::free(field);
    return 0;
}
