// The hostile registry: every value the add-on reads, stored in every registry type at sizes
// around its field's capacity and far beyond, with a double-byte character straddling the cut.
// Each cell attaches in a fresh process, picks every item and confirms the settings sheet after
// a look at both pages; the terminal must see exactly what a reference model predicts, the
// valid entries around the hostile one keep their ids, every started program gets its entry's
// parameters, and the sheet saves the loaded tables back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "cell.h"
#include "harness.h"
#include "processes.h"
#include "reference_text.h"
#include "settings_texts.h"

using namespace qx;

namespace {

constexpr int kSlots = 5;
constexpr size_t kTitleCapacity = 80, kTargetCapacity = 260, kCountCapacity = 4;

// Which value a cell makes hostile: one of each table, or the terminal's "ScriptPath" that the
// script page reads.
enum class Hostile { Count, Title, Target, ScriptPath };

struct TypeCase {
    DWORD type;
    const char* name;
};
const TypeCase kTypes[] = {{REG_NONE, "REG_NONE"},         {REG_SZ, "REG_SZ"},
                           {REG_EXPAND_SZ, "REG_EXPAND_SZ"}, {REG_BINARY, "REG_BINARY"},
                           {REG_DWORD, "REG_DWORD"},       {REG_MULTI_SZ, "REG_MULTI_SZ"},
                           {REG_QWORD, "REG_QWORD"}};

std::vector<size_t> SizesAround(size_t capacity) {
    return {0, 1, capacity - 1, capacity, capacity + 1, 4096, 1 << 20};
}

// The script folder: around its field's capacity, and around the longest folder that still
// leaves room for "\*.scr" and its NUL (253 bytes).
std::vector<size_t> ScriptPathSizes() {
    std::vector<size_t> sizes = SizesAround(kTargetCapacity);
    sizes.insert(sizes.begin() + 2, {253, 254});
    return sizes;
}

// The bytes of a hostile value: the prefix, then letters, a double-byte character with a
// backslash trail byte right after the prefix, and one whose lead byte sits at the cut (the
// last byte that a field of `capacity` bytes can keep), so that keeping it would split it.
std::string HostileBytes(size_t capacity, size_t size, const std::string& prefix) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('a' + i % 26);
    std::memcpy(&bytes[0], prefix.data(), std::min(prefix.size(), size));
    const auto put = [&bytes](size_t at, const char* pair) {
        for (size_t i = 0; i < 2 && at + i < bytes.size(); ++i)
            bytes[at + i] = pair[i];
    };
    if (prefix.size() + 2 < capacity - 2)
        put(prefix.size(), "\x83\x5c"); // katakana "so"
    put(capacity - 2, "\x95\x5c");        // "hyou", cut after its lead byte
    return bytes;
}

struct Stored {
    DWORD type = REG_SZ;
    std::string data;
};

// One table as the test stores it: "Count", then title and target of each slot.
struct StoredTable {
    const char* key;
    const char* targetPrefix;
    Stored count;
    Stored titles[kSlots];
    Stored targets[kSlots];
};

// The terminal's script folder of the cells whose "ScriptPath" is valid: two scripts.
std::string ScriptFolder() {
    static const TestFolder folder("qx-cell-scripts");
    static const bool made = (MakeEntries(folder.path(), {"alpha.scr", "beta.scr"}), true);
    return made ? folder.path() : std::string();
}

std::string Name(const char* prefix, int index) {
    char name[32];
    std::snprintf(name, sizeof(name), "%s%02d", prefix, index);
    return name;
}

