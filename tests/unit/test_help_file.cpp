// The built QXLAUNCH.HLP read back by a reader of its own, written from the file format's
// public description: the internal files, the contents topic, the topic stream read in
// sequence, each topic's text against the source, and where every jump leads. The built
// QXLAUNCH.CHM read back by libchm's extract_chmLib against what that reader found.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cp932.h"

namespace {

std::string ReadAll(const char* path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

uint32_t U16(const std::string& b, size_t at) {
    return uint8_t(b.at(at)) | uint8_t(b.at(at + 1)) << 8;
}
uint32_t U32(const std::string& b, size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

std::string Utf8(const std::string& cp932) { return Convert(cp932, "UTF-8", "CP932"); }

// A topic's name as the viewer hashes it to find the topic.
uint32_t Hash(const std::string& name) {
    uint32_t hash = 0;
    for (char c : name)
        hash = hash * 43 + (std::isalpha(c) ? std::toupper(c) - 'A' + 17 : c == '0' ? 10
                            : std::isdigit(c) ? c - '0' : c == '.' ? 12 : 13);
    return hash;
}

// The names of the pages (*.htm) in a folder.
std::vector<std::string> PagesIn(const std::string& folder) {
    std::vector<std::string> pages;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".htm")
            pages.push_back(entry.path().filename().string());
    return pages;
}

// The entries of a B+ tree of one page at `at`; `entry` returns the size of each.
template <class Entry> void WalkLeaf(const std::string& f, size_t at, Entry entry) {
    ASSERT_EQ(U16(f, at), 0x293Bu);
    ASSERT_EQ(U16(f, at + 32), 1u) << "a tree of more than one level";
    size_t page = at + 38 + U16(f, at + 26) * U16(f, at + 4);
    for (size_t n = U16(f, page + 2), p = page + 8; n > 0; --n)
        p += entry(p);
}

// What a viewer finds in the built file, by topic offset.
struct HelpRead {
    std::string system;                          // the |SYSTEM file
    std::map<uint32_t, std::string> records;     // its records by type
    std::map<uint32_t, uint32_t> contexts;       // hash -> topic offset
    std::map<uint32_t, std::string> titles, texts;
    std::map<uint32_t, std::vector<uint32_t>> jumps; // the hashes each topic jumps to
};

// Reads the built file; a structure that a viewer would not read as this one does fails the
// calling test.
void ReadHelpFile(HelpRead& read) {
    std::string f = ReadAll(QX_HELP_FILE);
    ASSERT_EQ(U32(f, 0), 0x00035F3Fu) << QX_HELP_FILE;
    std::map<std::string, std::string> files; // the used bytes of each internal file
    WalkLeaf(f, U32(f, 4) + 9, [&](size_t p) {
        std::string name = f.c_str() + p;
        size_t header = U32(f, p + name.size() + 1); // of the internal file: sizes and flags
        files[name] = f.substr(header + 9, U32(f, header + 4));
        return name.size() + 5;
    });
    for (const char* name : {"|SYSTEM", "|FONT", "|TOPIC", "|CONTEXT"})
        ASSERT_EQ(files.count(name), 1u) << name;
    const std::string& system = read.system = files["|SYSTEM"];
    std::map<uint32_t, std::string>& records = read.records;
    for (size_t p = 12; p + 4 <= system.size(); p += 4 + U16(system, p + 2))
        records[U16(system, p)] = system.substr(p + 4, U16(system, p + 2));
    EXPECT_EQ(uint8_t(records[11].at(0)), 128) << "the text's character set is not Shift_JIS";
    std::map<uint32_t, uint32_t>& contexts = read.contexts;
    std::string tree = files["|CONTEXT"];
    WalkLeaf(tree, 0, [&](size_t p) -> size_t {
        contexts[U32(tree, p)] = U32(tree, p + 4);
        return 8;
    });

    // Topic links in uncompressed 4 KB blocks of 12 header bytes and 4084 data bytes, the data
    // one stream: a link runs on into the next block, only its 21-byte header starts where it
    // fits. Read in sequence, as a viewer that ignores the link pointers would, each link must
    // be where the one before points, and each block's header must name the links around its
    // start. A topic's offset counts the text bytes before it in its block.
    const std::string& blocks = files["|TOPIC"];
    std::string data;
    for (size_t b = 0; b < blocks.size(); b += 4096)
        data += blocks.substr(b + 12, 4084);
    std::map<uint32_t, std::string>&titles = read.titles, &texts = read.texts;
    std::map<uint32_t, std::vector<uint32_t>>& jumps = read.jumps;
    std::vector<std::pair<uint32_t, uint32_t>> headers; // a topic record's place, its next topic
    uint32_t topic = 0, block = ~0u, chars = 0, next = 12, last = ~0u, lastTopic = ~0u;
    for (size_t at = 0; at + 21 <= data.size() && U32(data, at) != 0;) {
        uint32_t pos = uint32_t(at / 4084 * 0x4000 + 12 + at % 4084);
        ASSERT_EQ(pos, next) << "the links in sequence are not the links in their order";
        if (at / 4084 != block) {
            block = uint32_t(at / 4084), chars = 0;
            EXPECT_EQ(U32(blocks, block * 4096), last) << block;
            EXPECT_EQ(U32(blocks, block * 4096 + 4), pos) << block;
            EXPECT_EQ(U32(blocks, block * 4096 + 8), lastTopic) << block;
        }
        std::string one = data.substr(at + 21, U32(data, at + 16) - 21);
        std::string two = data.substr(at + U32(data, at + 16), U32(data, at + 4));
        if (data[at + 20] == 0x02) {
            topic = block * 0x8000 + chars;
            titles[topic] = Utf8(two);
            lastTopic = pos;
            headers.emplace_back(pos, U32(one, 24));
        }
        if (data[at + 20] == 0x20) {
            chars += two.size();
            size_t i = one[0] & 1 ? 4 : 2;                 // past the topic size,
            i += (one[i] & 1 ? 2 : 1) + 4;                 // the text length, two bytes, an id
            uint32_t bits = U16(one, i);
            ASSERT_EQ(bits & ~0x7Eu, 0u) << "paragraph attributes this reader does not know";
            for (i += 2; bits; bits &= bits - 1)           // one compressed short for each
                i += one[i] & 1 ? 2 : 1;
            for (; i < one.size() && uint8_t(one[i]) != 0xFF; i += one[i] == char(0x80) ? 3 : 1)
                if (one[i] == char(0xE3)) // a jump; 0x80 sets a font, 0x82 and 0x89 end things
                    jumps[topic].push_back(U32(one, i + 1)), i += 4;
            two.erase(std::remove(two.begin(), two.end(), '\0'), two.end()); // the strings' ends
            texts[topic] += Utf8(two);
        }
        next = U32(data, at + 12), last = pos;
        at += U32(data, at);
        if (4084 - at % 4084 < 21)
            at += 4084 - at % 4084;
    }
    EXPECT_EQ(next, 0xFFFFFFFFu) << "the sequence ends before the last link";
    // The chain ends on an empty topic record, named by the last topic's next-topic field.
    ASSERT_FALSE(headers.empty());
    EXPECT_EQ(headers.back(), std::make_pair(last, 0xFFFFFFFFu)) << "no closing topic record";
    EXPECT_EQ(titles[topic], "") << "the closing topic record has a title";
    titles.erase(topic);
    for (size_t i = 0; i + 1 < headers.size(); ++i)
        EXPECT_EQ(headers[i].second, headers[i + 1].first) << "topic record " << i;
}

TEST(HelpFile, OpensAtItsContentsInJapaneseAndEveryTopicAndJumpIsTheSources) {
    HelpRead read;
    ASSERT_NO_FATAL_FAILURE(ReadHelpFile(read));
    auto &records = read.records, &titles = read.titles, &texts = read.texts;
    auto& contexts = read.contexts;
    auto& jumps = read.jumps;
    const std::string& system = read.system;
    uint32_t topic = 0;
    std::istringstream source(ReadAll(QX_HELP_SOURCE));
    const std::regex link(R"(\[([^\]]+)\]\([^)]*\))"); // [text](topic) shows as its text
    uint32_t contents = 0;
    std::map<uint32_t, std::string> expected; // topic offset -> text
    for (std::string line; std::getline(source, line);) {
        if (line.rfind("@contents ", 0) == 0)
            contents = contexts.at(Hash(line.substr(10)));
        else if (line.rfind("# ", 0) == 0) {
            size_t blank = line.find(' ', 2);
            topic = contexts.at(Hash(line.substr(2, blank - 2))); // throws: no such topic
            EXPECT_EQ(titles[topic], line.substr(blank + 1));
            expected[topic] = line.substr(blank + 1);
        } else if (!line.empty() && line[0] != ';' && line[0] != '@')
            expected[topic] += std::regex_replace(line, link, "$1");
    }
    EXPECT_EQ(U32(records[3], 0), contents) << "Help opens another topic";
    EXPECT_NE(U32(system, 6), 0u) << "no generation date";
    EXPECT_EQ(expected.size(), contexts.size());
    EXPECT_EQ(titles.size(), contexts.size()) << "a topic the source does not have";
    for (const auto& [offset, text] : expected) {
        EXPECT_EQ(texts[offset], text) << titles[offset];
        for (uint32_t jump : jumps[offset])
            EXPECT_TRUE(contexts.count(jump) && titles.count(contexts[jump])) << titles[offset];
    }
    EXPECT_FALSE(jumps[contents].empty());
}

// A page's text as a browser shows it: what stands between its body's tags, its four entities
// back as characters, its line ends (only between elements) dropped.
std::string ShownText(const std::string& page) {
    size_t body = page.find("<body>"), end = page.find("</body>");
    if (body == std::string::npos || end == std::string::npos)
        return "no body";
    const std::string tags = page.substr(body, end - body);
    std::string text = std::regex_replace(tags, std::regex("<[^>]*>|\n"), "");
    for (auto [entity, shown] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}})
        text = std::regex_replace(text, std::regex(entity), shown);
    return text;
}

