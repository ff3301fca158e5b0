// Child processes and resource counts: see processes.h.
#include "processes.h"

#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <iterator>
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "../../tools/qxhost/one_of_each.h"
#include "harness.h"

namespace qx {

namespace {

constexpr ULONG kSystemHandleInformation = 16;
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
constexpr DWORD kQueryFailed = static_cast<DWORD>(-1);

struct SystemHandleEntry {
    ULONG ProcessId;
    UCHAR ObjectTypeNumber;
    UCHAR Flags;
    USHORT Handle;
    PVOID Object;
    ACCESS_MASK GrantedAccess;
};

using QuerySystemInformation = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
using QueryObject = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
using QueryInformationProcess = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

FARPROC Ntdll(const char* name) { return GetProcAddress(GetModuleHandleA("ntdll.dll"), name); }

// The handles of one process in the system's table; false when the table cannot be had.
bool HandlesOf(DWORD pid, std::vector<SystemHandleEntry>& handles) {
    auto query = reinterpret_cast<QuerySystemInformation>(Ntdll("NtQuerySystemInformation"));
    std::vector<unsigned char> buffer(256 * 1024);
    for (int attempt = 0; query && attempt < 8; ++attempt) {
        ULONG needed = 0;
        NTSTATUS status = query(kSystemHandleInformation, buffer.data(),
                                static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0)
            break;
        ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
        auto* first = reinterpret_cast<SystemHandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
        std::copy_if(first, first + count, std::back_inserter(handles),
                     [pid](const SystemHandleEntry& e) { return e.ProcessId == pid; });
        return true;
    }
    ADD_FAILURE() << "the system's handle table could not be read";
    return false;
}

int HandleCount(DWORD pid) {
    std::vector<SystemHandleEntry> handles;
    return HandlesOf(pid, handles) ? static_cast<int>(handles.size()) : -1;
}

} // namespace

// See processes.h; -1 (and the test has failed) when a handle's type cannot be read.
int OwnHandlesOf(ULONG information, const std::wstring& text) {
    std::vector<SystemHandleEntry> handles;
    if (!HandlesOf(GetCurrentProcessId(), handles))
        return -1;
    auto query = reinterpret_cast<QueryObject>(Ntdll("NtQueryObject"));
    int found = 0;
    for (const SystemHandleEntry& entry : handles) {
        alignas(8) unsigned char buffer[2048];
        HANDLE handle = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(entry.Handle));
        if (query(handle, information, buffer, sizeof(buffer), NULL) != 0) {
            if (information == 1)
                continue; // an object without a name
            ADD_FAILURE() << "the type of handle " << handle << " could not be read";
            return -1;
        }
        const UNICODE_STRING& name = *reinterpret_cast<UNICODE_STRING*>(buffer);
        std::wstring read(name.Buffer ? name.Buffer : L"", name.Length / sizeof(wchar_t));
        found += read.size() >= text.size() && read.compare(read.size() - text.size(), text.size(), text) == 0;
    }
    return found;
}

