// Text between UTF-8 and code page 932 by the host's iconv, which owes nothing to the add-on.
#pragma once
#include <iconv.h>

#include <string>

inline std::string Convert(std::string text, const char* to, const char* from) {
    std::string out(text.size() * 2, '\0');
    char *in = text.data(), *at = out.data();
    size_t left = text.size(), room = out.size();
    iconv_t convert = iconv_open(to, from);
    bool ok = iconv(convert, &in, &left, &at, &room) != size_t(-1);
    iconv_close(convert);
    return ok ? out.substr(0, out.size() - room) : "<not " + std::string(from) + ">";
}
