// The built QXLAUNCH.HLP read back by a reader of its own, written from the file format's
// public description: the internal files a viewer needs, the contents topic, each topic's text
// against the source, and where every jump leads.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cctype>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string ReadAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

uint32_t U16(const std::string& b, size_t at) { return uint8_t(b.at(at)) | uint8_t(b.at(at + 1)) << 8; }
uint32_t U32(const std::string& b, size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

std::string Utf8(const std::string& cp932) {
    iconv_t convert = iconv_open("UTF-8", "CP932");
    std::string in = cp932, out(cp932.size() * 2, '\0');
    char *from = in.data(), *to = out.data();
    size_t left = in.size(), room = out.size();
    size_t done = iconv(convert, &from, &left, &to, &room);
    iconv_close(convert);
    return done == size_t(-1) ? "<not CP932>" : out.substr(0, out.size() - room);
}

// A topic's name as the viewer hashes it to find the topic.
uint32_t Hash(const std::string& name) {
    uint32_t hash = 0;
    for (char c : name)
        hash = hash * 43 + (std::isalpha(c) ? std::toupper(c) - 'A' + 17 : c == '0' ? 10
                            : std::isdigit(c) ? c - '0' : c == '.' ? 12 : 13);
    return hash;
}

// Every leaf entry of the B+ tree whose header starts at `at`; `entry` returns its size.
void WalkTree(const std::string& f, size_t at, const std::function<size_t(size_t)>& entry) {
    ASSERT_EQ(U16(f, at), 0x293Bu);
    size_t pageSize = U16(f, at + 4), page = U16(f, at + 26), pages = at + 38;
    for (uint32_t level = U16(f, at + 32); level > 1; --level)
        page = U16(f, pages + page * pageSize + 4); // an index page's first child
    for (; page != 0xFFFF; page = U16(f, pages + page * pageSize + 6)) {
        size_t p = pages + page * pageSize + 8;
        for (uint32_t n = U16(f, pages + page * pageSize + 2); n > 0; --n)
            p += entry(p);
    }
}

struct Topic {
    uint32_t offset;
    std::string title;
    std::vector<std::string> paragraphs; // UTF-8
    std::vector<uint32_t> jumps;         // hashes of the jump targets
    std::vector<uint32_t> browse;        // offsets of the topics before and after it ("<<", ">>")
};

struct Source {
    std::string contents;
    std::vector<std::pair<std::string, Topic>> topics; // by name, title as the first paragraph
};

Source ReadSource() {
    Source source;
    std::istringstream lines(ReadAll(QX_HELP_SOURCE));
    const std::regex link(R"(\[([^\]]+)\]\([^)]*\))");
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("@contents ", 0) == 0)
            source.contents = line.substr(10);
        else if (line.rfind("# ", 0) == 0) {
            size_t blank = line.find(' ', 2);
            std::string title = line.substr(blank + 1);
            source.topics.push_back({line.substr(2, blank - 2), {0, title, {title}, {}, {}}});
        } else if (!line.empty() && line[0] != ';' && line[0] != '@')
            source.topics.back().second.paragraphs.push_back(std::regex_replace(line, link, "$1"));
    }
    return source;
}

class HelpFile : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(U32(f, 0), 0x00035F3Fu) << QX_HELP_FILE;
        WalkTree(f, U32(f, 4) + 9, [&](size_t p) {
            std::string name = f.c_str() + p;
            files[name] = U32(f, p + name.size() + 1) + 9; // past the internal file's header
            return name.size() + 5;
        });
    }
    std::string Internal(const char* name) { // the internal file's used bytes
        size_t at = files.at(name);
        return f.substr(at, U32(f, at - 5));
    }
    std::vector<Topic> ReadTopics();
    std::string f = ReadAll(QX_HELP_FILE);
    std::map<std::string, size_t> files;
};

