// The two dialog templates as stored in the built add-on, field by field: language, header,
// font, and every control's class, id, style, position, size and text, in tab order.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "harness.h"
#include "settings_texts.h"

using namespace qx;

namespace {

// A name-or-ordinal field of a template: ordinal >= 0, or a text (converted to CP932).
struct NameOrOrdinal {
    int ordinal = -1;
    std::string text;
};

struct Control {
    DWORD style, exStyle;
    int x, y, cx, cy, id;
    NameOrOrdinal cls, text;
    int extraBytes;
};

struct Template {
    DWORD style, exStyle;
    int x, y, cx, cy;
    NameOrOrdinal menu, cls;
    std::string caption;
    int pointSize = 0;
    std::string face;
    std::vector<Control> controls;
};

// Reads a classic (not extended) dialog template.
class TemplateReader {
  public:
    TemplateReader(const BYTE* data, size_t size) : p_(data), end_(data + size) {}
    Template Read() {
        Template t;
        t.style = Dword();
        t.exStyle = Dword();
        int count = Word();
        t.x = Short(), t.y = Short(), t.cx = Short(), t.cy = Short();
        t.menu = NameOrOrd();
        t.cls = NameOrOrd();
        t.caption = Text();
        if (t.style & DS_SETFONT) {
            t.pointSize = Word();
            t.face = Text();
        }
        for (int i = 0; i < count && p_ < end_; ++i) {
            Align(4);
            Control c;
            c.style = Dword();
            c.exStyle = Dword();
            c.x = Short(), c.y = Short(), c.cx = Short(), c.cy = Short();
            c.id = Word();
            c.cls = NameOrOrd();
            c.text = NameOrOrd();
            c.extraBytes = Word();
            p_ += c.extraBytes;
            t.controls.push_back(c);
        }
        return t;
    }

  private:
    WORD Word() {
        WORD w = 0;
        if (p_ + 2 <= end_)
            std::memcpy(&w, p_, 2);
        p_ += 2;
        return w;
    }
    short Short() { return static_cast<short>(Word()); }
    DWORD Dword() {
        DWORD low = Word();
        return low | (static_cast<DWORD>(Word()) << 16);
    }
    void Align(size_t n) {
        while ((reinterpret_cast<UINT_PTR>(p_) % n) != 0)
            ++p_;
    }
    std::string Text() {
        std::wstring wide;
        for (WORD w; p_ < end_ && (w = Word()) != 0;)
            wide.push_back(static_cast<wchar_t>(w));
        char out[512];
        int n = WideCharToMultiByte(932, 0, wide.c_str(), static_cast<int>(wide.size()), out,
                                    sizeof(out), NULL, NULL);
        return std::string(out, n > 0 ? n : 0);
    }
    NameOrOrdinal NameOrOrd() {
        NameOrOrdinal v;
        WORD first = 0;
        std::memcpy(&first, p_, 2);
        if (first == 0xFFFF) {
            p_ += 2;
            v.ordinal = Word();
        } else {
            v.text = Text();
        }
        return v;
    }
    const BYTE* p_;
    const BYTE* end_;
};

constexpr DWORD kPageStyle = 0x90C800C0;
constexpr DWORD kLabel = 0x50020000, kEdit = 0x50810080, kButton = 0x50010000, kCombo = 0x50210042;
constexpr int kStatic = 0x82, kEditClass = 0x81, kButtonClass = 0x80, kComboClass = 0x85;

struct Expected {
    int id, cls;
    DWORD style;
    int x, y, cx, cy;
    std::string text;
};

std::string RowLabel(int row) { return "&" + std::to_string(row + 1) + kTitleLabelTail; }

std::vector<Expected> ProgramPageControls() {
    const int labelY[] = {11, 49, 87, 125, 163}, titleY[] = {9, 47, 85, 123, 161};
    const int commandLabelY[] = {28, 66, 104, 142, 180}, commandY[] = {26, 64, 102, 140, 178};
    const int browseY[] = {23, 61, 99, 137, 176};
    std::vector<Expected> v;
    for (int i = 0; i < 5; ++i) {
        v.push_back({65535, kStatic, kLabel, 7, labelY[i], 45, 8, RowLabel(i)});
        v.push_back({1000 + i, kEditClass, kEdit, 55, titleY[i], 163, 12, ""});
        v.push_back({65535, kStatic, kLabel, 16, commandLabelY[i], 36, 8, kCommandLabel});
        v.push_back({1005 + i, kEditClass, kEdit, 55, commandY[i], 163, 12, ""});
        v.push_back({1015 + i, kButtonClass, kButton, 224, browseY[i], 40, 15, kBrowseLabel});
    }
    return v;
}

std::vector<Expected> ScriptPageControls() {
    const int labelY[] = {11, 49, 87, 125, 163}, titleY[] = {9, 47, 85, 123, 162};
    const int fileLabelY[] = {28, 66, 104, 142, 181}, comboY[] = {26, 64, 102, 140, 178};
    std::vector<Expected> v;
    for (int i = 0; i < 5; ++i) {
        v.push_back({65535, kStatic, kLabel, 7, labelY[i], 45, 8, RowLabel(i)});
        v.push_back({1000 + i, kEditClass, kEdit, 55, titleY[i], 163, 12, ""});
        v.push_back({65535, kStatic, kLabel, 8, fileLabelY[i], 44, 8, kScriptFileLabel});
        v.push_back({1010 + i, kComboClass, kCombo, 55, comboY[i], 162, 80, ""});
    }
    return v;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR list) {
    reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
    return TRUE;
}

class Templates : public ::testing::Test {
  protected:
    void SetUp() override {
        // As data only: the entry point must not run (there is no terminal here).
        module = LoadLibraryExA((ExeDirectory() + "QXLAUNCH.DLL").c_str(), NULL,
                                LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr);
    }
    void TearDown() override { FreeLibrary(module); }

