// A Western Windows (code page 1252), where é, ü and ™ are letters of one byte that code page
// 932 takes for lead bytes: texts ending in them reach terminal, shell and registry whole.
#include "cell.h"
#include "settings_session.h"
#include "settings_texts.h"

#include <dlgs.h>

#include <tuple>

using namespace qx;

namespace {

const bool western = (expectedCodePage = 1252, true);

struct Western : SettingsSession {
    const std::string resume = std::string(73, '.') + "R\xE9sum\xE9", menu = std::string(75, '.') + "Men\xFC";
    std::string Opened(const char* program, const char* params) const {
        return ShellCall(frame.hwnd(), "open", program, params, ".", SW_SHOWNORMAL);
    }
};

TEST_F(Western, LoadedTitlesCommandLinesAndScriptNamesStayWhole) {
    ConfigureTables({{resume, "notepad C:\\caf\xE9"}}, {{"Quolix\x99", "r\xE9sum\xE9"}});
    Load();
    std::vector<std::string> lines{"LOADED 1"};
    for (const HostMessage& m : Sent())
        lines.push_back(ReportLine(m, launcher));
    EXPECT_EQ(lines, ExpectedAttach({resume}, {"Quolix\x99"}));
    HookLateCalls();
    late.startNothing = true;
    Pick(200);
    frame.journal.clear();
    Pick(300);
    EXPECT_EQ(late.shellCalls, std::vector<std::string>{Opened("notepad", "C:\\caf\xE9")});
    EXPECT_EQ(Describe(Sent()), Line(HM_RUNSCRIPT, 6, "r\xE9sum\xE9"));
}

TEST_F(Western, TypedTextsAreStoredAppendedAndStartedWhole) {
    Attach({{"One", "one.exe"}}, {});
    HookLateCalls();
    late.startNothing = true;
    EditAndConfirm([&](HWND page) { SetRow(page, 1, menu, "wordpad C:\\Quolix\x99"); });
    EXPECT_EQ(Describe(Sent()), Line(HM_SETITEMID, 201) + Line(HM_ADDFILEITEM, L(), menu));
    ExpectStoredTables({{"One", "one.exe"}, {menu, "wordpad C:\\Quolix\x99"}}, {});
    Pick(201);
    EXPECT_EQ(late.shellCalls, std::vector<std::string>{Opened("wordpad", "C:\\Quolix\x99")});
}

HWND WINAPI NoFrame(LPCSTR, LPCSTR) { return NULL; }
ATOM WINAPI NoClass(const WNDCLASSA*) { return 0; }
HWND WINAPI NoWindow(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID) { return NULL; }

// The add-on's own Japanese reads right here too: every box, the sheet's title and the file
// dialog's filter names, read back in UTF-16 (as code page 1252 bytes they would be mojibake).
TEST_F(Western, TheAttachBoxesReadInJapanese) {
    DefaultBoxCaption(); // read while the main thread is free
    for (auto [function, failing, text] : {std::tuple{"FindWindowA", reinterpret_cast<void*>(NoFrame), L"Quolixがまだ起動されていません。"},
                                           {"RegisterClassA", reinterpret_cast<void*>(NoClass), L"QXLAUNCH.DLL: 内部エラー1"},
                                           {"CreateWindowExA", reinterpret_cast<void*>(NoWindow), L"QXLAUNCH.DLL: 内部エラー2"}}) {
        void* real = HookExport("USER32.dll", function, failing);
        BoxInfo box;
        EXPECT_EQ(LoadAddonAnsweringOneBox(box), nullptr);
        HookExport("USER32.dll", function, real);
        EXPECT_EQ(box.wideText, text) << function;
        EXPECT_EQ(box.caption, DefaultBoxCaption());
        EXPECT_TRUE(box.iconError && box.owner == NULL);
    }
}

// On the driver thread: opens row 0's file dialog, returns its selected type's name in UTF-16 and
// as bytes, and cancels it.
std::pair<std::wstring, std::string> FilterShown(HWND sheet, HWND page) {
    PostMessageA(GetDlgItem(page, kBrowse), BM_CLICK, 0, 0);
    HWND dialog = WaitForOwnedDialog(sheet, 5000);
    EXPECT_NE(dialog, nullptr) << "no file dialog";
    wchar_t wide[64] = L"";
    SendDlgItemMessageW(dialog, cmb1, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(wide));
    std::string bytes = FileDialogType(dialog).second;
    PressButton(dialog, IDCANCEL);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    SendMessageA(sheet, WM_NULL, 0, 0); // returns once the page has taken the dialog's answer
    return {wide, bytes};
}

TEST_F(Western, TheSheetsTitleItsBoxesAndTheFileDialogReadInJapanese) {
    Attach({{"One", "one.exe"}, {"Two", "two.exe"}}, {});
    frame.online = true;
    EXPECT_EQ(RunSheet([](HWND, HWND) {}).after.wideText, L"オンライン中は設定できません。");
    frame.online = false;
    SheetRun run = RunSheet([&](HWND sheet, HWND page) {
        EXPECT_EQ(WideWindowText(sheet), L"Quolixランチ V1.0 の設定");
        EXPECT_EQ(FilterShown(sheet, page).first, L"ﾌﾟﾛｸﾞﾗﾑ");
        for (auto [row, title, target, text] : {std::tuple{2, "x", "", L"タイトルとコマンドラインの両方を指定してください。"},
                                                {2, "", "", L"上に詰めて入力してください。"}}) { // row 3 filled below an empty row 2
            SetRow(page, row, title, target);
            SetRow(page, 3, "Four", "four.exe");
            PostSheetButton(sheet, PSBTN_OK);
            EXPECT_EQ(TakeBoxOver(sheet).wideText, text);
        }
        SetRow(page, 3, "", "");
        SetRow(page, 1, "", ""); // a removed entry brings the restart notice
        PostSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(run.after.wideText, L"設定した内容を有効にするためにはQuolixを再起動する必要があります");
    EXPECT_EQ(run.after.wideCaption, L"Quolixランチ");
}

// Where the text cannot be widened (a Western Windows 95 has no table for 932: the add-on's
// conversion is made to fail) or the wide call is a stub (95, 98 and Me: DefWindowProcW and
// GetOpenFileNameW), the ANSI call shows the bytes as before; MessageBoxW is no stub on 95.
int WINAPI NoTableFor932(UINT, DWORD, LPCSTR, int, LPWSTR, int) { SetLastError(ERROR_INVALID_PARAMETER); return 0; }
class WesternFallback : public Western, public ::testing::WithParamInterface<bool> {};
INSTANTIATE_TEST_SUITE_P(Windows, WesternFallback, ::testing::Bool(), WindowsName);

TEST_P(WesternFallback, WhatCannotBeWidenedGoesThroughTheAnsiCalls) {
    asWindows95 = GetParam();
    Attach({{"One", "one.exe"}}, {});
    HookLateCalls();
    decltype(&MultiByteToWideChar) convert;
    if (!asWindows95)
        HookImport(convert, "KERNEL32.dll", "MultiByteToWideChar", NoTableFor932);
    SheetRun run = RunSheet([&](HWND sheet, HWND page) {
        EXPECT_EQ(WindowText(sheet), kSheetCaption);
        EXPECT_EQ(FilterShown(sheet, page).second, kProgramsFilterName);
        SetRow(page, 0, "", "");
        PostSheetButton(sheet, PSBTN_OK);
    });
    if (asWindows95)
        EXPECT_EQ(run.after.wideText, L"設定した内容を有効にするためにはQuolixを再起動する必要があります");
    else
        EXPECT_EQ(std::make_pair(run.after.text, run.after.caption), std::make_pair(kRestartNotice, kRestartCaption));
}

} // namespace
