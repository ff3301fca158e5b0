// Child processes and resource counts: see processes.h.
#include "processes.h"

#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>

#include "harness.h"

namespace qx {

namespace {

constexpr ULONG kSystemHandleInformation = 16;
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);

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

// Every handle of the system, or nothing when the table cannot be had.
std::vector<SystemHandleEntry> SystemHandles() {
    auto query = reinterpret_cast<QuerySystemInformation>(Ntdll("NtQuerySystemInformation"));
    std::vector<unsigned char> buffer(256 * 1024);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        NTSTATUS status = query(kSystemHandleInformation, buffer.data(),
                                static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0)
            return {};
        ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
        auto* first = reinterpret_cast<SystemHandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
        return std::vector<SystemHandleEntry>(first, first + count);
    }
    return {};
}

struct WindowCount {
    DWORD pid;
    int count;
};

void CountIfOwned(HWND window, WindowCount* context) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == context->pid)
        ++context->count;
}

BOOL CALLBACK CountChild(HWND window, LPARAM lParam) {
    CountIfOwned(window, reinterpret_cast<WindowCount*>(lParam));
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM lParam) {
    CountIfOwned(window, reinterpret_cast<WindowCount*>(lParam));
    EnumChildWindows(window, CountChild, lParam); // all descendants, of any process
    return TRUE;
}

int CountWindows(DWORD pid) {
    WindowCount context{pid, 0};
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&context));
    for (HWND window = FindWindowExA(HWND_MESSAGE, NULL, NULL, NULL); window;
         window = FindWindowExA(HWND_MESSAGE, window, NULL, NULL))
        CountIfOwned(window, &context);
    return context.count;
}

// Wine keeps a per-process GDI handle table of 24-byte entries behind the process's PEB
// (GdiSharedHandleTable, offset 0x94 of a 32-bit PEB); an entry in use has a non-zero type.
std::map<int, int> GdiTableEntriesByKind(HANDLE process) {
    std::map<int, int> kinds;
    auto query = reinterpret_cast<QueryInformationProcess>(Ntdll("NtQueryInformationProcess"));
    PROCESS_BASIC_INFORMATION basic = {};
    if (query(process, 0 /* ProcessBasicInformation */, &basic, sizeof(basic), NULL) != 0)
        return kinds;
    DWORD table = 0;
    const char* tableField = reinterpret_cast<const char*>(basic.PebBaseAddress) + 0x94;
    if (!ReadProcessMemory(process, tableField, &table, sizeof(table), NULL) || table == 0)
        return kinds;
    constexpr size_t kEntrySize = 24, kTypeOffset = 14, kChunk = 4096;
    std::vector<unsigned char> chunk(kChunk * kEntrySize);
    for (size_t first = 0; first < 0x10000; first += kChunk) {
        const char* from = reinterpret_cast<const char*>(static_cast<UINT_PTR>(table)) + first * kEntrySize;
        if (!ReadProcessMemory(process, from, chunk.data(), chunk.size(), NULL))
            break;
        for (size_t i = 0; i < kChunk; ++i)
            if (int kind = chunk[i * kEntrySize + kTypeOffset])
                ++kinds[kind];
    }
    return kinds;
}

int CountGdiTableEntries(HANDLE process) {
    std::map<int, int> kinds = GdiTableEntriesByKind(process);
    if (kinds.empty())
        return -1;
    int count = 0;
    for (const auto& kind : kinds)
        count += kind.second;
    return count;
}

} // namespace

JobProcess::~JobProcess() {
    EndAll();
    if (process_)
        CloseHandle(process_);
    if (job_)
        CloseHandle(job_);
}

bool JobProcess::Start(const std::string& commandLine, const std::string& directory) {
    job_ = CreateJobObjectA(NULL, NULL);
    if (!job_)
        return false;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::string line = commandLine;
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, CREATE_SUSPENDED, NULL,
                        directory.empty() ? NULL : directory.c_str(), &startup, &info))
        return false;
    bool assigned = AssignProcessToJobObject(job_, info.hProcess);
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    pid_ = info.dwProcessId;
    return assigned;
}

