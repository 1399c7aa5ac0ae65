#include "sim/spooler/spooler.h"

#include <algorithm>
#include <cwchar>

#include "sim/kernel/codepage.h"
#include "sim/kernel/wide.h"

namespace sim {

namespace {

const wchar_t kPackageInstallationKey[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\";
const wchar_t kMonitorsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";
const DWORD kSpoolerProcessId = 0x0F3C;
const DWORD kPendingWaitHintMs = 2000;
const DWORD kAcceptStop = 0x00000001;         // SERVICE_ACCEPT_STOP
const DWORD kErrorGeneralSyntax = 0xE0000203; // ERROR_GENERAL_SYNTAX

struct EnvironmentInfo {
    WORD architecture;
    const wchar_t* name;
    const wchar_t* driverFolder;       // below spool\drivers
    const wchar_t* architectureFolder; // INF decorations and driver store names
};

const EnvironmentInfo kEnvironments[] = {
    {PROCESSOR_ARCHITECTURE_AMD64, L"Windows x64", L"x64", L"amd64"},
    {PROCESSOR_ARCHITECTURE_INTEL, L"Windows NT x86", L"W32X86", L"x86"},
    {PROCESSOR_ARCHITECTURE_ARM64, L"Windows ARM64", L"arm64", L"arm64"},
    {PROCESSOR_ARCHITECTURE_ARM, L"Windows ARM", L"arm", L"arm"},
};

const EnvironmentInfo& EnvironmentFor(WORD architecture)
{
    for (const EnvironmentInfo& info : kEnvironments) {
        if (info.architecture == architecture) {
            return info;
        }
    }
    return kEnvironments[0];
}

const EnvironmentInfo* EnvironmentNamed(const std::wstring& name)
{
    for (const EnvironmentInfo& info : kEnvironments) {
        if (EqualsNoCase(name, info.name)) {
            return &info;
        }
    }
    return nullptr;
}

// The data types the standard print processor takes.
const wchar_t* const kWinprintDatatypes[] = {L"RAW",          L"RAW [FF appended]", L"RAW [FF auto]", L"NT EMF 1.003",
                                             L"NT EMF 1.006", L"NT EMF 1.007",      L"NT EMF 1.008",  L"TEXT",
                                             L"XPS2GDI"};

std::wstring FileName(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring Folder(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring AsciiLower(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return text;
}

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return Volume::Key(a) == Volume::Key(b);
}

uint64_t Fnv1a(const std::string& bytes)
{
    uint64_t hash = 1469598103934665603ull;
    for (char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

std::wstring UsbPortName(DWORD number)
{
    wchar_t name[16];
    std::swprintf(name, 16, L"USB%03u", static_cast<unsigned>(number));
    return name;
}

uint64_t Ticks(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The 16-bit checksum that ends a USB printer's hardware ID, over the bytes
// of its text in the ANSI code page.
WORD DeviceChecksum(const std::wstring& text)
{
    static const WORD kLow[16] = {0x0000, 0xC0C1, 0xC181, 0x0140, 0xC301, 0x03C0, 0x0280, 0xC241,
                                  0xC601, 0x06C0, 0x0780, 0xC741, 0x0500, 0xC5C1, 0xC481, 0x0440};
    static const WORD kHigh[16] = {0x0000, 0xCC01, 0xD801, 0x1400, 0xF001, 0x3C00, 0x2800, 0xE401,
                                   0xA001, 0x6C00, 0x7800, 0xB401, 0x5000, 0x9C01, 0x8801, 0x4600};
    WORD value = 0;
    for (wchar_t c : text) {
        unsigned char byte = '?';
        EncodeAnsi(c, &byte);
        const unsigned index = (value & 0xFFu) ^ byte;
        value = static_cast<WORD>(kHigh[index >> 4] ^ kLow[index & 15] ^ (value >> 8));
    }
    return value;
}

} // namespace

Spooler::Spooler(Volume& volume, Registry& registry, Devices& devices, VirtualClock& clock,
                 const std::wstring& systemDirectory, const WORD& processorArchitecture)
    : volume_(volume), registry_(registry), devices_(devices), clock_(clock), systemDirectory_(systemDirectory),
      processorArchitecture_(processorArchitecture)
{
    timeline_.push_back({0, SERVICE_RUNNING});
    volume_.CreateDirectory(DriverDirectory());
}

// ---- Environment ----

std::wstring Spooler::Environment() const
{
    return EnvironmentFor(processorArchitecture_).name;
}

std::wstring Spooler::ArchitectureFolder() const
{
    return EnvironmentFor(processorArchitecture_).architectureFolder;
}

std::wstring Spooler::Platform() const
{
    return L"NT" + ArchitectureFolder();
}

std::wstring Spooler::DriverDirectory() const
{
    return DriverDirectory(Environment());
}

std::wstring Spooler::DriverDirectory(const std::wstring& environment) const
{
    const EnvironmentInfo* info = EnvironmentNamed(environment);
    return systemDirectory_ + L"\\spool\\drivers\\" +
           (info != nullptr ? info->driverFolder : EnvironmentFor(processorArchitecture_).driverFolder);
}

DWORD Spooler::ResolveEnvironment(const std::wstring& requested, std::wstring* environment) const
{
    if (requested.empty()) {
        *environment = Environment();
        return ERROR_SUCCESS;
    }
    const EnvironmentInfo* info = EnvironmentNamed(requested);
    if (info == nullptr) {
        return kErrorInvalidEnvironment;
    }
    *environment = info->name;
    return ERROR_SUCCESS;
}

std::wstring Spooler::SystemFile(const std::wstring& name) const
{
    return systemDirectory_ + L"\\" + name;
}

std::wstring Spooler::HardwareId(const UsbPrinter& printer)
{
    if (printer.hardwareId) {
        return *printer.hardwareId;
    }
    if (!printer.portDescription) {
        return std::wstring();
    }
    const std::wstring text = printer.portDescription->substr(0, 32);
    wchar_t checksum[8];
    std::swprintf(checksum, 8, L"%04x", static_cast<unsigned>(DeviceChecksum(text)));
    return L"usbprint\\" + AsciiLower(text) + checksum;
}

// ---- The service's state on virtual time ----

void Spooler::Advance()
{
    for (;;) {
        const uint64_t now = clock_.NowMs();
        std::optional<uint64_t> transitionAt;
        if (state_ == SERVICE_STOP_PENDING && !neverStops) {
            transitionAt = stateSince_ + stopDelayMs;
        } else if (state_ == SERVICE_START_PENDING && !neverStarts) {
            transitionAt = stateSince_ + startDelayMs;
        }
        auto next =
            std::min_element(scheduled_.begin(), scheduled_.end(),
                             [](const ScheduledQueue& a, const ScheduledQueue& b) { return a.dueMs < b.dueMs; });
        std::optional<uint64_t> queueAt;
        if (state_ == SERVICE_RUNNING && next != scheduled_.end()) {
            queueAt = std::max(next->dueMs, stateSince_);
        }
        if (queueAt && *queueAt <= now && (!transitionAt || *queueAt <= *transitionAt)) {
            ScheduledQueue due = *next;
            scheduled_.erase(next);
            CreateQueue(due, *queueAt);
        } else if (transitionAt && *transitionAt <= now) {
            Enter(state_ == SERVICE_STOP_PENDING ? SERVICE_STOPPED : SERVICE_RUNNING, *transitionAt);
            transitions_.push_back({*transitionAt, state_});
        } else {
            return;
        }
    }
}

void Spooler::Enter(DWORD state, uint64_t atMs)
{
    state_ = state;
    stateSince_ = atMs;
    checkPoint_ = 0;
    timeline_.push_back({atMs, state});
    if (state == SERVICE_STOPPED) {
        // The service's process is gone: its DLLs are unloaded, its handles dead.
        HoldMonitors(false);
        ++generation_;
    } else if (state == SERVICE_RUNNING) {
        HoldMonitors(true);
        CreatePresentPorts();
    }
}

void Spooler::HoldMonitors(bool held)
{
    for (const auto& entry : monitors_) {
        volume_.SetHeldOpen(SystemFile(entry.second.dll), held);
    }
}

void Spooler::SetServiceState(DWORD state)
{
    Advance();
    if (state == state_) {
        return;
    }
    if (state_ != SERVICE_STOPPED && state == SERVICE_STOPPED) {
        Enter(state, clock_.NowMs());
    } else if (state == SERVICE_RUNNING) {
        Enter(state, clock_.NowMs());
    } else {
        // A pending state, as a test poses it: nothing loads or unloads yet.
        state_ = state;
        stateSince_ = clock_.NowMs();
        timeline_.push_back({stateSince_, state});
    }
}

DWORD Spooler::ServiceState()
{
    Advance();
    return state_;
}

const std::vector<ServiceTransition>& Spooler::Transitions()
{
    Advance();
    return transitions_;
}

DWORD Spooler::StateAt(uint64_t ms)
{
    Advance();
    DWORD state = SERVICE_RUNNING;
    for (const ServiceTransition& change : timeline_) {
        if (change.atMs > ms) {
            break;
        }
        state = change.state;
    }
    return state;
}

DWORD Spooler::CheckRunning()
{
    Advance();
    return state_ == SERVICE_RUNNING ? ERROR_SUCCESS : kRpcServerUnavailable;
}

// ---- Service control manager ----

DWORD Spooler::OpenManager(SC_HANDLE* handle)
{
    if (managerFails) {
        return ERROR_ACCESS_DENIED;
    }
    *handle = reinterpret_cast<SC_HANDLE>(nextServiceHandle_);
    nextServiceHandle_ += 4;
    serviceHandles_[*handle] = ScKind::Manager;
    return ERROR_SUCCESS;
}

DWORD Spooler::OpenService(SC_HANDLE manager, const std::wstring& name, SC_HANDLE* handle)
{
    auto found = serviceHandles_.find(manager);
    if (found == serviceHandles_.end() || found->second != ScKind::Manager) {
        return ERROR_INVALID_HANDLE;
    }
    if (serviceMissing || !EqualsNoCase(name, L"Spooler")) {
        return ERROR_SERVICE_DOES_NOT_EXIST;
    }
    *handle = reinterpret_cast<SC_HANDLE>(nextServiceHandle_);
    nextServiceHandle_ += 4;
    serviceHandles_[*handle] = ScKind::Service;
    return ERROR_SUCCESS;
}

bool Spooler::IsServiceHandle(SC_HANDLE handle) const
{
    auto found = serviceHandles_.find(handle);
    return found != serviceHandles_.end() && found->second == ScKind::Service;
}

bool Spooler::CloseServiceHandle(SC_HANDLE handle)
{
    return serviceHandles_.erase(handle) == 1;
}

void Spooler::FillStatus(SERVICE_STATUS* status)
{
    const bool pending = state_ == SERVICE_STOP_PENDING || state_ == SERVICE_START_PENDING;
    status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status->dwCurrentState = state_;
    status->dwControlsAccepted = state_ == SERVICE_RUNNING ? kAcceptStop : 0;
    status->dwWin32ExitCode = NO_ERROR;
    status->dwServiceSpecificExitCode = 0;
    status->dwCheckPoint = pending ? ++checkPoint_ : 0;
    status->dwWaitHint = pending ? kPendingWaitHintMs : 0;
}

DWORD Spooler::QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS* status)
{
    if (!IsServiceHandle(service)) {
        return ERROR_INVALID_HANDLE;
    }
    Advance();
    SERVICE_STATUS common = {};
    FillStatus(&common);
    status->dwServiceType = common.dwServiceType;
    status->dwCurrentState = common.dwCurrentState;
    status->dwControlsAccepted = common.dwControlsAccepted;
    status->dwWin32ExitCode = common.dwWin32ExitCode;
    status->dwServiceSpecificExitCode = common.dwServiceSpecificExitCode;
    status->dwCheckPoint = common.dwCheckPoint;
    status->dwWaitHint = common.dwWaitHint;
    status->dwProcessId = state_ == SERVICE_STOPPED ? 0 : kSpoolerProcessId;
    status->dwServiceFlags = 0;
    return ERROR_SUCCESS;
}

DWORD Spooler::Stop(SC_HANDLE service, SERVICE_STATUS* status)
{
    if (!IsServiceHandle(service)) {
        return ERROR_INVALID_HANDLE;
    }
    Advance();
    DWORD error = ERROR_SUCCESS;
    if (state_ == SERVICE_STOPPED) {
        error = ERROR_SERVICE_NOT_ACTIVE;
    } else if (state_ != SERVICE_RUNNING) {
        error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    } else if (refuseControlError != 0) {
        error = refuseControlError;
    } else {
        ++stops_;
        Enter(SERVICE_STOP_PENDING, clock_.NowMs());
        transitions_.push_back({clock_.NowMs(), SERVICE_STOP_PENDING});
        Advance();
    }
    // Windows reports the status also when the control was not accepted.
    FillStatus(status);
    return error;
}

DWORD Spooler::Interrogate(SC_HANDLE service, SERVICE_STATUS* status)
{
    if (!IsServiceHandle(service)) {
        return ERROR_INVALID_HANDLE;
    }
    Advance();
    FillStatus(status);
    return state_ == SERVICE_STOPPED ? ERROR_SERVICE_NOT_ACTIVE : ERROR_SUCCESS;
}

DWORD Spooler::Start(SC_HANDLE service)
{
    if (!IsServiceHandle(service)) {
        return ERROR_INVALID_HANDLE;
    }
    Advance();
    if (state_ != SERVICE_STOPPED) {
        return ERROR_SERVICE_ALREADY_RUNNING;
    }
    if (refuseStartError != 0) {
        return refuseStartError;
    }
    ++starts_;
    Enter(SERVICE_START_PENDING, clock_.NowMs());
    transitions_.push_back({clock_.NowMs(), SERVICE_START_PENDING});
    Advance();
    return ERROR_SUCCESS;
}

// ---- Ports ----

void Spooler::CreatePresentPorts()
{
    for (const UsbPrinter& printer : devices_.PresentPrinters()) {
        const std::wstring serial = FoldCase(printer.serial);
        if (std::find(portsCreated_.begin(), portsCreated_.end(), serial) == portsCreated_.end()) {
            portsCreated_.push_back(serial);
        }
    }
}

std::vector<PortRecord> Spooler::Ports()
{
    Advance();
    return ListPorts();
}

std::vector<PortRecord> Spooler::ListPorts()
{
    std::vector<PortRecord> ports;
    if (state_ != SERVICE_RUNNING) {
        return ports;
    }
    ports.push_back({L"LPT1:", L"Local Port", L"Printer Port", 1});
    ports.push_back({L"COM1:", L"Local Port", L"Serial Port", 1});
    ports.push_back({L"FILE:", L"Local Port", L"Print to File", 1});
    ports.push_back({L"PORTPROMPT:", L"Local Port", L"Local Port", 1});
    if (!usbPortsNeedRestart) {
        CreatePresentPorts();
    }
    for (const UsbPrinter& printer : devices_.PresentPrinters()) {
        if (!printer.portNumber ||
            std::find(portsCreated_.begin(), portsCreated_.end(), FoldCase(printer.serial)) == portsCreated_.end()) {
            continue;
        }
        const std::wstring name = UsbPortName(*printer.portNumber);
        if (std::none_of(ports.begin(), ports.end(), [&](const PortRecord& p) { return p.name == name; })) {
            ports.push_back({name, L"USB Monitor", L"Virtual printer port for USB", 1 | 4});
        }
    }
    return ports;
}

bool Spooler::PortListed(const std::wstring& port)
{
    const std::vector<PortRecord> ports = ListPorts();
    return std::any_of(ports.begin(), ports.end(), [&](const PortRecord& p) { return EqualsNoCase(p.name, port); });
}

// ---- Drivers ----

std::map<std::wstring, DriverRecord>& Spooler::DriverTable(const std::wstring& environment)
{
    return drivers_[environment];
}

DWORD Spooler::AddDriver(DriverRecord driver)
{
    if (DWORD error = CheckRunning()) {
        return error;
    }
    if (driver.name.empty() || !driver.driverPath || !driver.dataFile || !driver.configFile) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::wstring directory = DriverDirectory(driver.environment);
    const std::wstring versionDirectory = directory + L"\\" + std::to_wstring(driver.version);
    // Where each file comes from: a bare name from the driver directory (or
    // an earlier installation), else the path as given. All must be there
    // before anything is copied.
    std::vector<std::pair<std::wstring, std::wstring>> copies; // source, installed
    auto resolve = [&](const std::wstring& file, std::wstring* installed) -> DWORD {
        std::wstring source = file;
        if (file.find_first_of(L"\\/") == std::wstring::npos) {
            source = directory + L"\\" + file;
            if (!volume_.FileExists(source)) {
                source = versionDirectory + L"\\" + file;
            }
        }
        if (!volume_.FileExists(source)) {
            return ERROR_FILE_NOT_FOUND;
        }
        *installed = versionDirectory + L"\\" + FileName(file);
        copies.emplace_back(source, *installed);
        return ERROR_SUCCESS;
    };
    for (std::optional<std::wstring>* field :
         {&driver.driverPath, &driver.dataFile, &driver.configFile, &driver.helpFile}) {
        if (*field && !(*field)->empty()) {
            std::wstring installed;
            if (DWORD error = resolve(**field, &installed)) {
                return error;
            }
            *field = installed;
        }
    }
    if (driver.dependentFiles) {
        for (std::wstring& file : *driver.dependentFiles) {
            std::wstring installed;
            if (DWORD error = resolve(file, &installed)) {
                return error;
            }
            file = installed;
        }
    }
    volume_.CreateDirectory(versionDirectory);
    for (const auto& [source, installed] : copies) {
        if (!SamePath(source, installed)) {
            volume_.Copy(source, installed, false);
        }
    }
    if (driver.package.empty() && driver.infPath) {
        if (const PackageRecord* package = PackageForInf(*driver.infPath)) {
            driver.package = package->folder;
        }
    }
    DriverTable(driver.environment)[FoldCase(driver.name)] = std::move(driver);
    return ERROR_SUCCESS;
}

DWORD Spooler::DriversOf(const std::wstring& environment, std::vector<DriverRecord>* drivers)
{
    if (DWORD error = CheckRunning()) {
        return error;
    }
    drivers->clear();
    for (const auto& entry : DriverTable(environment)) {
        drivers->push_back(entry.second);
    }
    return ERROR_SUCCESS;
}

bool Spooler::DriverFileUsedByOthers(const std::wstring& environment, const std::wstring& name,
                                     const std::wstring& path) const
{
    auto table = drivers_.find(environment);
    if (table == drivers_.end()) {
        return false;
    }
    for (const auto& [key, other] : table->second) {
        if (key == FoldCase(name)) {
            continue;
        }
        for (const std::optional<std::wstring>* field :
             {&other.driverPath, &other.dataFile, &other.configFile, &other.helpFile}) {
            if (*field && SamePath(**field, path)) {
                return true;
            }
        }
        if (other.dependentFiles) {
            for (const std::wstring& file : *other.dependentFiles) {
                if (SamePath(file, path)) {
                    return true;
                }
            }
        }
    }
    return false;
}

DWORD Spooler::DeleteDriver(const std::wstring& environment, const std::wstring& name, DWORD flags, DWORD versionFlag)
{
    if (DWORD error = CheckRunning()) {
        return error;
    }
    auto& table = DriverTable(environment);
    auto found = table.find(FoldCase(name));
    if (found == table.end() || ((flags & DPD_DELETE_SPECIFIC_VERSION) != 0 && found->second.version != versionFlag)) {
        return ERROR_UNKNOWN_PRINTER_DRIVER;
    }
    for (const auto& entry : queues_) {
        if (EqualsNoCase(entry.second.driver, name)) {
            return ERROR_PRINTER_DRIVER_IN_USE;
        }
    }
    std::vector<std::wstring> files;
    const DriverRecord& driver = found->second;
    for (const std::optional<std::wstring>* field :
         {&driver.driverPath, &driver.dataFile, &driver.configFile, &driver.helpFile}) {
        if (*field && !(*field)->empty()) {
            files.push_back(**field);
        }
    }
    if (driver.dependentFiles) {
        files.insert(files.end(), driver.dependentFiles->begin(), driver.dependentFiles->end());
    }
    std::vector<std::wstring> unused;
    for (const std::wstring& file : files) {
        if (!DriverFileUsedByOthers(environment, name, file)) {
            unused.push_back(file);
        } else if (flags & DPD_DELETE_ALL_FILES) {
            // The driver goes only if all its files can go with it.
            return ERROR_PRINTER_DRIVER_IN_USE;
        }
    }
    table.erase(found);
    if (flags & (DPD_DELETE_UNUSED_FILES | DPD_DELETE_ALL_FILES)) {
        for (const std::wstring& file : unused) {
            volume_.Delete(file);
        }
    }
    return ERROR_SUCCESS;
}

void Spooler::StageDriver(const DriverRecord& driver)
{
    DriverRecord staged = driver;
    if (staged.environment.empty()) {
        staged.environment = Environment();
    }
    DriverTable(staged.environment)[FoldCase(staged.name)] = staged;
}

std::vector<DriverRecord> Spooler::Drivers()
{
    Advance();
    std::vector<DriverRecord> drivers;
    for (const auto& entry : DriverTable(Environment())) {
        drivers.push_back(entry.second);
    }
    return drivers;
}

const DriverRecord* Spooler::FindDriver(const std::wstring& name)
{
    Advance();
    auto& table = DriverTable(Environment());
    auto found = table.find(FoldCase(name));
    return found == table.end() ? nullptr : &found->second;
}

// ---- Queues ----

QueueRecord* Spooler::Queue(const std::wstring& name)
{
    auto found = queues_.find(FoldCase(name));
    return found == queues_.end() ? nullptr : &found->second;
}

void Spooler::RemoveQueueIfDone(const std::wstring& key)
{
    auto found = queues_.find(key);
    if (found != queues_.end() && found->second.pendingDeletion && found->second.jobs == 0) {
        queues_.erase(found);
    }
}

DWORD Spooler::AddQueue(const QueueRecord& queue, HANDLE* handle)
{
    if (DWORD error = CheckRunning()) {
        return error;
    }
    if (queue.name.empty() || queue.name.find_first_of(L",\\") != std::wstring::npos || queue.name.size() > 220) {
        return ERROR_INVALID_PRINTER_NAME;
    }
    if (Queue(queue.name) != nullptr) {
        return ERROR_PRINTER_ALREADY_EXISTS;
    }
    if (DriverTable(Environment()).count(FoldCase(queue.driver)) == 0) {
        return ERROR_UNKNOWN_PRINTER_DRIVER;
    }
    if (!PortListed(queue.port)) {
        return ERROR_UNKNOWN_PORT;
    }
    if (!EqualsNoCase(queue.printProcessor, L"winprint")) {
        return kErrorUnknownPrintProcessor;
    }
    if (std::none_of(std::begin(kWinprintDatatypes), std::end(kWinprintDatatypes),
                     [&](const wchar_t* type) { return EqualsNoCase(queue.dataType, type); })) {
        return kErrorInvalidDatatype;
    }
    QueueRecord added = queue;
    added.attributes |= PRINTER_ATTRIBUTE_LOCAL;
    added.jobs = 0;
    added.pendingDeletion = false;
    added.createdAtMs = clock_.NowMs();
    added.createdByPlugAndPlay = false;
    queues_[FoldCase(added.name)] = added;
    *handle = reinterpret_cast<HANDLE>(nextPrinterHandle_);
    nextPrinterHandle_ += 4;
    printerHandles_[*handle] = {FoldCase(added.name), PRINTER_ALL_ACCESS, generation_};
    return ERROR_SUCCESS;
}

DWORD Spooler::OpenPrinter(const std::wstring& name, ACCESS_MASK desiredAccess, HANDLE* handle)
{
    if (DWORD error = CheckRunning()) {
        return error;
    }
    opens_.push_back({name, desiredAccess, clock_.NowMs()});
    if (Queue(name) == nullptr) {
        return ERROR_INVALID_PRINTER_NAME;
    }
    const ACCESS_MASK kGenericAll = 0x10000000;
    const ACCESS_MASK kGenericAny = 0xE0000000; // read, write, execute
    ACCESS_MASK granted = desiredAccess == 0 ? kPrinterAccessUse : desiredAccess;
    if (desiredAccess & kGenericAll) {
        granted |= PRINTER_ALL_ACCESS;
    }
    if (desiredAccess & kGenericAny) {
        granted |= kPrinterAccessUse;
    }
    *handle = reinterpret_cast<HANDLE>(nextPrinterHandle_);
    nextPrinterHandle_ += 4;
    printerHandles_[*handle] = {FoldCase(name), granted, generation_};
    return ERROR_SUCCESS;
}

bool Spooler::IsPrinterHandle(HANDLE handle) const
{
    return printerHandles_.count(handle) != 0;
}

bool Spooler::ClosePrinter(HANDLE handle, DWORD* error)
{
    if (printerHandles_.erase(handle) == 0) {
        return false;
    }
    // The client side lets go of the handle even when the service is gone.
    *error = CheckRunning();
    return true;
}

DWORD Spooler::PurgeQueue(HANDLE handle)
{
    if (DWORD error = CheckRunning()) {
        return error;
    }
    const PrinterHandle& open = printerHandles_.at(handle);
    QueueRecord* queue = Queue(open.queue);
    if (open.generation != generation_) {
        return ERROR_INVALID_HANDLE; // opened before the service restarted
    }
    if (queue == nullptr) {
        return ERROR_INVALID_PRINTER_NAME;
    }
    if ((open.access & kPrinterAccessAdminister) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    queue->jobs = 0;
    RemoveQueueIfDone(open.queue);
    return ERROR_SUCCESS;
}

DWORD Spooler::DeleteQueue(HANDLE handle)
{
    if (DWORD error = CheckRunning()) {
        return error;
    }
    const PrinterHandle& open = printerHandles_.at(handle);
    QueueRecord* queue = Queue(open.queue);
    if (open.generation != generation_) {
        return ERROR_INVALID_HANDLE;
    }
    if (queue == nullptr) {
        return ERROR_INVALID_PRINTER_NAME;
    }
    if ((open.access & kDeleteAccess) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    // With jobs left it is only marked, and goes when they are gone.
    queue->pendingDeletion = true;
    RemoveQueueIfDone(open.queue);
    return ERROR_SUCCESS;
}

void Spooler::AddJobs(const std::wstring& queue, DWORD count)
{
    Advance();
    if (QueueRecord* found = Queue(queue)) {
        found->jobs += count;
    }
}

void Spooler::StageQueue(const QueueRecord& queue)
{
    queues_[FoldCase(queue.name)] = queue;
}

std::vector<QueueRecord> Spooler::Queues()
{
    Advance();
    std::vector<QueueRecord> queues;
    for (const auto& entry : queues_) {
        queues.push_back(entry.second);
    }
    return queues;
}

const QueueRecord* Spooler::FindQueue(const std::wstring& name)
{
    Advance();
    return Queue(name);
}

// ---- Monitors ----

DWORD Spooler::AddMonitor(const std::wstring& name, const std::wstring& dll)
{
    if (DWORD error = CheckRunning()) {
        return error;
    }
    if (name.empty() || dll.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    if (monitors_.count(FoldCase(name)) != 0) {
        return ERROR_PRINT_MONITOR_ALREADY_INSTALLED;
    }
    if (!volume_.FileExists(SystemFile(dll))) {
        return kErrorModNotFound;
    }
    StageMonitor(name, dll);
    return ERROR_SUCCESS;
}

void Spooler::StageMonitor(const std::wstring& name, const std::wstring& dll)
{
    monitors_[FoldCase(name)] = {name, dll, Environment()};
    registry_.SetString(HKEY_LOCAL_MACHINE, kMonitorsKey + name, L"Driver", dll);
    if (state_ == SERVICE_RUNNING || state_ == SERVICE_STOP_PENDING) {
        volume_.SetHeldOpen(SystemFile(dll), true);
    }
}

DWORD Spooler::DeleteMonitor(const std::wstring& name)
{
    if (DWORD error = CheckRunning()) {
        return error;
    }
    auto found = monitors_.find(FoldCase(name));
    if (found == monitors_.end()) {
        return ERROR_UNKNOWN_PRINT_MONITOR;
    }
    const std::wstring dll = found->second.dll;
    registry_.DeleteKey(HKEY_LOCAL_MACHINE, kMonitorsKey + found->second.name);
    monitors_.erase(found);
    const bool stillLoaded = std::any_of(monitors_.begin(), monitors_.end(),
                                         [&](const auto& entry) { return EqualsNoCase(entry.second.dll, dll); });
    if (!stillLoaded) {
        volume_.SetHeldOpen(SystemFile(dll), false);
    }
    return ERROR_SUCCESS;
}

std::vector<MonitorRecord> Spooler::Monitors()
{
    Advance();
    std::vector<MonitorRecord> monitors;
    for (const auto& entry : monitors_) {
        monitors.push_back(entry.second);
    }
    return monitors;
}

// ---- Driver store ----

const PackageRecord* Spooler::PackageForInf(const std::wstring& infPath) const
{
    for (const auto& entry : packages_) {
        if (SamePath(entry.second.storedInfPath, infPath) || SamePath(entry.second.sourceInfPath, infPath)) {
            return &entry.second;
        }
    }
    return nullptr;
}

HRESULT Spooler::UploadPackage(const std::wstring& infPath, std::wstring* storedInfPath)
{
    if (uploadFailure != S_OK) {
        return uploadFailure;
    }
    if (DWORD error = CheckRunning()) {
        return HRESULT_FROM_WIN32(error);
    }
    return StorePackage(infPath, storedInfPath);
}

HRESULT Spooler::StorePackage(const std::wstring& infPath, std::wstring* storedInfPath)
{
    std::optional<std::string> content = volume_.ReadFile(infPath);
    if (!content || !Volume::IsAbsolute(infPath)) {
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    const InfFile inf = InfFile::Parse(*content);
    if (!inf.HasDriverSignature()) {
        return kSpapiGeneralSyntax;
    }
    // The files the package names, found below the INF's folder.
    const std::wstring sourceFolder = Folder(infPath);
    std::vector<std::wstring> relativeFiles;
    for (const std::wstring& section :
         {L"SourceDisksFiles." + ArchitectureFolder(), std::wstring(L"SourceDisksFiles")}) {
        for (const InfFile::Line& line : inf.Section(section)) {
            if (!line.key || line.key->empty()) {
                continue;
            }
            std::optional<std::wstring> subfolder = inf.SourceSubfolder(*line.key, ArchitectureFolder());
            std::wstring relative = (subfolder && !subfolder->empty() ? *subfolder + L"\\" : L"") + *line.key;
            if (std::none_of(relativeFiles.begin(), relativeFiles.end(),
                             [&](const std::wstring& f) { return SamePath(f, relative); })) {
                relativeFiles.push_back(relative);
            }
        }
    }
    for (const std::wstring& relative : relativeFiles) {
        if (!volume_.FileExists(sourceFolder + L"\\" + relative)) {
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        }
    }

    const std::wstring infName = AsciiLower(FileName(infPath));
    wchar_t hash[20];
    std::swprintf(hash, 20, L"%016llx", static_cast<unsigned long long>(Fnv1a(*content)));
    const std::wstring folderName = infName + L"_" + ArchitectureFolder() + L"_" + hash;
    const std::wstring storeFolder = systemDirectory_ + L"\\DriverStore\\FileRepository\\" + folderName;
    PackageRecord package;
    package.folder = folderName;
    package.storedInfPath = storeFolder + L"\\" + infName;
    package.sourceInfPath = infPath;
    package.environment = Environment();
    volume_.WriteFile(package.storedInfPath, *content);
    package.files.push_back(package.storedInfPath);
    for (const std::wstring& relative : relativeFiles) {
        const std::wstring stored = storeFolder + L"\\" + relative;
        volume_.CreateDirectory(Folder(stored));
        volume_.Copy(sourceFolder + L"\\" + relative, stored, false);
        package.files.push_back(stored);
    }
    registry_.SetMultiString(HKEY_LOCAL_MACHINE,
                             kPackageInstallationKey + package.environment + L"\\DriverPackages\\" + folderName,
                             L"DriverStorePath", {package.storedInfPath});
    auto existing = packages_.find(FoldCase(folderName));
    if (existing == packages_.end()) {
        packages_[FoldCase(folderName)] = package;
    }
    *storedInfPath = package.storedInfPath;
    return S_OK;
}

HRESULT Spooler::DeletePackage(const std::wstring& storedInfPath)
{
    if (DWORD error = CheckRunning()) {
        return HRESULT_FROM_WIN32(error);
    }
    auto found = std::find_if(packages_.begin(), packages_.end(),
                              [&](const auto& entry) { return SamePath(entry.second.storedInfPath, storedInfPath); });
    if (found == packages_.end()) {
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    const PackageRecord& package = found->second;
    for (const auto& entry : DriverTable(package.environment)) {
        if (EqualsNoCase(entry.second.package, package.folder)) {
            return HRESULT_FROM_WIN32(ERROR_PRINTER_DRIVER_PACKAGE_IN_USE);
        }
    }
    for (const std::wstring& file : package.files) {
        volume_.Delete(file);
    }
    registry_.DeleteKey(HKEY_LOCAL_MACHINE,
                        kPackageInstallationKey + package.environment + L"\\DriverPackages\\" + package.folder);
    packages_.erase(found);
    return S_OK;
}

std::vector<PackageRecord> Spooler::Packages()
{
    std::vector<PackageRecord> packages;
    for (const auto& entry : packages_) {
        packages.push_back(entry.second);
    }
    return packages;
}

// ---- Plug and Play ----

DWORD Spooler::BindDriver(const std::wstring& hardwareId, const std::wstring& infPath, DWORD flags,
                          bool* rebootRequired)
{
    ++bindCalls_;
    *rebootRequired = false;
    std::optional<std::string> content = volume_.ReadFile(infPath);
    if (!content) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::vector<UsbPrinter> matching;
    for (const UsbPrinter& printer : devices_.PresentPrinters()) {
        if (!hardwareId.empty() && EqualsNoCase(HardwareId(printer), hardwareId)) {
            matching.push_back(printer);
        }
    }
    if (matching.empty()) {
        return ERROR_NO_SUCH_DEVINST;
    }
    const InfFile inf = InfFile::Parse(*content);
    std::optional<InfFile::Model> model = inf.FindModel(Platform(), hardwareId);
    if (!model) {
        // No driver of this INF fits the devices: what the API reports when
        // it finds no better driver than the one they have.
        return ERROR_NO_MORE_ITEMS;
    }
    if (bindingDoesNothing) {
        return ERROR_SUCCESS;
    }
    if (DWORD error = CheckRunning()) {
        return error;
    }
    FILETIME date = {0, 0};
    DWORDLONG version = 0;
    if (std::optional<std::wstring> driverVer = inf.Value(L"Version", L"DriverVer")) {
        ParseDriverVer(*driverVer, &date, &version);
    }
    // Without INSTALLFLAG_FORCE a driver no newer than the devices' own is not installed.
    const bool better = std::any_of(matching.begin(), matching.end(), [&](const UsbPrinter& printer) {
        auto bound = deviceDrivers_.find(FoldCase(printer.serial));
        return bound == deviceDrivers_.end() || Ticks(date) > Ticks(bound->second.date) ||
               (Ticks(date) == Ticks(bound->second.date) && version > bound->second.version);
    });
    if (!better && (flags & INSTALLFLAG_FORCE) == 0) {
        return ERROR_NO_MORE_ITEMS;
    }
    // Device installation goes through the driver store: a package not yet there is added.
    std::wstring storedInf;
    if (const PackageRecord* package = PackageForInf(infPath)) {
        storedInf = package->storedInfPath;
    } else {
        HRESULT stored = StorePackage(infPath, &storedInf);
        if (FAILED(stored)) {
            return stored == kSpapiGeneralSyntax ? kErrorGeneralSyntax : static_cast<DWORD>(stored & 0xFFFF);
        }
    }
    const PackageRecord* package = PackageForInf(storedInf);
    if (DWORD error = InstallModel(inf, infPath, *model, hardwareId, *package, rebootRequired)) {
        return error;
    }
    Binding binding{hardwareId, infPath, model->displayName, {}, clock_.NowMs()};
    for (const UsbPrinter& printer : matching) {
        deviceDrivers_[FoldCase(printer.serial)] = {model->displayName, date, version};
        binding.devices.push_back(printer.serial);
        if (printer.portNumber) {
            scheduled_.push_back({clock_.NowMs() + pnpQueueDelayMs, model->displayName,
                                  UsbPortName(*printer.portNumber), model->displayName, printer.serial});
        }
    }
    bindings_.push_back(binding);
    return ERROR_SUCCESS;
}

DWORD Spooler::InstallModel(const InfFile& inf, const std::wstring& infPath, const InfFile::Model& model,
                            const std::wstring& hardwareId, const PackageRecord& package, bool* rebootRequired)
{
    const std::wstring section = inf.InstallSection(model.installSection, Platform());
    std::optional<std::wstring> driverFile = inf.Value(section, L"DriverFile");
    if (!driverFile || driverFile->empty()) {
        return kErrorInvalidData;
    }
    const std::wstring infFolder = Folder(infPath);
    const std::wstring versionDirectory = DriverDirectory() + L"\\3";
    auto findSource = [&](const std::wstring& file) -> std::wstring {
        std::vector<std::wstring> candidates;
        if (std::optional<std::wstring> subfolder = inf.SourceSubfolder(file, ArchitectureFolder())) {
            candidates.push_back(infFolder + (subfolder->empty() ? L"" : L"\\" + *subfolder) + L"\\" + file);
        }
        candidates.push_back(infFolder + L"\\" + file);
        candidates.push_back(infFolder + L"\\" + ArchitectureFolder() + L"\\" + file);
        candidates.push_back(infFolder + L"\\dat\\" + file);
        for (const std::wstring& candidate : candidates) {
            if (volume_.FileExists(candidate)) {
                return candidate;
            }
        }
        return std::wstring();
    };
    // Every file of the CopyFiles sections, to the folder DestinationDirs gives it.
    std::vector<std::pair<std::wstring, std::wstring>> copies; // source, target
    std::vector<std::wstring> driverFolderFiles;
    auto queue = [&](const std::wstring& file, const std::wstring& targetFolder) -> DWORD {
        const std::wstring source = findSource(file);
        if (source.empty()) {
            return ERROR_FILE_NOT_FOUND;
        }
        copies.emplace_back(source, targetFolder + L"\\" + file);
        if (targetFolder == versionDirectory) {
            driverFolderFiles.push_back(file);
        }
        return ERROR_SUCCESS;
    };
    auto folderFor = [&](const std::wstring& copySection) {
        std::optional<std::wstring> id = inf.Value(L"DestinationDirs", copySection);
        if (!id) {
            id = inf.Value(L"DestinationDirs", L"DefaultDestDir");
        }
        std::wstring number = id ? id->substr(0, id->find(L',')) : std::wstring(L"66000");
        if (number == L"66002" || number == L"11") {
            return systemDirectory_;
        }
        return versionDirectory;
    };
    for (const std::wstring& copySection : inf.Fields(section, L"CopyFiles").value_or(std::vector<std::wstring>())) {
        if (!copySection.empty() && copySection[0] == L'@') {
            if (DWORD error = queue(copySection.substr(1), versionDirectory)) {
                return error;
            }
            continue;
        }
        const std::wstring target = folderFor(copySection);
        for (const InfFile::Line& line : inf.Section(copySection)) {
            if (!line.fields.empty() && !line.fields[0].empty()) {
                if (DWORD error = queue(line.fields[0], target)) {
                    return error;
                }
            }
        }
    }
    const std::optional<std::wstring> configFile = inf.Value(section, L"ConfigFile");
    const std::optional<std::wstring> dataFile = inf.Value(section, L"DataFile");
    const std::optional<std::wstring> helpFile = inf.Value(section, L"HelpFile");
    for (const std::optional<std::wstring>& main : {driverFile, configFile, dataFile, helpFile}) {
        if (main && !main->empty() &&
            std::none_of(driverFolderFiles.begin(), driverFolderFiles.end(),
                         [&](const std::wstring& f) { return EqualsNoCase(f, *main); })) {
            if (DWORD error = queue(*main, versionDirectory)) {
                return error;
            }
        }
    }
    // The language monitor: "name,dll".
    std::wstring monitorName;
    std::wstring monitorDll;
    if (std::optional<std::wstring> monitor = inf.Value(section, L"LanguageMonitor")) {
        size_t comma = monitor->find(L',');
        monitorName = monitor->substr(0, comma);
        monitorDll = comma == std::wstring::npos ? std::wstring() : monitor->substr(comma + 1);
    }

    volume_.CreateDirectory(versionDirectory);
    for (const auto& [source, target] : copies) {
        if (volume_.ReadFile(target) == volume_.ReadFile(source)) {
            continue; // the same file is there already
        }
        if (volume_.Copy(source, target, false) == ERROR_SHARING_VIOLATION) {
            // In use (a loaded monitor): Windows replaces it at the next restart.
            *rebootRequired = true;
        }
    }
    if (!monitorName.empty() && monitors_.count(FoldCase(monitorName)) == 0) {
        if (!volume_.FileExists(SystemFile(monitorDll))) {
            return kErrorModNotFound;
        }
        StageMonitor(monitorName, monitorDll);
    }

    DriverRecord driver;
    driver.version = 3;
    driver.name = model.displayName;
    driver.environment = Environment();
    driver.driverPath = versionDirectory + L"\\" + *driverFile;
    auto installed = [&](const std::optional<std::wstring>& file) -> std::optional<std::wstring> {
        if (!file || file->empty()) {
            return std::nullopt;
        }
        return versionDirectory + L"\\" + *file;
    };
    driver.configFile = installed(configFile);
    driver.dataFile = installed(dataFile);
    driver.helpFile = installed(helpFile);
    std::vector<std::wstring> dependent;
    for (const std::wstring& file : driverFolderFiles) {
        bool main = false;
        for (const std::optional<std::wstring>& named : {driverFile, configFile, dataFile, helpFile}) {
            main = main || (named && EqualsNoCase(*named, file));
        }
        if (!main) {
            dependent.push_back(versionDirectory + L"\\" + file);
        }
    }
    if (!dependent.empty()) {
        driver.dependentFiles = dependent;
    }
    if (!monitorName.empty()) {
        driver.monitorName = monitorName;
    }
    driver.defaultDataType = inf.Value(section, L"DefaultDataType");
    if (std::optional<std::wstring> driverVer = inf.Value(L"Version", L"DriverVer")) {
        ParseDriverVer(*driverVer, &driver.driverDate, &driver.driverVersion);
    }
    driver.manufacturer = model.manufacturer;
    driver.provider = inf.Value(L"Version", L"Provider");
    driver.hardwareId = AsciiLower(hardwareId);
    driver.printProcessor = inf.Value(section, L"PrintProcessor");
    driver.infPath = package.storedInfPath;
    driver.package = package.folder;
    DriverTable(driver.environment)[FoldCase(driver.name)] = driver;
    return ERROR_SUCCESS;
}

void Spooler::CreateQueue(const ScheduledQueue& scheduled, uint64_t atMs)
{
    const bool present = std::any_of(devices_.PresentPrinters().begin(), devices_.PresentPrinters().end(),
                                     [&](const UsbPrinter& p) { return EqualsNoCase(p.serial, scheduled.device); });
    // The queue is the device's own: it comes on the device's port even when
    // the spooler does not list that port yet.
    if (!present || DriverTable(Environment()).count(FoldCase(scheduled.driver)) == 0) {
        return;
    }
    // A queue of that name on the device's port is the one; on another port
    // the new one becomes "Name (Copy 1)", as Windows names it.
    std::wstring name = scheduled.name;
    for (int copy = 1;; ++copy) {
        const QueueRecord* existing = Queue(name);
        if (existing == nullptr) {
            break;
        }
        if (EqualsNoCase(existing->port, scheduled.port)) {
            return;
        }
        name = scheduled.name + L" (Copy " + std::to_wstring(copy) + L")";
    }
    QueueRecord queue;
    queue.name = name;
    queue.port = scheduled.port;
    queue.driver = scheduled.driver;
    queue.createdAtMs = atMs;
    queue.createdByPlugAndPlay = true;
    queues_[FoldCase(name)] = queue;
}

} // namespace sim
