// A simulated Windows machine: the state behind the simulated platform
// operations, and the knobs and records a test uses to stage a scenario and
// check what the tool did.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "common/wintypes.h"
#include "sim/devices/devices.h"
#include "sim/kernel/clock.h"
#include "sim/kernel/debug_output.h"
#include "sim/kernel/faults.h"
#include "sim/kernel/security.h"
#include "sim/kernel/volume.h"
#include "sim/registry/registry.h"
#include "sim/spooler/spooler.h"
#include "sim/ui/dialogs.h"
#include "sim/ui/message_boxes.h"
#include "sim/ui/shell.h"

namespace sim {

// Thrown by the simulated machine into the tool's code when a story passes a
// limit no real run reaches; the process (or the test) ends there.
struct RunawayStory : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Thrown into a worker thread at its next platform call once its process has
// ended, as Windows ends every thread of a process whose entry returned.
struct ProcessEnded {};

// What no real run comes near: the longest story takes a few minutes of
// virtual time, a dozen boxes, a few scans and well under a thousand calls.
struct StoryLimits {
    uint64_t virtualMs = 60 * 60 * 1000;
    unsigned messageBoxes = 100;
    unsigned scans = 1000;
    unsigned platformCalls = 200000;
};

// Runs the tool's logic as one process: its instance handle and the command
// line without the program name, as the GUI entry point receives them.
using ToolEntry = std::function<int(HINSTANCE instance, const wchar_t* commandLine)>;

struct ProcessContext {
    std::wstring imagePath;
    std::wstring commandLine; // without the program name
    HINSTANCE instance = nullptr;
    DWORD id = 0;
};

struct LaunchRecord {
    std::wstring commandLine; // as passed to CreateProcessW
    std::wstring imagePath;   // the program it named
    std::wstring arguments;   // what that program's entry point receives
    bool toolImage = false;   // the program is a copy of the tool
    bool ran = false;
    DWORD processId = 0;
    DWORD exitCode = STILL_ACTIVE; // once it ran
};

enum class HandleKind { Process, Thread, Folder, File, Mutex };

class Machine {
public:
    Machine();
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // ---- Settings of the machine ----
    LANGID uiLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    WORD processorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    std::wstring windowsDirectory = L"C:\\Windows";
    std::wstring systemDirectory = L"C:\\Windows\\system32";
    std::wstring tempPath = L"C:\\Users\\Operator\\AppData\\Local\\Temp\\";
    // The local time when the virtual clock reads 0; GetLocalTime adds the clock.
    SYSTEMTIME bootTime = {2026, 12, 2, 8, 9, 0, 0, 0};
    // The exit code of a launched program that is not the tool (the machine does not run it).
    DWORD otherProgramsExitCode = 0;
    // What GetVersionExW reports to a program that declares Windows 10 support.
    DWORD versionMajor = 10, versionMinor = 0, versionBuild = 19045;
    // What GetDriveTypeW says of each drive letter (upper case); a letter not
    // listed has no root. Add a folder for the root to the volume as well.
    std::map<wchar_t, UINT> driveTypes = {{L'C', DRIVE_FIXED}};
    // Known folders as SHGetKnownFolderPath reports them; the machine starts
    // with the usual ones, each folder present on the volume.
    void SetKnownFolder(const KNOWNFOLDERID& id, const std::wstring& path);
    std::optional<std::wstring> KnownFolder(const KNOWNFOLDERID& id) const;

    // ---- Parts of the machine ----
    VirtualClock clock;
    Volume volume;
    FaultPlan faults;
    DebugOutput debug;
    MessageBoxes messageBoxes;
    DialogManager dialogs;
    Shell shell;
    Registry registry;
    Devices devices{registry};
    Spooler spooler{volume, registry, devices, clock, systemDirectory, processorArchitecture};
    // Guards the machine's state against the tool's threads.
    std::recursive_mutex& Lock() { return lock_; }

