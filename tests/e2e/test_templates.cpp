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

// Reads a classic (not extended) dialog template field by field.
struct TemplateCursor {
    const BYTE* p;
    const BYTE* end;
    int Word() {
        WORD w = 0;
        if (p + 2 <= end)
            std::memcpy(&w, p, 2);
        p += 2;
        return w;
    }
    int Short() { return static_cast<short>(Word()); }
    DWORD Dword() {
        DWORD low = Word();
        return low | static_cast<DWORD>(Word()) << 16;
    }
    std::string Text() {
        std::wstring wide;
        for (int w; p < end && (w = Word()) != 0;)
            wide.push_back(static_cast<wchar_t>(w));
        char out[512];
        int n = WideCharToMultiByte(932, 0, wide.c_str(), static_cast<int>(wide.size()), out,
                                    sizeof(out), NULL, NULL);
        return std::string(out, n > 0 ? n : 0);
    }
    // A name, or an ordinal as "#n".
    std::string NameOrOrdinal() {
        if (p + 2 > end || p[0] != 0xFF || p[1] != 0xFF)
            return Text();
        p += 2;
        return "#" + std::to_string(Word());
    }
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

// Both pages' rows: a label and a title, then the program page's command line and browse
// button, or the script page's file label and combo box (its last title and label a unit lower).
std::vector<Expected> PageControls(bool programs) {
    const int labelY[] = {11, 49, 87, 125, 163}, fieldY[] = {26, 64, 102, 140, 178};
    const int browseY[] = {23, 61, 99, 137, 176};
    std::vector<Expected> v;
    for (int i = 0; i < 5; ++i) {
        const int low = !programs && i == 4;
        v.push_back({65535, kStatic, kLabel, 7, labelY[i], 45, 8, RowLabel(i)});
        v.push_back({1000 + i, kEditClass, kEdit, 55, labelY[i] - 2 + low, 163, 12, ""});
        if (programs) {
            v.push_back({65535, kStatic, kLabel, 16, fieldY[i] + 2, 36, 8, kCommandLabel});
            v.push_back({1005 + i, kEditClass, kEdit, 55, fieldY[i], 163, 12, ""});
            v.push_back({1015 + i, kButtonClass, kButton, 224, browseY[i], 40, 15, kBrowseLabel});
        } else {
            v.push_back({65535, kStatic, kLabel, 8, fieldY[i] + 2 + low, 44, 8, kScriptFileLabel});
            v.push_back({1010 + i, kComboClass, kCombo, 55, fieldY[i], 162, 80, ""});
        }
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

    // The fields are read in the order of a braced list, which C++ evaluates left to right.
    void ExpectTemplate(int id, const std::string& caption, const std::vector<Expected>& controls) {
        EXPECT_EQ(Languages(id), std::vector<WORD>{1041});
        HRSRC found = FindResourceExA(module, RT_DIALOG, MAKEINTRESOURCEA(id),
                                      MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
        ASSERT_NE(found, nullptr);
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
        TemplateCursor t{data, data + SizeofResource(module, found)};
        // Style (an extended template would start with 1, 0xFFFF), extended style, control
        // count, position and size; no menu and no class; caption and font.
        using Header = std::tuple<DWORD, DWORD, int, int, int, int, int, std::string, std::string,
                                  std::string, int, std::string>;
        EXPECT_EQ((Header{t.Dword(), t.Dword(), t.Word(), t.Short(), t.Short(), t.Short(), t.Short(),
                          t.NameOrOrdinal(), t.NameOrOrdinal(), t.Text(), t.Word(), t.Text()}),
                  (Header{kPageStyle, 0, static_cast<int>(controls.size()), 0, 0, 270, 199, "", "",
                          caption, 9, kDialogFont}));
        for (size_t i = 0; i < controls.size() && !HasFailure(); ++i) {
            const Expected& e = controls[i];
            while (reinterpret_cast<UINT_PTR>(t.p) % 4)
                ++t.p;
            // Every field of the control: the text is a string, no creation data follows.
            using Control = std::tuple<DWORD, DWORD, int, int, int, int, int, std::string, std::string, int>;
            EXPECT_EQ((Control{t.Dword(), t.Dword(), t.Short(), t.Short(), t.Short(), t.Short(), t.Word(),
                               t.NameOrOrdinal(), t.NameOrOrdinal(), t.Word()}),
                      (Control{e.style, 0, e.x, e.y, e.cx, e.cy, e.id, "#" + std::to_string(e.cls), e.text, 0}))
                << "control #" << i + 1;
        }
    }

    HMODULE module = NULL;
};

TEST_F(Templates, ProgramMenuPageIsExactlyAsTabled) {
    ExpectTemplate(101, kFileMenuCaption, PageControls(true));
}

TEST_F(Templates, ScriptMenuPageIsExactlyAsTabled) {
    ExpectTemplate(102, kScriptMenuCaption, PageControls(false));
}

} // namespace
