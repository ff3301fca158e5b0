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
BOOL WINAPI NoOwnFrame(WNDENUMPROC, LPARAM) { return TRUE; } // the walk for this process's frame
ATOM WINAPI NoClass(const WNDCLASSA*) { return 0; }
HWND WINAPI NoWindow(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID) { return NULL; }

// The add-on's own Japanese reads right here too, read back in UTF-16 (as bytes of this code
// page it would be mojibake): the three attach boxes.
TEST_F(Western, TheAttachBoxesReadInJapanese) {
    for (auto [function, failing, text] : {std::tuple{"FindWindowA", reinterpret_cast<void*>(NoFrame), L"Quolixがまだ起動されていません。"},
                                           {"RegisterClassA", reinterpret_cast<void*>(NoClass), L"QXLAUNCH.DLL: 内部エラー1"},
                                           {"CreateWindowExA", reinterpret_cast<void*>(NoWindow), L"QXLAUNCH.DLL: 内部エラー2"}}) {
        bool noFrame = failing == reinterpret_cast<void*>(NoFrame);
        void* real = HookExport("USER32.dll", function, failing);
        void* walk = noFrame ? HookExport("USER32.dll", "EnumWindows", reinterpret_cast<void*>(NoOwnFrame)) : nullptr;
        BoxInfo box;
        EXPECT_EQ(LoadAddonAnsweringOneBox(box), nullptr);
        HookExport("USER32.dll", function, real);
        if (noFrame)
            HookExport("USER32.dll", "EnumWindows", walk);
        EXPECT_EQ(box.wideText, text) << function;
    }
}

// On the driver thread: opens row 0's file dialog, reads its selected type in UTF-16 and as bytes,
// and cancels it.
std::pair<std::wstring, std::string> FilterShown(HWND sheet, HWND page) {
    PostMessageA(GetDlgItem(page, kBrowse), BM_CLICK, 0, 0);
    HWND dialog = WaitForOwnedDialog(sheet, 5000);
    wchar_t wide[64] = L"";
    SendDlgItemMessageW(dialog, cmb1, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(wide));
    std::pair<std::wstring, std::string> shown{wide, FileDialogType(dialog).second};
    PressButton(dialog, IDCANCEL);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    SendMessageA(sheet, WM_NULL, 0, 0); // returns once the page has taken the dialog's answer
    return shown;
}

// The sheet's title, its boxes and the file dialog's filter names. A path chosen there is taken in
// this code page, and one that it cannot hold leaves the row as it was ('?' would name no file).
TEST_F(Western, TheSheetsTitleItsBoxesAndTheFileDialogReadInJapanese) {
    Attach({{"One", "one.exe"}, {"Two", "two.exe"}}, {});
    HookLateCalls();
    frame.online = true;
    EXPECT_EQ(RunSheet([](HWND, HWND) {}).after.wideText, L"オンライン中は設定できません。");
    frame.online = false;
    ReadOnlyKey locked(kFileKey); // the save fails: its box comes before the restart notice
    SheetRun run = RunSheet([&](HWND sheet, HWND page) {
        EXPECT_EQ(WideWindowText(sheet), L"Quolixランチ V1.0 の設定");
        EXPECT_EQ(FilterShown(sheet, page).first, L"ﾌﾟﾛｸﾞﾗﾑ");
        // ā has no byte in 1252 and converts to 'a' by best fit, a path to another file or none.
        for (auto [pick, taken] : {std::pair{L"C:\\caf\xE9.exe", "C:\\caf\xE9.exe"}, {L"C:\\日本.exe", "C:\\caf\xE9.exe"},
                                   {L"C:\\\x101.exe", "C:\\caf\xE9.exe"}}) {
            late.widePick = pick; // no dialog shows: the click can be sent, and is handled when it returns
            SendMessageA(GetDlgItem(page, kBrowse), BM_CLICK, 0, 0);
            EXPECT_EQ(ControlText(page, kCommand), taken);
        }
        for (auto [title, text] : {std::pair{"x", L"タイトルとコマンドラインの両方を指定してください。"}, {"", L"上に詰めて入力してください。"}}) {
            SetRow(page, 2, title, ""); // row 3 below: a row with a title only, then a gap
            SetRow(page, 3, "Four", "four.exe");
            PostSheetButton(sheet, PSBTN_OK);
            EXPECT_EQ(TakeBoxOver(sheet).wideText, text);
        }
        SetRow(page, 3, "", "");
        SetRow(page, 1, "", ""); // a removed entry brings the restart notice
        PostSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(run.boxes, 2);
    EXPECT_EQ(run.after.wideText, L"設定を保存できませんでした。");
    EXPECT_EQ(run.last.wideText + L"|" + run.last.wideCaption, L"設定した内容を有効にするためにはQuolixを再起動する必要があります|Quolixランチ");
}

// Where the text cannot be widened (a Western Windows 95 has no table for 932: the add-on's
// conversion is made to fail) or the wide call is a stub (95, 98 and Me: DefWindowProcW and
// GetOpenFileNameW), the ANSI call shows the bytes as before; MessageBoxW is no stub on 95.
int WINAPI NoTableFor932(UINT, DWORD, LPCSTR, int, LPWSTR, int) { return 0; }
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
        EXPECT_EQ(run.after.text + "|" + run.after.caption, kRestartNotice + "|" + kLaunchCaption);
}

} // namespace
