#include "sim/machine.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <system_error>

#include "sim/kernel/wide.h"

namespace sim {

const std::string Machine::kToolImage = "MZ\x90 printer-setup tool image";

Machine::Machine()
    : messageBoxes([this](const std::string& what) { ReportViolation(what); }),
      dialogs([this](const std::string& what) { ReportViolation(what); }, [this] { HoldWorkers(); },
              [this] { return clock.NowMs(); })
{
    const std::wstring profile = L"C:\\Users\\Operator";
    // Who may write where, as a fresh Windows sets it up. Everything made
    // below these folders inherits from them.
    const std::wstring administered = L"(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    const std::wstring readByUsers = L"(A;OICI;0x1200a9;;;BU)";
    const std::pair<std::wstring, std::wstring> secured[] = {
        {L"C:\\Windows", L"O:SYD:P" + administered + readByUsers},
        // Users may add files and folders here, and change only their own.
        {L"C:\\Windows\\Temp", L"O:SYD:P" + administered + L"(A;OICIIO;FA;;;CO)(A;CI;0x100026;;;BU)"},
        {L"C:\\Users", L"O:SYD:P" + administered + readByUsers},
        {profile, L"O:" + std::wstring(kOperatorSid) + L"D:P" + administered + L"(A;OICI;FA;;;" + kOperatorSid + L")"},
        {L"C:\\Users\\Public", L"O:SYD:P" + administered + L"(A;OICI;0x1301bf;;;BU)"},
        {L"C:\\Program Files", L"O:SYD:P" + administered + readByUsers},
        {L"C:\\Program Files (x86)", L"O:SYD:P" + administered + readByUsers},
        {L"C:\\ProgramData", L"O:SYD:P" + administered + L"(A;OICIIO;FA;;;CO)" + readByUsers + L"(A;CI;0x100006;;;BU)"},
    };
    for (const auto& [path, sddl] : secured) {
        volume.CreateDirectory(path);
        volume.SetSecurity(path, *ParseSddl(sddl));
    }
    volume.CreateDirectory(systemDirectory);
    volume.CreateDirectory(tempPath);
    const std::pair<const KNOWNFOLDERID*, std::wstring> folders[] = {
        {&FOLDERID_Windows, L"C:\\Windows"},
        {&FOLDERID_UserProfiles, L"C:\\Users"},
        {&FOLDERID_Profile, profile},
        {&FOLDERID_Desktop, profile + L"\\Desktop"},
        {&FOLDERID_Documents, profile + L"\\Documents"},
        {&FOLDERID_Downloads, profile + L"\\Downloads"},
        {&FOLDERID_Music, profile + L"\\Music"},
        {&FOLDERID_Pictures, profile + L"\\Pictures"},
        {&FOLDERID_Videos, profile + L"\\Videos"},
        {&FOLDERID_Public, L"C:\\Users\\Public"},
        {&FOLDERID_PublicDesktop, L"C:\\Users\\Public\\Desktop"},
        {&FOLDERID_PublicDocuments, L"C:\\Users\\Public\\Documents"},
        {&FOLDERID_PublicDownloads, L"C:\\Users\\Public\\Downloads"},
        {&FOLDERID_ProgramFiles, L"C:\\Program Files"},
        {&FOLDERID_ProgramFilesX86, L"C:\\Program Files (x86)"},
        {&FOLDERID_ProgramData, L"C:\\ProgramData"},
    };
    for (const auto& [id, path] : folders) {
        SetKnownFolder(*id, path);
        volume.CreateDirectory(path);
    }
}

namespace {

std::string FolderKey(const KNOWNFOLDERID& id)
{
    return std::string(reinterpret_cast<const char*>(&id), sizeof(id));
}

} // namespace

void Machine::SetKnownFolder(const KNOWNFOLDERID& id, const std::wstring& path)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (path.empty()) {
        knownFolders_.erase(FolderKey(id));
    } else {
        knownFolders_[FolderKey(id)] = path;
    }
}

std::optional<std::wstring> Machine::KnownFolder(const KNOWNFOLDERID& id) const
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    auto found = knownFolders_.find(FolderKey(id));
    return found == knownFolders_.end() ? std::nullopt : std::optional<std::wstring>(found->second);
}

Machine::~Machine()
{
    JoinThreads();
    ReleaseHeap();
}

void Machine::TrackBlock(void* block)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    heap_.insert(block);
}

