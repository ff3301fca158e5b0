// Shared pieces of the Wine tests: a recording terminal frame, the real registry, and a driver
// thread that finds and works the add-on's modal windows while the main thread is inside it.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "system_dialogs.h"

namespace qx {

constexpr UINT HM_ISONLINE = WM_USER + 11;
constexpr UINT HM_RUNSCRIPT = WM_USER + 54;
constexpr UINT HM_ADDFILEITEM = WM_USER + 57;
constexpr UINT HM_ADDSCRIPTITEM = WM_USER + 61;
constexpr UINT HM_ADDSETTINGSITEM = WM_USER + 62;
constexpr UINT HM_SETITEMID = WM_USER + 71;

constexpr const char* kFileKey = "Software\\Koravi\\QuolixLaunch\\File";
constexpr const char* kScriptKey = "Software\\Koravi\\QuolixLaunch\\Script";
constexpr const char* kHostConfigKey = "Software\\Koravi\\Quolix95\\Config";

// The ANSI code page every test of the program is written for, checked before the first runs:
// 932 unless the program sets another during its static initialisation.
extern UINT expectedCodePage;

// UTF-8 text as code-page-932 bytes, converted by the platform (independent of build flags).
std::string Sjis(const char* utf8);

// One private message as the terminal received it. Texts are read while the message is
// handled, as the terminal must: the next text overwrites the channel.
struct HostMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::string text; // empty when lParam was 0
};

// A frame window of the terminal's class on the calling thread that records every private
// message. It keeps the handles it receives open until it is destroyed, so that distinct
// handles stay distinct; with closeReceived it closes each one at once, as the terminal does.
class TestFrame {
  public:
    explicit TestFrame(bool closeReceived = false);
    ~TestFrame();
    HWND hwnd() const { return hwnd_; }
    void Destroy();
    std::vector<HostMessage> journal; // HM_ISONLINE included
    LRESULT online = 0; // the answer to HM_ISONLINE
    std::vector<HANDLE> receivedHandles;
    bool closeReceived;
    // Called after each private message is recorded; a test may destroy the frame in it.
    std::function<void(const HostMessage&)> onMessage;

  private:
    HWND hwnd_ = NULL;
};

// Registers a class of the given name and procedure for `instance` (this program when null);
// 0 when it cannot be.
ATOM RegisterWindowClass(const char* name, WNDPROC procedure, HINSTANCE instance = NULL);
// A window of a class of this program, the class registered on first use.
HWND CreateWindowOfClass(const char* name, WNDPROC procedure, DWORD style);

// Loads QXLAUNCH.DLL from the test program's folder.
HMODULE LoadAddon();
std::string ExeDirectory();
// Where LoadAddon's last load really mapped the add-on (null before one), and an action run
// as soon as it is mapped, before its DllMain: with DYNAMIC_BASE, Windows' address space layout
// randomisation and Wine 10 move it away from its preferred base.
HINSTANCE AddonLoadBase();
void OnAddonMapped(void (*action)(HINSTANCE));
// The launcher window: the frame's child of class "QuolixLaunch".
HWND FindLauncherWindow(HWND frame);
// Messages of the private range only, in order, without HM_ISONLINE.
std::vector<HostMessage> MenuMessages(const std::vector<HostMessage>& journal);
const char* MessageName(UINT message);
// Dispatches this thread's pending messages.
void PumpPending();

// Registry, always under HKEY_CURRENT_USER.
void ResetRegistry(); // removes Software\Koravi
bool KeyExists(const char* key);
void SetRaw(const char* key, const char* name, DWORD type, const void* data, DWORD size);
void SetString(const char* key, const char* name, const std::string& text); // REG_SZ + NUL
void SetDword(const char* key, const char* name, DWORD value);
struct RegValue {
    bool exists = false;
    DWORD type = 0;
    std::string data;
};
RegValue ReadValue(const char* key, const char* name);
std::vector<std::string> ValueNames(const char* key);
// A value stored exactly so: a REG_SZ of the text and its NUL; a "Count" REG_DWORD of 4 bytes.
void ExpectStoredString(const char* key, const char* name, const std::string& text);
void ExpectStoredCount(const char* key, DWORD count);
using EntryList = std::vector<std::pair<std::string, std::string>>; // title, target (CP932)
void ConfigureTables(const EntryList& programs, const EntryList& scripts);
std::vector<std::string> Titles(const EntryList& entries);
// Both tables stored exactly as these entries: each "Count", every title and target.
void ExpectStoredTables(const EntryList& programs, const EntryList& scripts);
// While it lives, everyone may only read the key (made if missing), as in a profile that
// refuses writing; it gives full access back before the registry is reset.
class ReadOnlyKey {
  public:
    explicit ReadOnlyKey(const char* key, REGSAM granted = KEY_READ); // 0: not even read
    ~ReadOnlyKey();
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;