    std::vector<WORD> Languages(int id) {
        std::vector<WORD> languages;
        EnumResourceLanguagesA(module, RT_DIALOG, MAKEINTRESOURCEA(id), CollectLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
        return languages;
    }

    Template Load(int id) {
        HRSRC found = FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(id),
                                      MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
        EXPECT_NE(found, nullptr);
        if (!found)
            return Template();
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
        // A classic template starts with its style; an extended one with 1, 0xFFFF.
        WORD head[2];
        std::memcpy(head, data, 4);
        EXPECT_FALSE(head[0] == 1 && head[1] == 0xFFFF) << "extended template";
        return TemplateReader(data, SizeofResource(module, found)).Read();
    }

    void ExpectTemplate(int id, const std::string& caption, const std::vector<Expected>& controls) {
        EXPECT_EQ(Languages(id), std::vector<WORD>{1041});
        Template t = Load(id);
        // Style, extended style, position and size; no menu and no class; caption and font.
        EXPECT_EQ(std::make_tuple(t.style, t.exStyle, t.x, t.y, t.cx, t.cy),
                  std::make_tuple(kPageStyle, 0ul, 0, 0, 270, 199));
        EXPECT_EQ(std::make_tuple(t.menu.ordinal, t.menu.text, t.cls.ordinal, t.cls.text),
                  std::make_tuple(-1, std::string(), -1, std::string()));
        EXPECT_EQ(std::make_tuple(t.caption, t.pointSize, t.face), std::make_tuple(caption, 9, kDialogFont));
        ASSERT_EQ(t.controls.size(), controls.size());
        for (size_t i = 0; i < controls.size(); ++i) {
            const Control& c = t.controls[i];
            const Expected& e = controls[i];
            // Every field of the control: the text is a string, no creation data follows.
            EXPECT_EQ(std::make_tuple(c.id, c.cls.ordinal, c.style, c.exStyle, c.x, c.y, c.cx, c.cy,
                                      c.text.ordinal, c.text.text, c.extraBytes),
                      std::make_tuple(e.id, e.cls, e.style, 0ul, e.x, e.y, e.cx, e.cy, -1, e.text, 0))
                << "control #" << i + 1;
        }
    }

    HMODULE module = NULL;
};

TEST_F(Templates, ProgramMenuPageIsExactlyAsTabled) {
    ExpectTemplate(101, kFileMenuCaption, ProgramPageControls());
}

TEST_F(Templates, ScriptMenuPageIsExactlyAsTabled) {
    ExpectTemplate(102, kScriptMenuCaption, ScriptPageControls());
}

TEST_F(Templates, VersionRecordSaysOnePointZero) {
    char path[MAX_PATH];
    std::strcpy(path, (ExeDirectory() + "QXLAUNCH.DLL").c_str());
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    char* description = nullptr;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\041103a4\\FileDescription",
                               reinterpret_cast<void**>(&description), &length));
    EXPECT_STRNE(description, "");
}

} // namespace