// Five well-formed entries with double-byte titles, the last one as long as its fields take;
// program entries start qxnoop with parameters that name the entry.
StoredTable ValidTable(bool programs) {
    StoredTable table{programs ? kFileKey : kScriptKey, programs ? "Command" : "ScriptFile", {}, {}, {}};
    uint32_t five = kSlots;
    table.count = {REG_DWORD, std::string(reinterpret_cast<char*>(&five), 4)};
    for (int i = 0; i < kSlots; ++i) {
        std::string n = std::to_string(i);
        std::string title = Sjis(programs ? "プログラム" : "日記") + n;
        std::string target = programs ? "qxnoop.exe entry" + n + " " + Sjis("表")
                                      : "diary" + n + Sjis("ソ") + ".scr";
        // The last entry fills both fields, so that the sheet must save every byte of them.
        if (i == kSlots - 1) {
            title.resize(kTitleCapacity - 1, 't');
            target.insert(programs ? target.size() : 0, kTargetCapacity - 1 - target.size(), 'x');
        }
        table.titles[i] = {REG_SZ, title + '\0'};
        table.targets[i] = {REG_SZ, target + '\0'};
    }
    return table;
}

void Store(const StoredTable& table) {
    const auto put = [&table](const std::string& name, const Stored& value) {
        SetRaw(table.key, name.c_str(), value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
    };
    put("Count", table.count);
    for (int i = 0; i < kSlots; ++i) {
        put(Name("Title", i), table.titles[i]);
        put(Name(table.targetPrefix, i), table.targets[i]);
    }
}

// The entries the add-on should load (and the sheet must save, OK or Cancel alike): the values
// as the registry's ANSI interface returns them (string types are converted on their way in and
// out), brought into range by the reference.
EntryList ExpectedLoad(const StoredTable& table) {
    EntryList loaded;
    RegValue count = ReadValue(table.key, "Count");
    for (int i = 0; i < reference::LoadedCount(count.exists, count.type, count.data); ++i) {
        RegValue title = ReadValue(table.key, Name("Title", i).c_str());
        RegValue target = ReadValue(table.key, Name(table.targetPrefix, i).c_str());
        loaded.push_back({reference::LoadedText(title.exists, title.data, kTitleCapacity),
                          reference::LoadedText(target.exists, target.data, kTargetCapacity, true)});
    }
    return loaded;
}

// The box a page shows when it is left with the rows of a loaded table (entries below the
// count, then empty rows), or an empty text when the rows pass: a row with content below an
// empty one breaks the gap rule, which comes first; a row with one field breaks the other.
std::string Refusal(const EntryList& table) {
    bool emptyRowSeen = false;
    for (size_t i = 0; i < kSlots; ++i) {
        const bool title = i < table.size() && !table[i].first.empty();
        const bool target = i < table.size() && !table[i].second.empty();
        if (!title && !target)
            emptyRowSeen = true;
        else if (emptyRowSeen)
            return kFillFromTop;
        else if (!title || !target)
            return kBothFields;
    }
    return std::string();
}

// How many names the script page lists for this "ScriptPath": the loaded folder followed by
// "\*.scr", searched from the cell's folder; nothing when the folder is too long to read or
// the pattern would not fit its buffer.
int ExpectedListed() {
    RegValue value = ReadValue(kHostConfigKey, "ScriptPath");
    const bool tooLong = value.exists && (value.data.size() > 1024 ||
                                          reference::Overlong(value.data, kTargetCapacity));
    std::string folder = reference::LoadedText(value.exists, value.data, kTargetCapacity);
    if (tooLong || folder.size() > 253)
        return 0; // never the root of the drive in place of a folder too long to read
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cwd);
    SetCurrentDirectoryA(ExeDirectory().c_str());
    int listed = static_cast<int>(Search(folder + "\\*.scr").size());
    SetCurrentDirectoryA(cwd);
    return listed;
}