    // ---- Processes ----
    // The bytes of the tool's executable; any file with them runs the tool.
    static const std::string kToolImage;
    void InstallTool(const std::wstring& path);
    void SetToolEntry(ToolEntry entry) { entry_ = std::move(entry); }
    // Runs the tool from imagePath as a new process on this machine.
    int RunTool(const std::wstring& imagePath, const std::wstring& arguments, DWORD processId = 0);
    // Runs, in launch order, the launched processes that are copies of the
    // tool and have not run yet (also those they launch). A chain longer
    // than `limit` is a violation. Returns how many ran.
    size_t RunLaunchedTools(size_t limit = 8);
    // Makes the calling code a tool process of this machine until EndProcess,
    // for tests that drive platform operations directly. Returns its instance.
    HINSTANCE BeginProcess(const std::wstring& imagePath, const std::wstring& arguments, DWORD processId = 0);
    // Its workers end with it (EndWorkerThreads).
    void EndProcess();
    const ProcessContext& CurrentProcess() const { return current_; }
    // True while the current process runs inside another one's wait for it.
    bool RunsInsideAWait() const { return outer_.size() > 1; }
    std::vector<LaunchRecord> Launches() const;
    // Each Sleep of the tool: where it was called from, and how long. The
    // fixed waits are the only virtual time a story should take.
    struct SleepRecord {
        const void* site;
        DWORD milliseconds;
    };
    void RecordSleep(const void* site, DWORD milliseconds);
    std::vector<SleepRecord> Sleeps() const;
    // CreateProcessW's effect: 0 and the new process's id, or the error Windows would give.
    DWORD Launch(const std::wstring& commandLine, DWORD* processId);
    // A handle on a process this machine launched, or on one that runs.
    HANDLE OpenProcessHandle(DWORD processId);
    // The process runs: this one, one it runs inside, or one launched that has not ended.
    bool ProcessRuns(DWORD processId) const;
    // WaitForSingleObject on a process handle. A launched copy of the tool
    // that has not run yet runs now, inside the wait, as it would run while
    // its launcher waits; any other launched program has ended at once. A
    // process that is still running further up (the waiting one itself, or
    // the one that waits for it) cannot end during the wait: the wait times out.
    DWORD WaitForProcess(HANDLE handle, DWORD milliseconds);
    // GetExitCodeProcess: false for a handle that is no process handle.
    bool ExitCodeOf(HANDLE handle, DWORD* exitCode) const;
    unsigned NextTempUnique() { return nextTempUnique_++; }
    uint32_t NextSerial() { return nextSerial_++; }

    // ---- The heap of LocalAlloc: what is still allocated goes when the process does ----
    void TrackBlock(void* block);
    // False for a block that is not allocated (a double free).
    bool UntrackBlock(void* block);
    // Frees every block still allocated, as the end of a process does.
    void ReleaseHeap();
    std::set<void*> HeapBlocks() const;

    // ---- Who acts ----
    // The tool runs elevated: its manifest asks for administrator rights.
    Token toolToken;
    // The token of the calling thread: the tool's, or an actor's while it acts.
    const Token& CallerToken() const;
    // Runs `action` as another process of the machine with `token`: its
    // platform operations are checked against that token, never counted or
    // failed as the tool's.
    void RunAs(const Token& token, const std::function<void()>& action);
    bool ActorActing() const;
    // Another process that acts before each of the tool's platform
    // operations (a process of the same user watching what the tool does);
    // it learns which operation the tool is about to call.
    void SetActorBetweenCalls(const Token& token, std::function<void(const char* operation)> action);
    void ActBetweenCalls(const char* operation);

    // ---- Restart ----
    // Everything stops, the pending renames happen, and the spooler starts
    // again if it ran.
    void Restart();
    unsigned Restarts() const { return restarts_; }

    // ---- Handles and threads ----
    HANDLE NewHandle(HandleKind kind);
    bool CloseHandle(HANDLE handle);
    // A folder opened without FILE_SHARE_DELETE: neither it nor a folder
    // above it can be moved or deleted until the handle is closed.
    HANDLE HoldFolder(const std::wstring& path) { return Hold(path, HandleKind::Folder); }
    std::vector<std::wstring> HeldFolders() const;
    // A file opened without write or delete sharing: it can be read and run,
    // not changed, renamed or deleted, until the handle is closed.
    HANDLE HoldFile(const std::wstring& path) { return Hold(path, HandleKind::File); }
    // A file opened for appending, shared for reading, writing and deleting:
    // the handle stays on that file whatever happens to its name.
    HANDLE OpenFile(Volume::FileId file);
    // What a file or folder handle is open on (a held one cannot be renamed);
    // nullopt for any other handle. *appending for a handle that may write.
    std::optional<Volume::FileId> FileOf(HANDLE handle, bool* appending) const;
    size_t OpenHandles(HandleKind kind) const;

