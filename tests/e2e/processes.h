// Child processes and resource counts for the reliability tests: programs run inside a job of
// their own (so that every program they start is accounted for and none outlives the test),
// and the handle, window and GDI object counts of any process, read from outside it.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "harness.h"

namespace qx {

// A job that ends its processes when its last handle is closed; the programs its processes
// start (through the shell or otherwise) join it.
class Job {
  public:
    bool ok() const { return job_ != NULL; }
    // Waits until at most `allowed` processes of the job run; false on timeout or when the job
    // cannot be queried.
    bool WaitForActiveAtMost(DWORD allowed, DWORD timeoutMs) const;

  protected:
    HANDLE job_ = NULL;
};

// A process started suspended inside a new job of its own.
class JobProcess : public Job {
  public:
    JobProcess() = default;
    JobProcess(const JobProcess&) = delete;
    JobProcess& operator=(const JobProcess&) = delete;
    ~JobProcess(); // ends whatever is still running

    bool Start(const std::string& commandLine, const std::string& directory);
    DWORD pid() const { return pid_; }
    HANDLE process() const { return process_; }
    // Waits for the first process to end; false on timeout.
    bool WaitForExit(DWORD timeoutMs);
    // Waits for the first process to end while this thread's messages are handled (the process
    // may send to windows of this thread); false on timeout.
    bool WaitForExitPumping(DWORD timeoutMs);
    DWORD ExitCode() const;
    // Ends every process of the job; returns how many were still running.
    DWORD EndAll();

  private:
    HANDLE process_ = NULL;
    DWORD pid_ = 0;
};

// Starts the stand-in terminal (qxhost.exe) in the test program's folder with these arguments;
// returns its frame once it is there and, unless it loads no add-on (--no-load), the add-on's
// launcher window under it; null (and the test has failed) when they do not come.
HWND StartTerminal(JobProcess& host, const std::string& arguments);

// The calling process's own job (this process counts among its processes), made on first use,
// so that a test can wait until the programs it had started have ended.
class SelfJob : public Job {
  public:
    SelfJob();
};

// The recorder (recorder.cpp) standing in for the programs the add-on starts: each start appends
// its arguments and folder to a log in a test folder. The starts are read once every program
// this process started has ended (they join its job), so the log then holds every start.
class RecorderLog {
  public:
    RecorderLog();
    std::string program() const { return ExeDirectory() + "recorder.exe"; }
    std::vector<std::string> Starts() const;
    void Clear() const { DeleteFileA(log_.c_str()); }

  private:
    SelfJob job_;
    TestFolder folder_{"qx-recorder"};
    std::string log_ = folder_ / "log.txt";
};

// What a process holds. Wine implements neither GetProcessHandleCount nor GetGuiResources:
// handles are read from the system's handle table, windows by enumeration, GDI objects from the
// process's GDI table. A count whose query failed is -1 and has failed the test.
struct Snapshot {
    int handles = -1;
    int windows = -1;
    int gdi = -1;      // every GDI object
    // By kind, from Wine's table (-1 where the platform counts them all itself).
    int dcs = -1, bitmaps = -1, regions = -1, pens = -1, brushes = -1, fonts = -1, palettes = -1;
    int views = -1;    // mapped views (this process only)
    int sections = -1; // section handles (this process only)
    std::vector<std::pair<const char*, int>> Counts() const; // by name, -1 where not read
    std::string Describe() const;
};
Snapshot OwnSnapshot();
// Handles, windows and GDI objects of another process; `process` needs
// PROCESS_QUERY_INFORMATION and PROCESS_VM_READ.
Snapshot SnapshotOf(HANDLE process, DWORD pid);
// This process's handles whose object type (`information` 2) or name (1) ends with `text`.
int OwnHandlesOf(ULONG information, const std::wstring& text);
// The counts that both snapshots hold are equal.
void ExpectFlat(const Snapshot& before, const Snapshot& after);
// No count that both snapshots hold rose. A fall passes: the platform lets go of objects of its
// own caches now and then (Wine a bitmap, a region), while a leak of the add-on's is a rise.
void ExpectNoneMore(const Snapshot& before, const Snapshot& after);

// Positive controls: each count of a process moves by one when one object of its kind is made
// on purpose there, and back when it is released: in this process (a section and a view too),
// or with a frame, in the stand-in terminal's (tools/qxhost/one_of_each.h). A handle duplicated
// into another process on purpose shows in that process's count.
void ExpectCountsSeeObjectsMadeOnPurpose(HWND standInFrame = NULL, HANDLE process = NULL, DWORD pid = 0);
void ExpectHandleCountSeesADuplicate(HANDLE process, DWORD pid);

// Wine makes the brush of a system colour the first time something paints with it; made
// beforehand, none can appear during a count.
void MakeSystemColourBrushes();

// One line of figures for the reliability record: "FIGURE <name> <value>"; the counts of a run.
void PrintFigure(const std::string& name, const std::string& value);
void PrintCounts(const std::string& name, const std::string& run, const Snapshot& before, const Snapshot& after);

// A count from the environment (QX_STRESS_...), or the light default.
int CountFromEnvironment(const char* name, int lightDefault);

} // namespace qx