// Everything a cell reports: the attach, then the picks of 200..204, 300..304 and 100. The
// settings item asks whether the terminal is online and opens the sheet; the cell selects the
// script page and presses OK. A page that refuses to be left shows its box and the cell
// cancels. Either way the tables come back as they were loaded: no notice, nothing appended.
std::vector<std::string> ExpectedReport(const EntryList& programs, const EntryList& scripts, int listed) {
    std::vector<std::string> lines = ExpectedAttach(Titles(programs), Titles(scripts));
    for (int i = 0; i < kSlots; ++i)
        lines.push_back("PICK " + std::to_string(200 + i)); // programs tell the terminal nothing
    for (size_t i = 0; i < kSlots; ++i) {
        lines.push_back("PICK " + std::to_string(300 + i));
        if (i < scripts.size()) {
            const std::string& name = scripts[i].second;
            lines.push_back(ReportLine(HM_RUNSCRIPT, std::to_string(name.size()), true, &name));
        }
    }
    lines.push_back("PICK 100");
    lines.push_back(ReportLine(HM_ISONLINE, "0", false, nullptr));
    lines.push_back("DIALOG sheet " + Escape(kSheetCaption));
    std::string refusal = Refusal(programs);
    if (refusal.empty()) {
        const std::string n = std::to_string(listed);
        lines.push_back("PAGE script lists=" + n + "," + n + "," + n + "," + n + "," + n);
        refusal = Refusal(scripts);
    }
    if (!refusal.empty())
        lines.push_back("BOX " + Escape(refusal));
    lines.push_back("DONE");
    return lines;
}

// The parameters on a command line that the shell built for a program: whatever follows the
// program's own name, quoted or not, and the one space after it.
std::string ParametersOf(const std::string& commandLine) {
    size_t end = commandLine[0] == '"' ? commandLine.find('"', 1) + 1 : commandLine.find(' ');
    if (end == std::string::npos || end >= commandLine.size())
        return std::string();
    return commandLine.substr(end + 1);
}

// Program picks: entry i starts qxnoop with its parameters when its fitted command line names
// qxnoop, and starts nothing that qxnoop could see otherwise.
void ExpectLaunches(const EntryList& programs, const CellRun& run) {
    for (size_t i = 0; i < kSlots; ++i) {
        std::string tag = std::to_string(200 + i);
        auto found = run.launches.find(tag);
        auto [program, params] = reference::SplitLine(i < programs.size() ? programs[i].second : "");
        if (program != "qxnoop.exe") { // an entry past the count has no program
            EXPECT_TRUE(found == run.launches.end()) << "pick " << tag << " started qxnoop";
            continue;
        }
        ASSERT_TRUE(found != run.launches.end()) << "pick " << tag << " started nothing";
        ASSERT_EQ(found->second.size(), 1u) << "pick " << tag;
        EXPECT_EQ(Escape(ParametersOf(found->second[0])), Escape(params)) << "pick " << tag;
    }
}

// The valid values are still in the registry as they were stored: the sheet saved them back
// unchanged, or left them alone above the count.
void ExpectValidValuesKept(const StoredTable& table, const StoredTable& valid) {
    const auto kept = [&table](const std::string& name, const Stored& stored, const Stored& original) {
        if (stored.data == original.data && stored.type == original.type) // not the hostile value
            ExpectStoredString(table.key, name.c_str(), original.data.substr(0, original.data.size() - 1));
    };
    for (int i = 0; i < kSlots; ++i) {
        kept(Name("Title", i), table.titles[i], valid.titles[i]);
        kept(Name(table.targetPrefix, i), table.targets[i], valid.targets[i]);
    }
}

// A report as one text, so that a failure shows where it departs from the expected one.
std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// The texts in a report stay within the fields they came from.
void ExpectTextsWithinCapacity(const std::vector<std::string>& report) {
    for (const std::string& line : report) {
        size_t at = line.find(" len=");
        if (at == std::string::npos)
            continue;
        size_t length = std::stoul(line.substr(at + 5));
        size_t capacity = line.rfind("HM_RUNSCRIPT", 0) == 0 ? kTargetCapacity : kTitleCapacity;
        EXPECT_LE(length, capacity - 1) << line;
    }
}

class HostileRegistry : public RegistryTest, public ::testing::WithParamInterface<Hostile> {
  protected:

    // Makes one value of each table hostile and runs the cell.
    void RunCellWith(size_t typeIndex, size_t sizeIndex) {
        const TypeCase& type = kTypes[typeIndex];
        const Hostile hostile = GetParam();
        const size_t capacity = hostile == Hostile::Count   ? kCountCapacity
                                : hostile == Hostile::Title ? kTitleCapacity
                                                            : kTargetCapacity;
        const size_t size = hostile == Hostile::ScriptPath ? ScriptPathSizes()[sizeIndex]
                                                           : SizesAround(capacity)[sizeIndex];
        StoredTable programs = ValidTable(true), scripts = ValidTable(false);
        Stored scriptPath = {REG_SZ, ScriptFolder() + '\0'};
        const StoredTable validPrograms = programs, validScripts = scripts;
        // The hostile slot moves with the cell so that every slot is hostile in some cells.
        const int programSlot = static_cast<int>((typeIndex + sizeIndex) % kSlots);
        std::string description;
        if (hostile == Hostile::ScriptPath) {
            scriptPath = {type.type, HostileBytes(capacity, size, "")};
            description = std::string(kHostConfigKey) + "\\ScriptPath, ";
        }
        for (StoredTable* table : {&programs, &scripts}) {
            if (hostile == Hostile::ScriptPath)
                break;
            const bool isPrograms = table == &programs;
            const int slot = isPrograms ? programSlot : (programSlot + 2) % kSlots;
            Stored* value = &table->count;
            std::string name = "Count", prefix;
            if (hostile == Hostile::Title) {
                value = &table->titles[slot];
                name = Name("Title", slot);
            } else if (hostile == Hostile::Target) {
                value = &table->targets[slot];
                name = Name(table->targetPrefix, slot);
                // A hostile command line still names qxnoop while it is long enough.
                prefix = isPrograms ? "qxnoop.exe " : "";
            }
            *value = {type.type, HostileBytes(capacity, size, prefix)};
            description += std::string(table->key) + "\\" + name + ", ";
        }
        SCOPED_TRACE(description + type.name + " of " + std::to_string(size) + " bytes");

        ResetRegistry();
        Store(programs);
        Store(scripts);
        SetRaw(kHostConfigKey, "ScriptPath", scriptPath.type, scriptPath.data.data(),
               static_cast<DWORD>(scriptPath.data.size()));
        EntryList expectedPrograms = ExpectedLoad(programs);
        EntryList expectedScripts = ExpectedLoad(scripts);
        const int listed = ExpectedListed();
        const RegValue pathBefore = ReadValue(kHostConfigKey, "ScriptPath");

        CellRun run = RunCell("--pick");
        ++cells;
        refused += !Refusal(expectedPrograms).empty() || !Refusal(expectedScripts).empty();
        ASSERT_TRUE(run.started);
        ASSERT_TRUE(run.exited) << "the cell hung";
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.strays, 0u) << "programs still running after the cell";
        EXPECT_EQ(Joined(run.report), Joined(ExpectedReport(expectedPrograms, expectedScripts, listed)));
        ExpectTextsWithinCapacity(run.report);
        ExpectLaunches(expectedPrograms, run);
        ExpectValidValuesKept(programs, validPrograms);
        ExpectValidValuesKept(scripts, validScripts);
        ExpectStoredTables(expectedPrograms, expectedScripts);
        RegValue pathNow = ReadValue(kHostConfigKey, "ScriptPath"); // the terminal's, never written
        EXPECT_TRUE(pathNow.exists && pathNow.type == pathBefore.type && pathNow.data == pathBefore.data)
            << "ScriptPath changed";
    }

    int cells = 0;
    int refused = 0; // cells whose sheet refused OK (a page's box, then Cancel)
};

const char* HostileName(Hostile hostile) {
    return hostile == Hostile::Count   ? "Count"
           : hostile == Hostile::Title ? "TitleNN"
           : hostile == Hostile::Target ? "TargetNN"
                                        : "ScriptPath";
}

TEST_P(HostileRegistry, AttachEveryPickAndTheSheetSurviveEveryTypeAndSize) {
    DWORD start = GetTickCount();
    const size_t sizes = GetParam() == Hostile::ScriptPath ? ScriptPathSizes().size() : 7;
    for (size_t typeIndex = 0; typeIndex < std::size(kTypes); ++typeIndex)
        for (size_t sizeIndex = 0; sizeIndex < sizes; ++sizeIndex)
            RunCellWith(typeIndex, sizeIndex);
    PrintFigure(std::string("hostile_cells_") + HostileName(GetParam()),
                std::to_string(cells) + " cells in " + std::to_string(GetTickCount() - start) +
                    " ms, sheet confirmed in " + std::to_string(cells - refused) + ", refused in " +
                    std::to_string(refused));
}

