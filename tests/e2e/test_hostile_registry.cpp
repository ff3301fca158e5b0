// The hostile registry: every value the add-on reads at attach, stored in every registry type
// at sizes around its field's capacity and far beyond, with a double-byte character straddling
// the cut. Each cell attaches in a fresh process and picks every item; the terminal must see
// exactly the fitted texts of a reference model, the valid entries around the hostile one keep
// their ids, and every started program gets its entry's parameters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "cell.h"
#include "harness.h"
#include "processes.h"
#include "reference_text.h"

using namespace qx;

namespace {

constexpr int kSlots = 5;
constexpr size_t kTitleCapacity = 80, kTargetCapacity = 260, kCountCapacity = 4;

// Which value of each table a cell makes hostile. The terminal's "ScriptPath", read by the
// script page, joins this list once the settings sheet is there; its cells then also open the
// sheet (qxcell already confirms any sheet the settings item opens and reports it).
enum class Hostile { Count, Title, Target };

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

std::string Name(const char* prefix, int index) {
    char name[32];
    std::snprintf(name, sizeof(name), "%s%02d", prefix, index);
    return name;
}

// Five well-formed entries with double-byte titles; program entries start qxnoop with a
// parameter that names the entry.
StoredTable ValidTable(bool programs) {
    StoredTable table{programs ? kFileKey : kScriptKey, programs ? "Command" : "ScriptFile", {}, {}, {}};
    uint32_t five = kSlots;
    table.count = {REG_DWORD, std::string(reinterpret_cast<char*>(&five), 4)};
    for (int i = 0; i < kSlots; ++i) {
        std::string n = std::to_string(i);
        table.titles[i] = {REG_SZ, Sjis(programs ? "プログラム" : "日記") + n + '\0'};
        table.targets[i] = {REG_SZ,
                            programs ? "qxnoop.exe entry" + n + " " + Sjis("表") + '\0'
                                     : "diary" + n + Sjis("ソ") + ".scr" + '\0'};
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

// The table the add-on should load: the values as the registry's ANSI interface returns them
// (string types are converted on their way in and out), brought into range by the reference.
struct LoadedTable {
    int count = 0;
    std::string titles[kSlots];
    std::string targets[kSlots];
};

LoadedTable ExpectedLoad(const StoredTable& table) {
    LoadedTable loaded;
    RegValue count = ReadValue(table.key, "Count");
    loaded.count = reference::LoadedCount(count.exists, count.type, count.data);
    for (int i = 0; i < loaded.count; ++i) {
        RegValue title = ReadValue(table.key, Name("Title", i).c_str());
        RegValue target = ReadValue(table.key, Name(table.targetPrefix, i).c_str());
        loaded.titles[i] = reference::LoadedText(title.exists, title.data, kTitleCapacity);
        loaded.targets[i] = reference::LoadedText(target.exists, target.data, kTargetCapacity);
    }
    return loaded;
}

std::vector<std::string> Titles(const LoadedTable& table) {
    return std::vector<std::string>(table.titles, table.titles + table.count);
}

// Everything a cell reports: the attach, then the picks of 200..204, 300..304 and 100.
std::vector<std::string> ExpectedReport(const LoadedTable& programs, const LoadedTable& scripts) {
    std::vector<std::string> lines = ExpectedAttach(Titles(programs), Titles(scripts));
    for (int i = 0; i < kSlots; ++i)
        lines.push_back("PICK " + std::to_string(200 + i)); // programs tell the terminal nothing
    for (int i = 0; i < kSlots; ++i) {
        lines.push_back("PICK " + std::to_string(300 + i));
        if (i < scripts.count) {
            const std::string& name = scripts.targets[i];
            lines.push_back(ReportLine(HM_RUNSCRIPT, std::to_string(name.size()), true, &name));
        }
    }
    lines.push_back("PICK 100"); // the settings sheet is still to come: nothing happens yet
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
void ExpectLaunches(const LoadedTable& programs, const CellRun& run) {
    for (int i = 0; i < kSlots; ++i) {
        std::string tag = std::to_string(200 + i);
        auto found = run.launches.find(tag);
        auto [program, params] = reference::SplitLine(programs.targets[i]);
        if (i >= programs.count || program != "qxnoop.exe") {
            EXPECT_TRUE(found == run.launches.end()) << "pick " << tag << " started qxnoop";
            continue;
        }
        ASSERT_TRUE(found != run.launches.end()) << "pick " << tag << " started nothing";
        ASSERT_EQ(found->second.size(), 1u) << "pick " << tag;
        EXPECT_EQ(Escape(ParametersOf(found->second[0])), Escape(params)) << "pick " << tag;
    }
}

// The valid values are still in the registry as they were stored (the settings sheet, once
// confirmed by the cell, must save them back unchanged).
void ExpectValidValuesKept(const StoredTable& table, const StoredTable& valid) {
    for (int i = 0; i < kSlots; ++i) {
        const std::pair<std::string, const Stored*> values[] = {
            {Name("Title", i), &table.titles[i]}, {Name(table.targetPrefix, i), &table.targets[i]}};
        for (size_t v = 0; v < 2; ++v) {
            const Stored& stored = *values[v].second;
            const Stored& original = v == 0 ? valid.titles[i] : valid.targets[i];
            if (stored.data != original.data || stored.type != original.type)
                continue; // the hostile value
            RegValue now = ReadValue(table.key, values[v].first.c_str());
            EXPECT_TRUE(now.exists && now.type == REG_SZ && now.data == original.data)
                << table.key << "\\" << values[v].first << " changed";
        }
    }
}

// Reports the first line where a cell's report departs from the expected one.
void ExpectSameLines(const std::vector<std::string>& actual, const std::vector<std::string>& expected) {
    size_t common = std::min(actual.size(), expected.size());
    for (size_t i = 0; i < common; ++i)
        if (actual[i] != expected[i]) {
            ADD_FAILURE() << "report line " << i << "\n  actual:   " << actual[i]
                          << "\n  expected: " << expected[i];
            return;
        }
    if (actual.size() != expected.size())
        ADD_FAILURE() << "report has " << actual.size() << " lines, expected " << expected.size()
                      << "; first extra: "
                      << (actual.size() > common ? actual[common] : expected[common]);
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

class HostileRegistry : public ::testing::TestWithParam<Hostile> {
  protected:
    void TearDown() override { ResetRegistry(); }

    // Makes one value of each table hostile and runs the cell.
    void RunCellWith(size_t typeIndex, size_t sizeIndex) {
        const TypeCase& type = kTypes[typeIndex];
        const Hostile hostile = GetParam();
        const size_t capacity = hostile == Hostile::Count   ? kCountCapacity
                                : hostile == Hostile::Title ? kTitleCapacity
                                                            : kTargetCapacity;
        const size_t size = SizesAround(capacity)[sizeIndex];
        StoredTable programs = ValidTable(true), scripts = ValidTable(false);
        const StoredTable validPrograms = programs, validScripts = scripts;
        // The hostile slot moves with the cell so that every slot is hostile in some cells.
        const int programSlot = static_cast<int>((typeIndex + sizeIndex) % kSlots);
        std::string description;
        for (StoredTable* table : {&programs, &scripts}) {
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
        LoadedTable expectedPrograms = ExpectedLoad(programs);
        LoadedTable expectedScripts = ExpectedLoad(scripts);

        CellRun run = RunCell("--pick");
        ++cells;
        ASSERT_TRUE(run.started);
        ASSERT_TRUE(run.exited) << "the cell hung";
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.strays, 0u) << "programs still running after the cell";
        ExpectSameLines(run.report, ExpectedReport(expectedPrograms, expectedScripts));
        ExpectTextsWithinCapacity(run.report);
        ExpectLaunches(expectedPrograms, run);
        ExpectValidValuesKept(programs, validPrograms);
        ExpectValidValuesKept(scripts, validScripts);
    }

    int cells = 0;
};

const char* HostileName(Hostile hostile) {
    return hostile == Hostile::Count ? "Count" : hostile == Hostile::Title ? "TitleNN" : "TargetNN";
}

TEST_P(HostileRegistry, AttachAndEveryPickSurviveEveryTypeAndSize) {
    DWORD start = GetTickCount();
    for (size_t typeIndex = 0; typeIndex < std::size(kTypes); ++typeIndex)
        for (size_t sizeIndex = 0; sizeIndex < 7; ++sizeIndex)
            RunCellWith(typeIndex, sizeIndex);
    PrintFigure(std::string("hostile_cells_") + HostileName(GetParam()),
                std::to_string(cells) + " cells in " + std::to_string(GetTickCount() - start) + " ms");
}

std::string ParamName(const ::testing::TestParamInfo<Hostile>& info) { return HostileName(info.param); }

INSTANTIATE_TEST_SUITE_P(Values, HostileRegistry,
                         ::testing::Values(Hostile::Count, Hostile::Title, Hostile::Target), ParamName);

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
// survive): the terminal still gets at most the field's 259 bytes, with the length it holds,
// and a started program gets no byte from behind the field.
TEST(CorruptedTable, TargetsThatLostTheirNulStayWithinTheirField) {
    ResetRegistry();
    const std::string scriptName = "lost-nul-" + std::string(250, 's');
    const std::string commandLine = "qxnoop.exe " + std::string(248, 'p');
    ASSERT_EQ(scriptName.size(), 259u);
    ASSERT_EQ(commandLine.size(), 259u);
    ConfigureTables({{"Program", commandLine}}, {{"Diary", scriptName}});
    TestFrame frame;
    frame.closeReceived = true;
    ASSERT_NE(LoadAddon(), nullptr);
    HWND launcher = FindLauncherWindow(frame.hwnd());
    char* scriptNul = FindInAddonData(scriptName);
    char* commandNul = FindInAddonData(commandLine);
    ASSERT_NE(scriptNul, nullptr);
    ASSERT_NE(commandNul, nullptr);
    *scriptNul = 'Z';
    *commandNul = 'Z';

    frame.journal.clear();
    SendMessageA(launcher, WM_COMMAND, 300, 0);
    ASSERT_EQ(frame.journal.size(), 1u);
    EXPECT_EQ(frame.journal[0].text, scriptName);
    EXPECT_EQ(frame.journal[0].wParam, scriptName.size());

    std::string noopDir = TempPath("qx-noop-corrupted");
    CreateDirectoryA(noopDir.c_str(), NULL);
    EmptyFolder(noopDir);
    SetEnvironmentVariableA("QX_NOOP_DIR", noopDir.c_str());
    SendMessageA(launcher, WM_COMMAND, 200, 0);
    SetEnvironmentVariableA("QX_NOOP_DIR", NULL);
    std::string record;
    for (DWORD start = GetTickCount(); record.find('\n') == std::string::npos; Sleep(20)) {
        std::vector<std::string> files = FilesIn(noopDir);
        if (!files.empty())
            record = ReadFileBytes(noopDir + "\\" + files[0]);
        ASSERT_LT(GetTickCount() - start, 10000u) << "qxnoop did not start";
    }
    Sleep(100); // qxnoop writes its command line right after the tag
    record = ReadFileBytes(noopDir + "\\" + FilesIn(noopDir)[0]);
    EXPECT_EQ(ParametersOf(record.substr(record.find('\n') + 1)), std::string(248, 'p'));
    EmptyFolder(noopDir);
    ResetRegistry();
}

} // namespace