namespace {

static BOOL CALLBACK CountOwned(HWND window, LPARAM counter) {
    auto* count = reinterpret_cast<std::pair<DWORD, int>*>(counter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    count->second += owner == count->first;
    return TRUE;
}

// Windows of the process among `parent`'s children and their descendants; the top-level ones
// (parent NULL) listed in one call, see TopLevelWindows.
int CountWindows(HWND parent, DWORD pid) {
    std::pair<DWORD, int> count{pid, 0};
    if (parent == NULL) {
        for (HWND window : TopLevelWindows()) {
            CountOwned(window, reinterpret_cast<LPARAM>(&count));
            EnumChildWindows(window, CountOwned, reinterpret_cast<LPARAM>(&count));
        }
        return count.second;
    }
    for (HWND window = FindWindowExA(parent, NULL, NULL, NULL); window;
         window = FindWindowExA(parent, window, NULL, NULL)) {
        CountOwned(window, reinterpret_cast<LPARAM>(&count));
        count.second += CountWindows(window, pid);
    }
    return count.second;
}

// Wine keeps a per-process GDI handle table of 24-byte entries behind the process's PEB
// (GdiSharedHandleTable, offset 0x94 of a 32-bit PEB). An entry in use has a type at byte 14;
// byte 12 holds the object's full kind (pens, brushes and extended pens share one type) and the
// stock flag (0x80). Returns the objects by kind, stock objects left out; false when unread.
bool GdiObjectsByKind(HANDLE process, std::map<int, int>& kinds) {
    auto query = reinterpret_cast<QueryInformationProcess>(Ntdll("NtQueryInformationProcess"));
    PROCESS_BASIC_INFORMATION basic = {};
    DWORD table = 0;
    const char* tableField = nullptr;
    if (query && query(process, 0 /* ProcessBasicInformation */, &basic, sizeof(basic), NULL) == 0)
        tableField = reinterpret_cast<const char*>(basic.PebBaseAddress) + 0x94;
    if (!tableField || !ReadProcessMemory(process, tableField, &table, sizeof(table), NULL) || !table) {
        ADD_FAILURE() << "the GDI table of the process could not be found";
        return false;
    }
    constexpr size_t kEntrySize = 24, kChunk = 4096;
    std::vector<unsigned char> chunk(kChunk * kEntrySize);
    for (size_t first = 0; first < 0x10000; first += kChunk) {
        const char* from = reinterpret_cast<const char*>(static_cast<UINT_PTR>(table)) + first * kEntrySize;
        if (!ReadProcessMemory(process, from, chunk.data(), chunk.size(), NULL)) {
            ADD_FAILURE() << "the GDI table of the process could not be read";
            return false;
        }
        for (size_t i = 0; i < kChunk; ++i) {
            const unsigned char* entry = &chunk[i * kEntrySize];
            if (entry[14] && !(entry[12] & 0x80))
                ++kinds[entry[12]];
        }
    }
    return true;
}

// The GDI counts of a process: every object, and each kind (Wine's kinds: DCs 0x01, memory DCs
// 0x41, regions 0x04, palettes 0x08, bitmaps 0x09, fonts 0x0a, brushes 0x10, pens 0x30 and 0x50).
void CountGdi(HANDLE process, Snapshot& s) {
    std::map<int, int> kinds;
    if (DWORD all = GetGuiResources(process, GR_GDIOBJECTS)) { // counted by the platform: all stay flat
        s.gdi = static_cast<int>(all);
    } else if (GdiObjectsByKind(process, kinds)) {
        s.gdi = 0;
        for (const auto& kind : kinds)
            s.gdi += kind.second;
        s.dcs = kinds[0x01] + kinds[0x41];
        s.regions = kinds[0x04], s.palettes = kinds[0x08], s.bitmaps = kinds[0x09], s.fonts = kinds[0x0a];
        s.brushes = kinds[0x10], s.pens = kinds[0x30] + kinds[0x50];
    }
}

int CountMappedViews() {
    int count = 0;
    MEMORY_BASIC_INFORMATION info;
    for (const char* address = nullptr; VirtualQuery(address, &info, sizeof(info)) == sizeof(info);
         address = static_cast<const char*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type == MEM_MAPPED)
            ++count;
        if (reinterpret_cast<UINT_PTR>(info.BaseAddress) + info.RegionSize < reinterpret_cast<UINT_PTR>(address))
            break;
    }
    return count;
}

} // namespace

JobProcess::~JobProcess() {
    DWORD code = ExitCode(); // a crash ends a program with 3 (its own filter) or the exception's code
    EXPECT_TRUE(code != 3 && code < 0xC0000000) << "process " << pid_ << " crashed: exit code " << std::hex << code;
    EndAll();
    if (process_)
        CloseHandle(process_);
    if (job_)
        CloseHandle(job_);
}

// A job that ends its processes when its last handle is closed.
static HANDLE NewJob() {
    HANDLE job = CreateJobObjectA(NULL, NULL);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job)
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
    return job;
}

