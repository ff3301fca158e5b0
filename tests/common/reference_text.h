// Plain std::string models of what the add-on does to outside text, written for clarity
// rather than speed: the fuzz targets and the Wine tests compare the add-on with them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace reference {

// A code page's double-byte rule, written out from its published table: the bytes that start a
// double-byte character, and those that can follow one in a well-formed character.
struct CodePage {
    unsigned number;
    bool (*lead)(unsigned char c);
    bool (*trail)(unsigned char c);
};
inline bool Lead932(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
inline bool Trail932(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }
inline bool Lead936(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
inline bool Trail936(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }
inline bool NoByte(unsigned char) { return false; }
// Japanese, Western (single-byte), Simplified Chinese: 936 takes 0xFD, 0xFE and the 932
// half-width katakana 0xA1..0xDF for lead bytes.
constexpr CodePage kCp932{932, Lead932, Trail932};
constexpr CodePage kCp1252{1252, NoByte, NoByte};
constexpr CodePage kCp936{936, Lead936, Trail936};
constexpr CodePage kCodePages[] = {kCp932, kCp1252, kCp936};

// What a field of `capacity` bytes (the NUL included) keeps of raw data: the characters before
// the first NUL, whole ones only, at most capacity - 1 bytes.
inline std::string FitToField(const std::string& data, size_t capacity, const CodePage& cp = kCp932) {
    std::string kept;
    size_t at = 0;
    while (at < data.size() && data[at] != '\0') {
        size_t width = cp.lead(static_cast<unsigned char>(data[at])) ? 2 : 1;
        bool whole = at + width <= data.size() && (width == 1 || data[at + 1] != '\0');
        if (!whole || kept.size() + width > capacity - 1)
            break;
        kept += data.substr(at, width);
        at += width;
    }
    return kept;
}

// True when the text is a run of whole, well-formed characters.
inline bool IsWellFormed(const std::string& text, const CodePage& cp = kCp932) {
    for (size_t at = 0; at < text.size(); ++at) {
        if (!cp.lead(static_cast<unsigned char>(text[at])))
            continue;
        if (at + 1 >= text.size() || !cp.trail(static_cast<unsigned char>(text[at + 1])))
            return false;
        ++at;
    }
    return true;
}

// True when the last byte of the text is a lead byte left without its second byte.
inline bool EndsInsideCharacter(const std::string& text, const CodePage& cp = kCp932) {
    size_t at = 0;
    while (at < text.size())
        at += cp.lead(static_cast<unsigned char>(text[at])) ? 2 : 1;
    return at != text.size();
}

// The split of a stored command line (already fitted to its field) into program and
// parameters: a leading quote runs to the next one, otherwise the first space ends the
// program; the spaces between program and parameters are dropped, nothing else is.
inline std::pair<std::string, std::string> SplitLine(const std::string& line) {
    const auto rest = [&line](size_t from) {
        size_t start = line.find_first_not_of(' ', from);
        return start == std::string::npos ? std::string() : line.substr(start);
    };
    if (!line.empty() && line[0] == '"') {
        size_t close = line.find('"', 1);
        if (close == std::string::npos)
            return {line.substr(1), ""};
        return {line.substr(1, close - 1), rest(close + 1)};
    }
    size_t space = line.find(' ');
    if (space == std::string::npos)
        return {line, ""};
    return {line.substr(0, space), rest(space)};
}

// What a stored "Count" loads as: a 4-byte REG_DWORD (type 4) read and brought into 0..5,
// anything else 0.
inline int LoadedCount(bool found, uint32_t type, const std::string& data) {
    if (!found || type != 4 || data.size() != 4)
        return 0;
    int32_t stored;
    std::memcpy(&stored, data.data(), 4);
    return stored < 0 ? 0 : stored > 5 ? 5 : stored;
}

// True when the value's text (its bytes before the first NUL) does not fit a field of
// `capacity` bytes with its NUL.
inline bool Overlong(const std::string& data, size_t capacity) {
    return data.substr(0, data.find('\0')).size() > capacity - 1;
}

// What a stored text loads as: values that do not fit the add-on's 1024-byte read buffer, and
// values that are missing, load empty; a text longer than its field loads empty when it is a
// target (`dropOverlong`), cut to the field when it is a title; the rest is fitted to the field.
inline std::string LoadedText(bool found, const std::string& data, size_t capacity,
                              bool dropOverlong = false) {
    if (!found || data.size() > 1024 || (dropOverlong && Overlong(data, capacity)))
        return std::string();
    return FitToField(data, capacity);
}

} // namespace reference