    // ---- Named mutexes, by which processes see each other ----
    // Another process made the mutex with `security` (its owner, and who may
    // open it) and holds it open until ReleaseNamedMutex.
    void HoldNamedMutex(const std::wstring& name, const SecurityDescriptor& security);
    void ReleaseNamedMutex(const std::wstring& name);
    bool NamedMutexExists(const std::wstring& name) const;
    // CreateMutexW's effect for `who`: a handle, or null with *error; *existed
    // when the mutex was there already.
    HANDLE CreateNamedMutex(const std::wstring& name, const SecurityDescriptor* own, const Token& who, DWORD* error,
                            bool* existed);
    // The security of the mutex a handle is open on; nullopt for any other handle.
    std::optional<SecurityDescriptor> MutexSecurity(HANDLE handle) const;
    // Null when the host cannot make the thread.
    HANDLE StartThread(LPTHREAD_START_ROUTINE routine, LPVOID parameter);
    // The caller waits until every worker thread has finished its work.
    void JoinThreads();
    // WaitForSingleObject on a thread's handle: the caller lets the workers
    // go on and waits until that thread has ended. WAIT_FAILED for a handle
    // that is no thread's, and for a timed wait that would have to time out
    // (a host thread's pace is no virtual time).
    DWORD WaitForThread(HANDLE handle, DWORD milliseconds);
    // The entry of the tool has returned: its workers end with the process.
    // One still at work is stopped at its next platform call and recorded.
    void EndWorkerThreads();
    // Once a dialog has ended with workers running, the thread that ran it
    // goes on alone until the process ends or it waits for them: on Windows
    // that thread may well reach the end first, and then the workers never
    // run again. Each of the workers' platform calls passes through here.
    void HoldWorkers();
    void ReleaseWorkers();
    void WorkerCall(const char* operation);
    // What each worker stopped by the end of its process was about to do.
    std::vector<std::string> WorkersCutShort() const;

    // ---- Limits: a story that runs away fails at once, named ----
    StoryLimits limits;
    // Counts one of the tool's platform calls; past a limit it reports the
    // story and throws RunawayStory.
    void CountCall(const char* operation);
    void CheckTime();

    // ---- Findings: anything the tool did that a test must treat as a failure ----
    void ReportViolation(const std::string& what);
    std::vector<std::string> Violations() const;

private:
    // Runs the routine on a host thread that ends quietly when the story or the process is stopped.
    void StartHostThread(LPTHREAD_START_ROUTINE routine, LPVOID parameter, HANDLE handle);
    HANDLE Hold(const std::wstring& path, HandleKind kind);

    mutable std::recursive_mutex lock_;
    std::map<std::string, std::wstring> knownFolders_; // by the identifier's bytes
    ToolEntry entry_;
    ProcessContext current_;
    std::vector<ProcessContext> outer_;
    unsigned processCount_ = 0;
    std::vector<LaunchRecord> launches_;
    unsigned nextTempUnique_ = 0x1A2B;
    uint32_t nextSerial_ = 1;
    uintptr_t nextHandle_ = 0x1000;
    std::map<HANDLE, HandleKind> handles_;
    std::map<HANDLE, std::wstring> heldFolders_; // by handle, the folder or file as opened
    std::map<HANDLE, Volume::FileId> openFiles_; // by handle, the file appended to
    struct NamedMutex {
        SecurityDescriptor security;
        unsigned handles = 0;
        bool heldByOther = false;
    };
    std::map<std::wstring, NamedMutex> mutexes_;  // by name, case as given (Windows compares it exactly)
    std::map<HANDLE, std::wstring> mutexHandles_; // by handle, the mutex's name
    std::map<HANDLE, DWORD> processHandles_;      // by handle, the id of the process
    std::map<DWORD, DWORD> exitCodes_;            // by id, the processes that ended
    Token actorToken_;
    std::function<void(const char*)> actor_;
    std::atomic<bool> hasActor_{false}; // spares every call the lock when no actor is set
    unsigned restarts_ = 0;
    std::atomic<unsigned> calls_{0};
    std::atomic<unsigned> scans_{0};
    std::atomic<unsigned> boxes_{0};
    [[noreturn]] void RunAway(const std::string& what);
    std::unordered_set<void*> heap_; // hashed: an inventory of thousands of queues allocates thousands
    std::vector<std::thread> threads_;
    mutable std::mutex workersMutex_;
    std::condition_variable workersChanged_;
    bool workersHeld_ = false;
    bool processEnded_ = false;
    std::map<HANDLE, bool> threadEnded_; // by the thread's handle, under workersMutex_
    std::vector<SleepRecord> sleeps_;    // under lock_
    std::vector<std::string> workersCutShort_;
    mutable std::mutex violationsMutex_;
    std::vector<std::string> violations_;
};

// Splits a command line as Windows does for the program name: a quoted
// first token, or everything up to the first blank. The rest, without the
// blanks that follow the program name, is what the program's entry point gets.
void SplitCommandLine(const std::wstring& commandLine, std::wstring* program, std::wstring* arguments);

} // namespace sim