bool JobProcess::Start(const std::string& commandLine, const std::string& directory) {
    job_ = NewJob();
    if (!job_)
        return false;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::string line = commandLine;
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, CREATE_SUSPENDED, NULL,
                        directory.empty() ? NULL : directory.c_str(), &startup, &info))
        return false;
    bool assigned = AssignProcessToJobObject(job_, info.hProcess);
    if (assigned)
        ResumeThread(info.hThread);
    else // outside the job nothing would end it, nor count what it starts
        TerminateProcess(info.hProcess, 99);
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
    return assigned;
}

bool JobProcess::WaitForExit(DWORD timeoutMs) {
    return process_ && WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

bool JobProcess::WaitForExitPumping(DWORD timeoutMs) {
    return WaitUntil([this] {
        PumpPending();
        return WaitForExit(0);
    }, timeoutMs);
}

DWORD JobProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_)
        GetExitCodeProcess(process_, &code);
    return code;
}

static DWORD ActiveInJob(HANDLE job) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
    if (!job || !QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info,
                                           sizeof(info), NULL))
        return kQueryFailed;
    return info.ActiveProcesses;
}

bool Job::WaitForActiveAtMost(DWORD allowed, DWORD timeoutMs) const {
    return WaitUntil([&] {
        DWORD active = ActiveInJob(job_);
        return active != kQueryFailed && active <= allowed;
    }, timeoutMs);
}

DWORD JobProcess::EndAll() {
    if (!job_)
        return 0;
    DWORD running = ActiveInJob(job_);
    if (running)
        TerminateJobObject(job_, 99);
    return running;
}

HWND StartTerminal(JobProcess& host, const std::string& arguments) {
    const bool loads = arguments.find("--no-load") == std::string::npos;
    HWND frame = NULL;
    // Its frame among all of the class: the test's own frame may come first.
    bool up = host.Start("\"" + ExeDirectory() + "qxhost.exe\" " + arguments, ExeDirectory()) && WaitUntil([&] {
        frame = NULL;
        for (HWND window : TopLevelWindows()) {
            DWORD owner = 0;
            char name[32] = "";
            GetWindowThreadProcessId(window, &owner);
            if (owner == host.pid() && GetClassNameA(window, name, sizeof(name)) && std::strcmp(name, "QuolixFrameClass") == 0)
                frame = window;
        }
        return frame != NULL && (!loads || FindLauncherWindow(frame));
    }, 10000);
    EXPECT_TRUE(up) << "the stand-in terminal did not come up: " << arguments;
    return up ? frame : NULL;
}

SelfJob::SelfJob() {
    static const HANDLE job = [] { // a process joins one job only
        HANDLE made = NewJob();
        return made && AssignProcessToJobObject(made, GetCurrentProcess()) ? made : NULL;
    }();
    job_ = job;
}

RecorderLog::RecorderLog() {
    EXPECT_TRUE(job_.ok());
    SetEnvironmentVariableA("QX_RECORDER_LOG", log_.c_str());
}

std::vector<std::string> RecorderLog::Starts() const {
    EXPECT_TRUE(job_.WaitForActiveAtMost(1, 10000)) << "started programs still run";
    return ReadLines(log_);
}

std::vector<std::pair<const char*, int>> Snapshot::Counts() const {
    return {{"handles", handles}, {"windows", windows}, {"gdi", gdi},          {"DCs", dcs},
            {"bitmaps", bitmaps}, {"regions", regions}, {"pens", pens},        {"brushes", brushes},
            {"fonts", fonts},     {"palettes", palettes}, {"views", views},    {"sections", sections}};
}

std::string Snapshot::Describe() const {
    std::string out;
    for (const auto& [name, count] : Counts())
        if (count >= 0)
            out += std::string(out.empty() ? "" : " ") + name + "=" + std::to_string(count);
    return out;
}

Snapshot OwnSnapshot() {
    Snapshot s = SnapshotOf(GetCurrentProcess(), GetCurrentProcessId());
    s.views = CountMappedViews();
    s.sections = OwnHandlesOf(2, L"Section");
    return s;
}

Snapshot SnapshotOf(HANDLE process, DWORD pid) {
    Snapshot s;
    s.handles = HandleCount(pid);
    DWORD windows = GetGuiResources(process, GR_USEROBJECTS);
    s.windows = windows ? static_cast<int>(windows) : CountWindows(NULL, pid) + CountWindows(HWND_MESSAGE, pid);
    CountGdi(process, s);
    return s;
}