bool Machine::UntrackBlock(void* block)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return heap_.erase(block) == 1;
}

void Machine::ReleaseHeap()
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    for (void* block : heap_) {
        std::free(block);
    }
    heap_.clear();
}

std::set<void*> Machine::HeapBlocks() const
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return std::set<void*>(heap_.begin(), heap_.end());
}

void Machine::InstallTool(const std::wstring& path)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    volume.WriteFile(path, kToolImage);
}

HINSTANCE Machine::BeginProcess(const std::wstring& imagePath, const std::wstring& arguments, DWORD processId)
{
    outer_.push_back(current_);
    current_.imagePath = imagePath;
    current_.commandLine = arguments;
    ++processCount_;
    current_.id = processId != 0 ? processId : 0x8000 + processCount_ * 4;
    current_.instance =
        reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x140000000ull + processCount_ * 0x10000ull));
    return current_.instance;
}

void Machine::EndProcess()
{
    EndWorkerThreads();
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        exitCodes_.emplace(current_.id, 0); // RunTool records the real code
    }
    current_ = outer_.back();
    outer_.pop_back();
}

int Machine::RunTool(const std::wstring& imagePath, const std::wstring& arguments, DWORD processId)
{
    if (!entry_) {
        ReportViolation("a tool process was started but the test set no tool entry");
        return -1;
    }
    HINSTANCE instance = BeginProcess(imagePath, arguments, processId);
    const DWORD id = current_.id;
    int exitCode = -1;
    try {
        exitCode = entry_(instance, current_.commandLine.c_str());
    } catch (const RunawayStory&) {
        // Reported already; the process ends here.
    }
    EndProcess();
    std::lock_guard<std::recursive_mutex> guard(lock_);
    exitCodes_[id] = static_cast<DWORD>(exitCode);
    return exitCode;
}

size_t Machine::RunLaunchedTools(size_t limit)
{
    size_t ran = 0;
    for (;;) {
        LaunchRecord next;
        {
            std::lock_guard<std::recursive_mutex> guard(lock_);
            auto pending = std::find_if(launches_.begin(), launches_.end(),
                                        [](const LaunchRecord& r) { return r.toolImage && !r.ran; });
            if (pending == launches_.end()) {
                return ran;
            }
            if (ran == limit) {
                ReportViolation("tool processes keep launching tool processes");
                return ran;
            }
            pending->ran = true;
            next = *pending;
        }
        RunTool(next.imagePath, next.arguments, next.processId);
        ++ran;
    }
}

std::vector<LaunchRecord> Machine::Launches() const
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return launches_;
}

void SplitCommandLine(const std::wstring& commandLine, std::wstring* program, std::wstring* arguments)
{
    size_t end;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        size_t close = commandLine.find(L'"', 1);
        *program = commandLine.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
        end = close == std::wstring::npos ? commandLine.size() : close + 1;
    } else {
        end = commandLine.find_first_of(L" \t");
        if (end == std::wstring::npos) {
            end = commandLine.size();
        }
        *program = commandLine.substr(0, end);
    }
    size_t rest = commandLine.find_first_not_of(L" \t", end);
    *arguments = rest == std::wstring::npos ? std::wstring() : commandLine.substr(rest);
}

DWORD Machine::Launch(const std::wstring& commandLine, DWORD* processId)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    LaunchRecord record;
    record.commandLine = commandLine;
    SplitCommandLine(commandLine, &record.imagePath, &record.arguments);
    if (record.imagePath.empty()) {
        return ERROR_PATH_NOT_FOUND;
    }
    std::wstring image = record.imagePath;
    if (!volume.FileExists(image) && volume.FileExists(image + L".exe")) {
        image += L".exe";
    }
    if (!Volume::IsAbsolute(image) || !volume.FileExists(image)) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::optional<std::string> content = volume.ReadFile(image);
    if (!content || content->compare(0, 2, "MZ") != 0) {
        return ERROR_BAD_EXE_FORMAT;
    }
    // The loader reports the path it loaded, without doubled separators.
    std::wstring canonical;
    for (wchar_t c : image) {
        if (!(c == L'\\' && !canonical.empty() && canonical.back() == L'\\')) {
            canonical += c;
        }
    }
    record.imagePath = canonical;
    record.toolImage = *content == kToolImage;
    record.processId = 0x1000 + static_cast<DWORD>(launches_.size() + 1) * 4;
    if (!record.toolImage) {
        exitCodes_[record.processId] = otherProgramsExitCode; // a program the machine does not run ends at once
    }
    launches_.push_back(record);
    *processId = record.processId;
    return ERROR_SUCCESS;
}