// Each page of the CHM holds its topic's text exactly as the HLP does and jumps where that
// topic jumps; the tree is the contents topic and its list; the file is Japanese, opens at the
// contents topic and its pages declare Shift_JIS.
TEST(HelpFile, TheChmHasEveryTopicOfTheHlpWithItsTextAndJumps) {
    HelpRead hlp;
    ASSERT_NO_FATAL_FAILURE(ReadHelpFile(hlp));
    const std::string folder = ::testing::TempDir() + "qx-chm";
    const std::string unpack = "rm -rf '" + folder + "' && " QX_EXTRACT_CHMLIB " '" QX_HTML_HELP_FILE
                               "' '" + folder + "' >/dev/null";
    ASSERT_EQ(std::system(unpack.c_str()), 0);
    std::string system = ReadAll((folder + "/#SYSTEM").c_str());
    std::map<uint32_t, std::string> records;
    for (size_t p = 4; p + 4 <= system.size(); p += 4 + U16(system, p + 2))
        records[U16(system, p)] = system.substr(p + 4, U16(system, p + 2));
    ASSERT_EQ(records.count(4), 1u) << "no #SYSTEM in " << folder;
    EXPECT_EQ(U32(records[4], 0), 0x411u) << "not Japanese";
    // The hashes of the pages a text names (a jump's or a contents entry's).
    const auto pages = [](const std::string& text, const char* pattern) {
        std::vector<uint32_t> hashes;
        const std::regex named(std::string(pattern) + "\"([A-Za-z0-9_.]+)\\.htm\"");
        for (std::sregex_iterator i(text.begin(), text.end(), named), end; i != end; ++i)
            hashes.push_back(Hash((*i)[1]));
        return hashes;
    };
    bool treeRead = false;
    for (const auto& [hash, offset] : hlp.contexts) {
        std::string name;
        for (const std::string& page : PagesIn(folder))
            if (Hash(page.substr(0, page.size() - 4)) == hash)
                name = page;
        ASSERT_FALSE(name.empty()) << "no page for " << hlp.titles[offset];
        std::string page = ReadAll((folder + "/" + name).c_str());
        EXPECT_NE(page.find("charset=Shift_JIS"), std::string::npos) << name;
        EXPECT_EQ(Utf8(ShownText(page)), hlp.texts[offset]) << name;
        std::vector<uint32_t> targets = pages(page, "<a href=");
        EXPECT_EQ(targets, hlp.jumps[offset]) << name;
        if (offset == U32(hlp.records[3], 0)) { // the contents topic: the default, and the tree
            EXPECT_EQ(records[2], name + std::string(1, '\0')) << "the default topic";
            targets.insert(targets.begin(), hash); // its own page, then each its list jumps to
            std::string tree = ReadAll((folder + "/" + records[0].c_str()).c_str());
            EXPECT_EQ(pages(tree, "name=\"Local\" value="), targets) << "the contents tree";
            treeRead = true;
        }
    }
    EXPECT_TRUE(treeRead);
    EXPECT_EQ(PagesIn(folder).size(), hlp.contexts.size()) << "a page the HLP has no topic for";
}

} // namespace