  private:
    HKEY key_ = NULL; // opened to change its permissions, before they were taken away
};
// Hand-edited values: counts of 9 and -1; program titles too long, binary without a NUL, a
// number, a double-byte character straddling the cut, and a plain one; command lines at their
// field's limit, past it, and past the read buffer.
void StoreHandEditedValues();

// Modal UI. A visible top-level window of the process (this one where pid is 0) that matches.
HWND WaitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs = 8000, DWORD pid = 0);
// The top-level windows, listed in one call: a walk with FindWindowExA(NULL, previous, ...) hangs
// Wine 10's server when the previous window is being destroyed meanwhile (docs/WINE.md).
std::vector<HWND> TopLevelWindows();
HWND WaitForDialog(DWORD timeoutMs = 8000, DWORD pid = 0); // a "#32770" window
void PressButton(HWND dialog, int id);
// The caption a message box gets when it is shown without one.
std::string DefaultBoxCaption();
// An error box as the add-on shows them: this text, the platform's default caption (called once
// before a driver thread reads a box, while the main thread is free), the error icon, this owner.
void ExpectErrorBox(const BoxInfo& box, const std::string& text, HWND owner);
// Closes every dialog of this process until none is left; the last resort of a failed driver.
void CloseAllDialogs();

std::string WindowText(HWND window);
std::wstring WideWindowText(HWND window); // the text as the window holds it, in UTF-16
// Bounded poll of `condition` every 10 ms; true as soon as it holds.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);
// The first window of the class among a window's children and their children.
HWND FindDescendant(HWND parent, const char* className);
// A top-level "#32770" window owned by `owner`, in the owner's process (message boxes and
// common dialogs over a sheet are owned by the sheet, not by the page that called them).
HWND WaitForOwnedDialog(HWND owner, DWORD timeoutMs = 8000);
// The control that last received the focus (WM_SETFOCUS) on the thread that called TrackFocus,
// recorded by a hook there and readable from any thread. Under Wine without a window manager
// the X server may take the focus from a whole window a moment after a box over it closed; the
// control that got the focus last is what the add-on decided.
void TrackFocus();
HWND LastFocused();

// Property sheets, driven from the driver thread while the sheet's own loop runs elsewhere.
// Anything that may make the sheet validate (and so show a box) is posted, never sent.
HWND WaitForSheet(DWORD timeoutMs = 8000, DWORD pid = 0); // a "#32770" window with a tab control
HWND CurrentPage(HWND sheet);
int CurrentPageIndex(HWND sheet);
std::vector<std::string> TabLabels(HWND sheet);
void PostSheetButton(HWND sheet, int psbtn); // PSBTN_OK, PSBTN_CANCEL, PSBTN_HELP
void PostSheetPage(HWND sheet, int index);
std::string ControlText(HWND dialog, int id);
void SetControlText(HWND dialog, int id, const std::string& text);
std::vector<std::string> ComboItems(HWND combo);

// A command as a terminal whose frame lives on a second thread sends it: that thread sends
// WM_COMMAND `id` to `window` (and expects 0) and sets `returned` once its SendMessage is back,
// while this thread dispatches what arrives until `finished` holds (a bounded wait).
void CommandFromAnotherThread(HWND window, int id, std::atomic<bool>& returned, const std::function<bool()>& finished);

// Loads the add-on while a second thread reads the one message box it shows and presses OK.
HMODULE LoadAddonAnsweringOneBox(BoxInfo& box);

// Runs `action` on this thread while `driver` runs on a second thread. The driver starts
// first and is ready before the action begins (the action may hold the loader lock).
void RunDriven(const std::function<void()>& action, const std::function<void()>& driver);

// Replaces the add-on's import of `function` from `dll` in this process (or another module's,
// the test program's own where `module` is null); returns the function it called before, or
// null (and the test has failed) when the module does not import it.
void* HookAddonImport(const char* dll, const char* function, void* replacement,
                      const char* module = "QXLAUNCH.DLL");
// The same for a typed function: `real` receives the function the module called before.
template <typename Function>
void HookImport(Function& real, const char* dll, const char* function, Function replacement,
                const char* module = "QXLAUNCH.DLL") {
    real = reinterpret_cast<Function>(HookAddonImport(dll, function, reinterpret_cast<void*>(replacement), module));
}
// Makes `dll`'s export of `function` lead to `replacement` for the modules bound afterwards (the
// add-on's attach); returns the function it led to, which a second call puts back.
void* HookExport(const char* dll, const char* function, void* replacement);