HANDLE Machine::OpenProcessHandle(DWORD processId)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    HANDLE handle = NewHandle(HandleKind::Process);
    processHandles_[handle] = processId;
    return handle;
}

bool Machine::ProcessRuns(DWORD processId) const
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (processId == 0 || exitCodes_.count(processId) != 0) {
        return false;
    }
    if (current_.id == processId ||
        std::any_of(outer_.begin(), outer_.end(), [&](const ProcessContext& outer) { return outer.id == processId; })) {
        return true;
    }
    return std::any_of(launches_.begin(), launches_.end(),
                       [&](const LaunchRecord& r) { return r.processId == processId; });
}

DWORD Machine::WaitForProcess(HANDLE handle, DWORD milliseconds)
{
    LaunchRecord next;
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        auto found = processHandles_.find(handle);
        if (found == processHandles_.end()) {
            return WAIT_FAILED;
        }
        if (exitCodes_.count(found->second) != 0) {
            return WAIT_OBJECT_0;
        }
        auto pending = std::find_if(launches_.begin(), launches_.end(), [&](const LaunchRecord& r) {
            return r.processId == found->second && r.toolImage && !r.ran;
        });
        if (pending == launches_.end()) {
            // Running further up: it cannot end while this process waits inside it.
            if (milliseconds == INFINITE) {
                ReportViolation("a process waits without end for one that cannot end before it");
                return WAIT_FAILED;
            }
            clock.Advance(milliseconds);
            return WAIT_TIMEOUT;
        }
        pending->ran = true;
        next = *pending;
    }
    RunTool(next.imagePath, next.arguments, next.processId);
    return WAIT_OBJECT_0;
}

bool Machine::ExitCodeOf(HANDLE handle, DWORD* exitCode) const
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    auto found = processHandles_.find(handle);
    if (found == processHandles_.end()) {
        return false;
    }
    auto ended = exitCodes_.find(found->second);
    *exitCode = ended != exitCodes_.end() ? ended->second : STILL_ACTIVE;
    return true;
}

HANDLE Machine::NewHandle(HandleKind kind)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    HANDLE handle = reinterpret_cast<HANDLE>(nextHandle_);
    nextHandle_ += 4;
    handles_[handle] = kind;
    return handle;
}

bool Machine::CloseHandle(HANDLE handle)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    auto held = heldFolders_.find(handle);
    if (held != heldFolders_.end()) {
        const std::wstring folder = held->second;
        heldFolders_.erase(held);
        const bool stillHeld = std::any_of(heldFolders_.begin(), heldFolders_.end(), [&](const auto& other) {
            return Volume::Key(other.second) == Volume::Key(folder);
        });
        volume.SetHeldOpen(folder, stillHeld);
    }
    openFiles_.erase(handle);
    processHandles_.erase(handle);
    auto mutex = mutexHandles_.find(handle);
    if (mutex != mutexHandles_.end()) {
        NamedMutex& object = mutexes_.at(mutex->second);
        if (--object.handles == 0 && !object.heldByOther) {
            mutexes_.erase(mutex->second);
        }
        mutexHandles_.erase(mutex);
    }
    return handles_.erase(handle) == 1;
}

void Machine::HoldNamedMutex(const std::wstring& name, const SecurityDescriptor& security)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    NamedMutex& object = mutexes_[name];
    object.security = security;
    object.heldByOther = true;
}

void Machine::ReleaseNamedMutex(const std::wstring& name)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    auto found = mutexes_.find(name);
    if (found != mutexes_.end()) {
        found->second.heldByOther = false;
        if (found->second.handles == 0) {
            mutexes_.erase(found);
        }
    }
}

bool Machine::NamedMutexExists(const std::wstring& name) const
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return mutexes_.count(name) != 0;
}

