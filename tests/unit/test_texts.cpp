// The add-on's texts are written as code-page-932 bytes beside their readable form: each byte
// string must be its readable form converted, so a wrong escape cannot reach the image.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cp932.h"

namespace {
struct Text {
    const char* name;
    std::string readable, bytes;
};
std::vector<Text> texts;
bool Add(const char* name, std::string readable, std::string bytes) {
    texts.push_back({name, readable, bytes});
    return true;
}
} // namespace

// Both forms with their inner NULs (the file dialog's filter holds four).
#define QX_TEXT(name, readable, bytes)                                                             \
    [[maybe_unused]] const bool name = Add(#name, std::string(readable, sizeof(readable) - 1),     \
                                           std::string(bytes, sizeof(bytes) - 1))
#include "hostlink/texts.h"

TEST(Texts, EachIsItsReadableFormInCodePage932) {
    ASSERT_FALSE(texts.empty());
    for (const Text& text : texts)
        EXPECT_EQ(text.bytes, Convert(text.readable, "CP932", "UTF-8")) << text.name;
}