// The add-on's late-bound calls, seen and steered in this process once HookLateCalls has
// replaced its imports of LoadLibraryA, GetProcAddress and FreeLibrary (after the attach): a
// library or a function can be refused; ShellExecuteA is handed a recorder that writes each call
// down (ShellCall) and then makes it, unless `startNothing`; PropertySheetA fails at once while
// `sheetFails`; GetOpenFileNameA moves the current folder to the test program's after the dialog,
// as Windows' may whatever its flags (`folderMoves`); while `asWindows95` no activation-context
// function is found, GetOpenFileNameW is a stub that fails as there, and PropertySheetA and
// GetOpenFileNameA/W fail a structure of a size those systems do not know; the terminal's
// activation context redirects COMCTL32 while `comctlRedirected`; `duringShell` runs inside each
// shell call; the wide file dialog returns `widePick` at once where one is set; HtmlHelpW
// answers null while `htmlHelpAnswersNull`. A refused function is refused by the beginning of
// its name. The loads kept are those of SHELL32, COMCTL32, COMDLG32 and HHCTRL.OCX, by the path
// asked for; every free is counted, and the wide calls refused to an attach as on Windows 95.
struct LateCalls {
    std::string refusedLibrary, refusedFunction;
    bool startNothing = false, sheetFails = false, asWindows95 = false, comctlRedirected = false, htmlHelpAnswersNull = false;
    std::function<void()> duringShell;
    std::wstring widePick;
    int frees = 0, sheetCalls = 0, wideCalls = 0, folderMoves = 0;
    std::vector<std::string> loads;
    std::vector<std::string> shellCalls;
};
extern LateCalls late;
void HookLateCalls();
// A shell call as text: the owner, the four texts quoted (a null pointer as NULL), the show mode.
std::string ShellCall(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR folder, INT show);
std::string SystemLibrary(const char* name); // its full path

std::string ReadFileBytes(const std::string& path);
std::vector<std::string> ReadLines(const std::string& path);

// Files of the tests: only under the folder the test program started in (ctest's working
// folder), each making checked, everything removed when the test ends.
std::string StartFolder();
std::string CurrentFolder();
// "<start folder>\<name>", made empty for the test and removed with all it holds.
class TestFolder {
  public:
    explicit TestFolder(const std::string& name);
    ~TestFolder();
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& entry) const { return path_ + "\\" + entry; }

  private:
    std::string path_;
};
// Makes each entry under `folder`: an empty file, or a folder where the name ends in a
// backslash. A making that fails fails the test.
void MakeEntries(const std::string& folder, const std::vector<std::string>& entries);
// The names a search for `pattern` returns, in its order ("." and ".." left out).
std::vector<std::string> Search(const std::string& pattern);

// A test that starts and ends with a clean registry.
class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetRegistry(); }
    void TearDown() override { ResetRegistry(); }
};

// Loads the add-on under `frame` and returns its launcher window; null (and the test has
// failed) when the load or the window failed.
HWND LoadUnder(const TestFrame& frame);

// The names of a test's two runs, parameterised by whether the system answers as Windows 95.
inline std::string WindowsName(const ::testing::TestParamInfo<bool>& on) { return on.param ? "95" : "NT"; }

// A test with a clean registry and a recording frame of the terminal's class.
class AddonTest : public RegistryTest {
  protected:
    // Loads the add-on under the frame and finds its launcher window; the journal keeps the
    // attach's messages. With `asWindows95` the attach and the late calls (HookLateCalls) are
    // answered as there: GetModuleFileNameW and LoadLibraryW fail, no activation contexts.
    void Load();
    // Configures the tables, loads the add-on and forgets the attach's messages.
    void Attach(const EntryList& programs, const EntryList& scripts);
    void Pick(int id) { SendMessageA(launcher, WM_COMMAND, static_cast<WPARAM>(id), 0); }
    // Private messages received, without HM_ISONLINE.
    std::vector<HostMessage> Sent() const { return MenuMessages(frame.journal); }
    WPARAM L() const { return reinterpret_cast<WPARAM>(launcher); }
    // Messages compare as report lines (cell.h): Describe writes the received ones, Line an
    // expected one (lParam 0 where the text is empty).
    std::string Describe(const std::vector<HostMessage>& messages) const;
    std::string Line(UINT message, WPARAM wParam, const std::string& text = "") const;

    TestFrame frame;
    HWND launcher = NULL;
    bool asWindows95 = false;
};

} // namespace qx