// Walks the topic links: uncompressed 4 KB blocks of 12 header bytes and 4084 data bytes.
std::vector<Topic> HelpFile::ReadTopics() {
    std::string blocks = Internal("|TOPIC"), data;
    for (size_t b = 0; b < blocks.size(); b += 4096)
        data += blocks.substr(b + 12, 4084);
    std::vector<Topic> topics;
    uint32_t block = 0, chars = 0;
    for (uint32_t pos = 12; pos != 0xFFFFFFFF;) {
        size_t at = ((pos - 12) >> 14) * 4084 + ((pos - 12) & 0x3FFF);
        if ((pos - 12) >> 14 != block)
            block = (pos - 12) >> 14, chars = 0;
        std::string one = data.substr(at + 21, U32(data, at + 16) - 21);
        std::string two = data.substr(at + U32(data, at + 16), U32(data, at + 4));
        if (data[at + 20] == 0x02) {
            topics.push_back({block * 0x8000 + chars, Utf8(two), {}, {}, {U32(one, 4), U32(one, 8)}});
        } else if (data[at + 20] == 0x20) {
            chars += two.size();
            size_t i = one[0] & 1 ? 4 : 2; // past the compressed topic size
            i += (one[i] & 1 ? 2 : 1) + 4;   // and the compressed text length, two bytes, an id
            uint32_t bits = U16(one, i);
            EXPECT_EQ(bits & ~0x7Eu, 0u) << "paragraph attributes this reader does not know";
            for (i += 2; bits & 0x7E; bits &= bits - 1)
                i += one[i] & 1 ? 2 : 1;
            std::string text;
            for (size_t s = 0; i < one.size(); s = two.find('\0', s) + 1) {
                text += two.c_str() + s;
                uint8_t command = one[i];
                if (command == 0xE3)
                    topics.back().jumps.push_back(U32(one, i + 1));
                if (command == 0x82)
                    topics.back().paragraphs.push_back(Utf8(text)), text.clear();
                if (command != 0x80 && command != 0x82 && command != 0x89 && command != 0xE3 &&
                    command != 0xFF) {
                    ADD_FAILURE() << "formatting command " << int(command);
                    return topics;
                }
                i += command == 0x80 ? 3 : command == 0xE3 ? 5 : command == 0xFF ? one.size() : 1;
            }
        }
        pos = U32(data, at + 12);
    }
    return topics;
}

TEST_F(HelpFile, OpensAtItsContentsInJapaneseAndEveryTopicAndJumpIsTheSources) {
    for (const char* name : {"|SYSTEM", "|FONT", "|TOPIC", "|CONTEXT"})
        EXPECT_EQ(files.count(name), 1u) << name;
    std::string system = Internal("|SYSTEM");
    ASSERT_EQ(U16(system, 0), 0x036Cu);
    std::map<uint32_t, std::string> records;
    for (size_t p = 12; p + 4 <= system.size(); p += 4 + U16(system, p + 2))
        records[U16(system, p)] = system.substr(p + 4, U16(system, p + 2));
    ASSERT_EQ(records.count(3), 1u) << "no contents record";
    EXPECT_EQ(uint8_t(records[11].at(0)), 128) << "the text's character set is not Shift_JIS";
    std::string font = Internal("|FONT");
    EXPECT_EQ(Utf8(font.c_str() + U16(font, 4)), "ＭＳ ゴシック");

    std::map<uint32_t, uint32_t> contexts; // hash -> topic offset
    WalkTree(f, files.at("|CONTEXT"), [&](size_t p) {
        contexts[U32(f, p)] = U32(f, p + 4);
        return 8;
    });
    std::map<uint32_t, Topic> byOffset;
    for (const Topic& topic : ReadTopics())
        byOffset[topic.offset] = topic;
    Source source = ReadSource();
    ASSERT_EQ(source.topics.size(), contexts.size());
    uint32_t contents = contexts[Hash(source.contents)];
    EXPECT_EQ(U32(records[3], 0), contents);
    for (const auto& [name, expected] : source.topics) {
        ASSERT_EQ(contexts.count(Hash(name)), 1u) << name;
        const Topic& topic = byOffset[contexts[Hash(name)]];
        EXPECT_EQ(topic.title, expected.title) << name;
        EXPECT_EQ(topic.paragraphs, expected.paragraphs) << name;
        bool leadsBack = contexts[Hash(name)] == contents;
        for (uint32_t jump : topic.jumps) {
            EXPECT_EQ(byOffset.count(contexts.count(jump) ? contexts[jump] : 0xFFFFFFFF), 1u) << name;
            leadsBack = leadsBack || contexts[jump] == contents;
        }
        EXPECT_TRUE(leadsBack) << name << " has no jump back to the contents";
        for (uint32_t step : topic.browse)
            EXPECT_TRUE(step == 0xFFFFFFFF || byOffset.count(step)) << name << " browses nowhere";
    }
    EXPECT_FALSE(byOffset[contents].jumps.empty());
}

} // namespace