void ExpectFlat(const Snapshot& before, const Snapshot& after) {
    auto was = before.Counts(), is = after.Counts();
    for (size_t i = 0; i < was.size(); ++i)
        if (was[i].second >= 0 || is[i].second >= 0)
            EXPECT_EQ(is[i].second, was[i].second) << is[i].first;
}

void ExpectNoneMore(const Snapshot& before, const Snapshot& after) {
    auto was = before.Counts(), is = after.Counts();
    for (size_t i = 0; i < was.size(); ++i)
        if (was[i].second >= 0 || is[i].second >= 0)
            EXPECT_LE(is[i].second, was[i].second) << is[i].first;
}

void ExpectCountsSeeObjectsMadeOnPurpose(HWND standInFrame, HANDLE process, DWORD pid) {
    const bool own = standInFrame == NULL;
    const auto snapshot = [&] { return own ? OwnSnapshot() : SnapshotOf(process, pid); };
    OneOfEach first{}, made{}; // a thread's first window brings an input-method window along
    const auto ask = [&](WPARAM make) { return SendMessageA(standInFrame, OneOfEachMessage(), make, 0) != 0; };
    bool firstMade = !own || MakeOneOfEach(first);
    Snapshot before = snapshot();
    HANDLE section = own ? CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 4096, NULL) : NULL;
    void* view = own ? MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0) : NULL;
    bool allMade = own ? MakeOneOfEach(made) : ask(1);
    Snapshot with = snapshot();
    own ? ReleaseOneOfEach(made) : (void)ask(0);
    UnmapViewOfFile(view);
    CloseHandle(section);
    Snapshot after = snapshot();
    ReleaseOneOfEach(first);
    ASSERT_TRUE(firstMade && allMade && (!own || (section && view))) << "objects made on purpose";
    Snapshot oneMore = before; // the section is a handle too; the DC and five objects are GDI's
    for (int* count : {&oneMore.windows, &oneMore.dcs, &oneMore.bitmaps, &oneMore.regions, &oneMore.pens, &oneMore.brushes, &oneMore.fonts})
        *count += *count >= 0;
    for (int* count : {&oneMore.handles, &oneMore.sections, &oneMore.views})
        *count += own && *count >= 0;
    oneMore.gdi += oneMore.gdi >= 0 ? 6 : 0;
    SCOPED_TRACE(own ? "one object of each kind made on purpose in this process" : "the same in the stand-in terminal");
    ExpectFlat(oneMore, with);
    ExpectFlat(before, after);
}

void ExpectHandleCountSeesADuplicate(HANDLE process, DWORD pid) {
    int before = HandleCount(pid);
    HANDLE event = CreateEventA(NULL, FALSE, FALSE, NULL), remote = NULL;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), event, process, &remote, 0, FALSE,
                                DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE));
    int with = HandleCount(pid);
    HANDLE back = NULL; // closed there by bringing it back
    if (DuplicateHandle(process, remote, GetCurrentProcess(), &back, 0, FALSE, DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE))
        CloseHandle(back);
    EXPECT_EQ(with, before + 1) << "a handle duplicated into process " << pid;
    EXPECT_EQ(HandleCount(pid), before);
}

void MakeSystemColourBrushes() {
    for (int colour = 0; colour <= COLOR_MENUBAR; ++colour)
        GetSysColorBrush(colour);
}

void PrintFigure(const std::string& name, const std::string& value) {
    std::printf("FIGURE %s %s\n", name.c_str(), value.c_str());
    std::fflush(stdout);
}

void PrintCounts(const std::string& name, const std::string& run, const Snapshot& before, const Snapshot& after) {
    PrintFigure(name, run + ", before: " + before.Describe() + "; after: " + after.Describe());
}

int CountFromEnvironment(const char* name, int lightDefault) {
    char value[32];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof(value));
    if (n == 0 || n >= sizeof(value))
        return lightDefault;
    int parsed = std::atoi(value);
    return parsed > 0 ? parsed : lightDefault;
}

} // namespace qx