INSTANTIATE_TEST_SUITE_P(Values, HostileRegistry,
                         ::testing::Values(Hostile::Count, Hostile::Title, Hostile::Target, Hostile::ScriptPath),
                         [](const auto& info) { return std::string(HostileName(info.param)); });

// Finds text followed by its NUL in the add-on's writable data (where the tables live) and
// returns the address of that NUL, or null.
char* FindInAddonData(const std::string& text) {
    auto* base = reinterpret_cast<char*>(GetModuleHandleA("QXLAUNCH.DLL"));
    if (!base)
        return nullptr;
    auto* headers = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const std::string needle = text + '\0';
    char* end = base + headers->OptionalHeader.SizeOfImage;
    for (char* at = base; at < end;) {
        MEMORY_BASIC_INFORMATION info;
        if (VirtualQuery(at, &info, sizeof(info)) != sizeof(info))
            break;
        char* regionEnd = static_cast<char*>(info.BaseAddress) + info.RegionSize;
        if (info.State == MEM_COMMIT && (info.Protect & (PAGE_READWRITE | PAGE_WRITECOPY))) {
            char* found = std::search(at, regionEnd, needle.begin(), needle.end());
            if (found != regionEnd)
                return found + text.size();
        }
        at = regionEnd;
    }
    return nullptr;
}

// A target field whose NUL is lost (the case the load can never produce, but a field must
// survive): the terminal still gets at most the field's 259 bytes, with the length it holds
// (a double-byte character across the 259th byte stays out), and a started program gets no
// byte from behind the field.
using CorruptedTable = RegistryTest;
TEST_F(CorruptedTable, TargetsThatLostTheirNulStayWithinTheirField) {
    const std::string scriptName = "lost-nul-" + std::string(249, 's');
    const std::string commandLine = "qxnoop.exe " + std::string(248, 'p');
    ASSERT_EQ(scriptName.size(), 258u);
    ASSERT_EQ(commandLine.size(), 259u);
    ConfigureTables({{"Program", commandLine}}, {{"Diary", scriptName}});
    TestFrame frame(true);
    HWND launcher = LoadUnder(frame);
    char* scriptNul = FindInAddonData(scriptName);
    char* commandNul = FindInAddonData(commandLine);
    ASSERT_NE(scriptNul, nullptr);
    ASSERT_NE(commandNul, nullptr);
    scriptNul[0] = '\x82'; // lead byte, and the field's last byte its trail
    scriptNul[1] = 'Z';
    *commandNul = 'Z';

    frame.journal.clear();
    SendMessageA(launcher, WM_COMMAND, 300, 0);
    ASSERT_EQ(frame.journal.size(), 1u);
    EXPECT_EQ(ReportLine(frame.journal[0], launcher), ReportLine(HM_RUNSCRIPT, "258", true, &scriptName));

    SelfJob job; // qxnoop joins it; once it has ended, its record is whole
    ASSERT_TRUE(job.ok());
    TestFolder noopDir("qx-noop-corrupted");
    SetEnvironmentVariableA("QX_NOOP_DIR", noopDir.path().c_str());
    // From the terminal's folder, where the shell finds the bare name (docs/WINE.md).
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cwd);
    SetCurrentDirectoryA(ExeDirectory().c_str());
    SendMessageA(launcher, WM_COMMAND, 200, 0);
    SetCurrentDirectoryA(cwd);
    SetEnvironmentVariableA("QX_NOOP_DIR", NULL);
    ASSERT_TRUE(job.WaitForActiveAtMost(1, 10000)) << "qxnoop did not end";
    std::vector<std::string> files = Search(noopDir / "*");
    ASSERT_EQ(files.size(), 1u) << "qxnoop did not start";
    std::string record = ReadFileBytes(noopDir / files[0]);
    EXPECT_EQ(ParametersOf(record.substr(record.find('\n') + 1)), std::string(248, 'p'));
}

} // namespace