HANDLE Machine::CreateNamedMutex(const std::wstring& name, const SecurityDescriptor* own, const Token& who,
                                 DWORD* error, bool* existed)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const DWORD kMutexAllAccess = 0x001F0001;
    auto found = mutexes_.find(name);
    *existed = found != mutexes_.end();
    if (*existed && (GrantedAccess(found->second.security, who) & kMutexAllAccess) != kMutexAllAccess) {
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    if (!*existed) {
        // Without a descriptor of its own, the creator owns it and only it may open it.
        SecurityDescriptor security;
        security.owner = who.DefaultOwner();
        security.dacl = {Ace{true, who.user, FILE_ALL_ACCESS}};
        found = mutexes_.emplace(name, NamedMutex{own != nullptr ? *own : security}).first;
    }
    ++found->second.handles;
    HANDLE handle = NewHandle(HandleKind::Mutex);
    mutexHandles_[handle] = name;
    *error = ERROR_SUCCESS;
    return handle;
}

std::optional<SecurityDescriptor> Machine::MutexSecurity(HANDLE handle) const
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    auto found = mutexHandles_.find(handle);
    return found != mutexHandles_.end() ? std::optional<SecurityDescriptor>(mutexes_.at(found->second).security)
                                        : std::nullopt;
}

HANDLE Machine::OpenFile(Volume::FileId file)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    HANDLE handle = NewHandle(HandleKind::File);
    openFiles_[handle] = file;
    return handle;
}

std::optional<Volume::FileId> Machine::FileOf(HANDLE handle, bool* appending) const
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    auto open = openFiles_.find(handle);
    *appending = open != openFiles_.end();
    if (*appending) {
        return open->second;
    }
    auto held = heldFolders_.find(handle);
    return held != heldFolders_.end() ? std::optional<Volume::FileId>(volume.IdOf(held->second)) : std::nullopt;
}

HANDLE Machine::Hold(const std::wstring& path, HandleKind kind)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    HANDLE handle = NewHandle(kind);
    heldFolders_[handle] = path;
    volume.SetHeldOpen(path, true);
    return handle;
}

std::vector<std::wstring> Machine::HeldFolders() const
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    std::vector<std::wstring> folders;
    for (const auto& entry : heldFolders_) {
        if (handles_.at(entry.first) == HandleKind::Folder) {
            folders.push_back(entry.second);
        }
    }
    return folders;
}

size_t Machine::OpenHandles(HandleKind kind) const
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    size_t count = 0;
    for (const auto& entry : handles_) {
        count += entry.second == kind ? 1 : 0;
    }
    return count;
}

namespace {

// Set on the threads the tool starts, never on the one that runs its entry.
thread_local bool t_worker = false;

} // namespace

HANDLE Machine::StartThread(LPTHREAD_START_ROUTINE routine, LPVOID parameter)
{
    HANDLE handle = NewHandle(HandleKind::Thread);
    std::lock_guard<std::recursive_mutex> guard(lock_);
    // The dialog manager counts running threads: a dialog is idle only without
    // them. Counted before the thread runs, so it can never end uncounted.
    dialogs.ThreadStarted();
    {
        std::lock_guard<std::mutex> workers(workersMutex_);
        threadEnded_[handle] = false;
    }
    try {
        StartHostThread(routine, parameter, handle);
    } catch (const std::system_error&) {
        // The host has no thread to give: the tool sees what Windows reports then.
        dialogs.ThreadEnded();
        {
            std::lock_guard<std::mutex> workers(workersMutex_);
            threadEnded_.erase(handle);
        }
        CloseHandle(handle);
        return nullptr;
    }
    return handle;
}

void Machine::StartHostThread(LPTHREAD_START_ROUTINE routine, LPVOID parameter, HANDLE handle)
{
    threads_.emplace_back([this, routine, parameter, handle] {
        t_worker = true;
        try {
            routine(parameter);
        } catch (const RunawayStory&) {
            // Reported already; the thread ends here.
        } catch (const ProcessEnded&) {
            // Recorded already; the thread ended with its process.
        }
        {
            std::lock_guard<std::mutex> workers(workersMutex_);
            threadEnded_[handle] = true;
        }
        workersChanged_.notify_all();
        dialogs.ThreadEnded();
    });
}

void Machine::RecordSleep(const void* site, DWORD milliseconds)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    sleeps_.push_back({site, milliseconds});
}

std::vector<Machine::SleepRecord> Machine::Sleeps() const
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return sleeps_;
}

DWORD Machine::WaitForThread(HANDLE handle, DWORD milliseconds)
{
    {
        std::lock_guard<std::mutex> workers(workersMutex_);
        auto found = threadEnded_.find(handle);
        if (found == threadEnded_.end() || (!found->second && milliseconds != INFINITE)) {
            return WAIT_FAILED;
        }
    }
    ReleaseWorkers();
    std::unique_lock<std::mutex> workers(workersMutex_);
    workersChanged_.wait(workers, [&] { return threadEnded_[handle]; });
    return WAIT_OBJECT_0;
}

