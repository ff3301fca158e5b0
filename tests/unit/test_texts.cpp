// The add-on's texts are written as code-page-932 bytes beside their readable form: each byte
// string must be its readable form converted, so a wrong escape cannot reach the image.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cp932.h"

// Every text of the header as (name, readable, bytes), inner NULs kept (the file filter has four).
static std::vector<std::vector<std::string>> texts;
#define QX_TEXT(name, readable, bytes)                                                             \
    [[maybe_unused]] static const size_t name = (texts.push_back({#name,                           \
        std::string(readable, sizeof(readable) - 1), std::string(bytes, sizeof(bytes) - 1)}), 0)
#include "hostlink/texts.h"

TEST(Texts, EachIsItsReadableFormInCodePage932) {
    ASSERT_FALSE(texts.empty());
    for (const auto& text : texts)
        EXPECT_EQ(text[2], Convert(text[1], "CP932", "UTF-8")) << text[0];
}