bool JobProcess::WaitForExit(DWORD timeoutMs) {
    return process_ && WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
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
        return 0;
    return info.ActiveProcesses;
}

static bool WaitForJob(HANDLE job, DWORD allowed, DWORD timeoutMs) {
    for (DWORD start = GetTickCount();; Sleep(5)) {
        if (ActiveInJob(job) <= allowed)
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
    }
}

DWORD JobProcess::ActiveProcesses() const { return ActiveInJob(job_); }

bool JobProcess::WaitForActiveAtMost(DWORD allowed, DWORD timeoutMs) const {
    return WaitForJob(job_, allowed, timeoutMs);
}

DWORD JobProcess::EndAll() {
    DWORD running = ActiveProcesses();
    if (job_ && running)
        TerminateJobObject(job_, 99);
    return running;
}

SelfJob::SelfJob() {
    job_ = CreateJobObjectA(NULL, NULL);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job_)
        SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
    if (job_ && !AssignProcessToJobObject(job_, GetCurrentProcess())) {
        CloseHandle(job_);
        job_ = NULL;
    }
}

DWORD SelfJob::ActiveProcesses() const { return ActiveInJob(job_); }

bool SelfJob::WaitForActiveAtMost(DWORD allowed, DWORD timeoutMs) const {
    return WaitForJob(job_, allowed, timeoutMs);
}

int ProcessHandleCount(DWORD pid) {
    int count = 0;
    for (const SystemHandleEntry& entry : SystemHandles())
        if (entry.ProcessId == pid)
            ++count;
    return count;
}

int OwnHandlesOfType(const wchar_t* typeName) {
    auto query = reinterpret_cast<QueryObject>(Ntdll("NtQueryObject"));
    int count = 0;
    for (const SystemHandleEntry& entry : SystemHandles()) {
        if (entry.ProcessId != GetCurrentProcessId())
            continue;
        alignas(8) unsigned char buffer[1024];
        HANDLE handle = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(entry.Handle));
        if (query(handle, 2 /* ObjectTypeInformation */, buffer, sizeof(buffer), NULL) != 0)
            continue;
        const UNICODE_STRING& name = *reinterpret_cast<UNICODE_STRING*>(buffer);
        if (name.Length / sizeof(wchar_t) == std::wcslen(typeName) &&
            std::wcsncmp(name.Buffer, typeName, name.Length / sizeof(wchar_t)) == 0)
            ++count;
    }
    return count;
}

GuiObjects CountGuiObjects(HANDLE process, DWORD pid) {
    GuiObjects objects;
    objects.user = static_cast<int>(GetGuiResources(process, GR_USEROBJECTS));
    objects.gdi = static_cast<int>(GetGuiResources(process, GR_GDIOBJECTS));
    if (objects.user == 0)
        objects.user = CountWindows(pid);
    if (objects.gdi == 0)
        objects.gdi = CountGdiTableEntries(process);
    return objects;
}

int GdiObjectsOfKinds(HANDLE process, std::initializer_list<int> wanted) {
    std::map<int, int> kinds = GdiTableEntriesByKind(process);
    if (kinds.empty())
        return -1;
    int count = 0;
    for (int kind : wanted)
        count += kinds.count(kind) ? kinds[kind] : 0;
    return count;
}

std::string Describe(const GuiObjects& objects) {
    return "user=" + std::to_string(objects.user) + " gdi=" + std::to_string(objects.gdi);
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(data.cFileName);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return names;
}

void EmptyFolder(const std::string& folder) {
    for (const std::string& name : FilesIn(folder))
        DeleteFileA((folder + "\\" + name).c_str());
}

std::string FolderWithTwoScripts(const std::string& name) {
    std::string folder = TempPath(name);
    CreateDirectoryA(folder.c_str(), NULL);
    for (const char* script : {"\\alpha.scr", "\\beta.scr"})
        CloseHandle(CreateFileA((folder + script).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL));
    return folder;
}

void PrintFigure(const std::string& name, const std::string& value) {
    std::printf("FIGURE %s %s\n", name.c_str(), value.c_str());
    std::fflush(stdout);
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