void Machine::JoinThreads()
{
    ReleaseWorkers();
    for (;;) {
        std::vector<std::thread> running;
        {
            std::lock_guard<std::recursive_mutex> guard(lock_);
            running.swap(threads_);
        }
        if (running.empty()) {
            return;
        }
        for (std::thread& thread : running) {
            thread.join();
        }
    }
}

void Machine::EndWorkerThreads()
{
    {
        std::lock_guard<std::mutex> guard(workersMutex_);
        processEnded_ = true;
    }
    workersChanged_.notify_all();
    JoinThreads();
    std::lock_guard<std::mutex> guard(workersMutex_);
    processEnded_ = false;
}

void Machine::HoldWorkers()
{
    std::lock_guard<std::mutex> guard(workersMutex_);
    workersHeld_ = true;
}

void Machine::ReleaseWorkers()
{
    {
        std::lock_guard<std::mutex> guard(workersMutex_);
        workersHeld_ = false;
    }
    workersChanged_.notify_all();
}

void Machine::WorkerCall(const char* operation)
{
    if (!t_worker) {
        return;
    }
    std::unique_lock<std::mutex> lock(workersMutex_);
    workersChanged_.wait(lock, [this] { return !workersHeld_ || processEnded_; });
    if (processEnded_) {
        workersCutShort_.push_back(operation);
        throw ProcessEnded();
    }
}

std::vector<std::string> Machine::WorkersCutShort() const
{
    std::lock_guard<std::mutex> guard(workersMutex_);
    return workersCutShort_;
}

namespace {

// The token of an actor acting on this thread; none while the tool acts.
thread_local const Token* t_actorToken = nullptr;

} // namespace

const Token& Machine::CallerToken() const
{
    return t_actorToken != nullptr ? *t_actorToken : toolToken;
}

bool Machine::ActorActing() const
{
    return t_actorToken != nullptr;
}

void Machine::RunAs(const Token& token, const std::function<void()>& action)
{
    const Token* outer = t_actorToken;
    t_actorToken = &token;
    action();
    t_actorToken = outer;
}

void Machine::SetActorBetweenCalls(const Token& token, std::function<void(const char* operation)> action)
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    actorToken_ = token;
    actor_ = std::move(action);
    hasActor_ = static_cast<bool>(actor_);
}

void Machine::ActBetweenCalls(const char* operation)
{
    if (!hasActor_) {
        return;
    }
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (actor_ && t_actorToken == nullptr) {
        RunAs(actorToken_, [&] { actor_(operation); });
    }
}

void Machine::Restart()
{
    std::lock_guard<std::recursive_mutex> guard(lock_);
    const DWORD state = spooler.ServiceState();
    spooler.SetServiceState(SERVICE_STOPPED);
    heldFolders_.clear();
    openFiles_.clear();
    mutexes_.clear();
    mutexHandles_.clear();
    volume.Restart();
    if (state == SERVICE_RUNNING) {
        spooler.SetServiceState(SERVICE_RUNNING);
    }
    ++restarts_;
}

void Machine::RunAway(const std::string& what)
{
    ReportViolation("the story ran away: " + what);
    throw RunawayStory(what);
}

void Machine::CountCall(const char* operation)
{
    if (++calls_ > limits.platformCalls) {
        RunAway(std::to_string(calls_.load()) + " platform calls");
    }
    if (std::strcmp(operation, "SetupDiGetClassDevsW") == 0 && ++scans_ > limits.scans) {
        RunAway(std::to_string(scans_.load()) + " scans for printers");
    }
    if (std::strcmp(operation, "MessageBoxW") == 0 && ++boxes_ > limits.messageBoxes) {
        RunAway(std::to_string(boxes_.load()) + " message boxes");
    }
    CheckTime();
}

void Machine::CheckTime()
{
    if (clock.NowMs() > limits.virtualMs) {
        RunAway(std::to_string(clock.NowMs() / 1000) + " s of virtual time");
    }
}

void Machine::ReportViolation(const std::string& what)
{
    std::lock_guard<std::mutex> guard(violationsMutex_);
    violations_.push_back(what);
}

std::vector<std::string> Machine::Violations() const
{
    std::lock_guard<std::mutex> guard(violationsMutex_);
    return violations_;
}

} // namespace sim
