// Child processes and resource counts for the reliability tests: programs run inside a job of
// their own (so that every program they start is accounted for and none outlives the test),
// and the handle, window and GDI object counts of any process, read from outside it.
#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace qx {

// A process started suspended inside a new job that ends every process of the job when it is
// closed. Programs the process starts (through the shell or otherwise) join the job.
class JobProcess {
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
    DWORD ExitCode() const;
    // Processes of the job still running.
    DWORD ActiveProcesses() const;
    // Waits until at most `allowed` processes of the job run; false on timeout.
    bool WaitForActiveAtMost(DWORD allowed, DWORD timeoutMs) const;
    // Ends every process of the job; returns how many were still running.
    DWORD EndAll();

  private:
    HANDLE job_ = NULL;
    HANDLE process_ = NULL;
    DWORD pid_ = 0;
};

// The calling process's own job: its children join it, so that a test can wait until the
// programs it had started have ended. One per process.
class SelfJob {
  public:
    SelfJob();
    bool ok() const { return job_ != NULL; }
    DWORD ActiveProcesses() const; // this process included
    bool WaitForActiveAtMost(DWORD allowed, DWORD timeoutMs) const;

  private:
    HANDLE job_ = NULL;
};

// Open handles of a process, counted from the system's handle table (works from outside).
int ProcessHandleCount(DWORD pid);
// Handles of this process whose object is of the given type ("Section", "Key", ...).
int OwnHandlesOfType(const wchar_t* typeName);

struct GuiObjects {
    int user = 0; // windows of the process where GetGuiResources is not implemented (Wine)
    int gdi = 0;  // entries of the process's GDI handle table where it is not (Wine)
    bool operator==(const GuiObjects& other) const { return user == other.user && gdi == other.gdi; }
};
// USER and GDI objects of a process; `process` needs PROCESS_QUERY_INFORMATION and
// PROCESS_VM_READ.
GuiObjects CountGuiObjects(HANDLE process, DWORD pid);
std::string Describe(const GuiObjects& objects);
// Wine's GDI objects of the given kinds (its table's type byte), -1 where the table cannot be
// read. The kinds a page could create and forget: fonts, brushes, pens and palettes.
constexpr int kGdiFont = 0x0a, kGdiBrush = 0x10, kGdiPen = 0x30, kGdiExtPen = 0x50, kGdiPalette = 0x08;
int GdiObjectsOfKinds(HANDLE process, std::initializer_list<int> kinds);

// Files of a folder (names only), and removing them.
std::vector<std::string> FilesIn(const std::string& folder);
void EmptyFolder(const std::string& folder);
// A folder under the temporary folder holding two empty scripts, "alpha.scr" and "beta.scr":
// a terminal's script folder. Returns its path.
std::string FolderWithTwoScripts(const std::string& name);

// One line of figures for the reliability record: "FIGURE <name> <value>".
void PrintFigure(const std::string& name, const std::string& value);

// A count from the environment (QX_STRESS_...), or the light default.
int CountFromEnvironment(const char* name, int lightDefault);

} // namespace qx
