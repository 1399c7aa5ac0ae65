// Print spooler operations of the simulated machine: the API's records,
// buffers and last-error values around sim::Spooler. Only the local server
// is modelled; naming another one is a finding.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_platform.h"

namespace sim {

namespace {

const DWORD kInvalidUserBuffer = 1784; // ERROR_INVALID_USER_BUFFER

bool Failed(DWORD error)
{
    if (error != ERROR_SUCCESS) {
        SetLastErrorCode(error);
        return true;
    }
    return false;
}

std::wstring Text(LPCWSTR text)
{
    return text != nullptr ? std::wstring(text) : std::wstring();
}

std::optional<std::wstring> OptionalText(LPCWSTR text)
{
    return text != nullptr ? std::optional<std::wstring>(text) : std::nullopt;
}

std::optional<std::vector<std::wstring>> MultiText(LPCWSTR text)
{
    if (text == nullptr) {
        return std::nullopt;
    }
    std::vector<std::wstring> strings;
    while (*text != 0) {
        strings.emplace_back(text);
        text += strings.back().size() + 1;
    }
    return strings;
}

size_t Bytes(const std::optional<std::wstring>& text)
{
    return text ? (text->size() + 1) * sizeof(WCHAR) : 0;
}

size_t Bytes(const std::optional<std::vector<std::wstring>>& strings)
{
    if (!strings) {
        return 0;
    }
    size_t chars = 1;
    for (const std::wstring& text : *strings) {
        chars += text.size() + 1;
    }
    return chars * sizeof(WCHAR);
}

// The strings after the records, in the caller's buffer.
class StringArea {
public:
    StringArea(LPBYTE buffer, size_t offset) : buffer_(buffer), offset_(offset) {}

    LPWSTR Put(const std::optional<std::wstring>& text)
    {
        if (!text) {
            return nullptr;
        }
        auto* at = reinterpret_cast<LPWSTR>(buffer_ + offset_);
        std::memcpy(buffer_ + offset_, text->c_str(), Bytes(text));
        offset_ += Bytes(text);
        return at;
    }

    LPWSTR Put(const std::optional<std::vector<std::wstring>>& strings)
    {
        if (!strings) {
            return nullptr;
        }
        auto* at = reinterpret_cast<LPWSTR>(buffer_ + offset_);
        for (const std::wstring& text : *strings) {
            Put(std::optional<std::wstring>(text));
        }
        const WCHAR end = 0;
        std::memcpy(buffer_ + offset_, &end, sizeof(end));
        offset_ += sizeof(end);
        return at;
    }

private:
    LPBYTE buffer_;
    size_t offset_;
};

// Windows' packing of an enumeration: the records, then the strings they
// point to, all in the caller's buffer. A size query (no buffer, or one too
// small) fails with ERROR_INSUFFICIENT_BUFFER and the size needed; nothing
// to list is success with nothing needed.
template <typename Record, typename Item, typename StringBytes, typename Fill>
BOOL PackRecords(const std::vector<Item>& items, StringBytes stringBytes, Fill fill, LPBYTE buffer, DWORD size,
                 LPDWORD needed, LPDWORD returned)
{
    size_t total = items.size() * sizeof(Record);
    for (const Item& item : items) {
        total += stringBytes(item);
    }
    *needed = static_cast<DWORD>(total);
    *returned = 0;
    if (items.empty()) {
        return TRUE;
    }
    if (buffer == nullptr && size != 0) {
        SetLastErrorCode(kInvalidUserBuffer);
        return FALSE;
    }
    if (buffer == nullptr || size < total) {
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    StringArea strings(buffer, items.size() * sizeof(Record));
    for (size_t i = 0; i < items.size(); ++i) {
        Record record;
        std::memset(&record, 0, sizeof(record));
        fill(items[i], &record, &strings);
        std::memcpy(buffer + i * sizeof(Record), &record, sizeof(Record));
    }
    *returned = static_cast<DWORD>(items.size());
    return TRUE;
}

size_t DriverStringBytes(const DriverRecord& d)
{
    return Bytes(std::optional<std::wstring>(d.name)) + Bytes(std::optional<std::wstring>(d.environment)) +
           Bytes(d.driverPath) + Bytes(d.dataFile) + Bytes(d.configFile) + Bytes(d.helpFile) + Bytes(d.dependentFiles) +
           Bytes(d.monitorName) + Bytes(d.defaultDataType) + Bytes(d.previousNames) + Bytes(d.manufacturer) +
           Bytes(d.oemUrl) + Bytes(d.hardwareId) + Bytes(d.provider) + Bytes(d.printProcessor) + Bytes(d.vendorSetup) +
           Bytes(d.colorProfiles) + Bytes(d.infPath) + Bytes(d.coreDriverDependencies);
}

void FillDriver(const DriverRecord& d, DRIVER_INFO_8W* r, StringArea* s)
{
    r->cVersion = d.version;
    r->pName = s->Put(std::optional<std::wstring>(d.name));
    r->pEnvironment = s->Put(std::optional<std::wstring>(d.environment));
    r->pDriverPath = s->Put(d.driverPath);
    r->pDataFile = s->Put(d.dataFile);
    r->pConfigFile = s->Put(d.configFile);
    r->pHelpFile = s->Put(d.helpFile);
    r->pDependentFiles = s->Put(d.dependentFiles);
    r->pMonitorName = s->Put(d.monitorName);
    r->pDefaultDataType = s->Put(d.defaultDataType);
    r->pszzPreviousNames = s->Put(d.previousNames);
    r->ftDriverDate = d.driverDate;
    r->dwlDriverVersion = d.driverVersion;
    r->pszMfgName = s->Put(d.manufacturer);
    r->pszOEMUrl = s->Put(d.oemUrl);
    r->pszHardwareID = s->Put(d.hardwareId);
    r->pszProvider = s->Put(d.provider);
    r->pszPrintProcessor = s->Put(d.printProcessor);
    r->pszVendorSetup = s->Put(d.vendorSetup);
    r->pszzColorProfiles = s->Put(d.colorProfiles);
    r->pszInfPath = s->Put(d.infPath);
    r->dwPrinterDriverAttributes = d.attributes;
    r->pszzCoreDriverDependencies = s->Put(d.coreDriverDependencies);
    r->ftMinInboxDriverVerDate = d.minInboxDriverDate;
    r->dwlMinInboxDriverVerVersion = d.minInboxDriverVersion;
}

size_t QueueStringBytes(const QueueRecord& q)
{
    return Bytes(std::optional<std::wstring>(q.name)) + Bytes(q.shareName) +
           Bytes(std::optional<std::wstring>(q.port)) + Bytes(std::optional<std::wstring>(q.driver)) +
           Bytes(q.comment) + Bytes(q.location) + Bytes(q.sepFile) +
           Bytes(std::optional<std::wstring>(q.printProcessor)) + Bytes(std::optional<std::wstring>(q.dataType)) +
           Bytes(q.parameters);
}

void FillQueue(const QueueRecord& q, PRINTER_INFO_2W* r, StringArea* s)
{
    r->pServerName = nullptr; // a local queue
    r->pPrinterName = s->Put(std::optional<std::wstring>(q.name));
    r->pShareName = s->Put(q.shareName);
    r->pPortName = s->Put(std::optional<std::wstring>(q.port));
    r->pDriverName = s->Put(std::optional<std::wstring>(q.driver));
    r->pComment = s->Put(q.comment);
    r->pLocation = s->Put(q.location);
    r->pDevMode = nullptr;
    r->pSepFile = s->Put(q.sepFile);
    r->pPrintProcessor = s->Put(std::optional<std::wstring>(q.printProcessor));
    r->pDatatype = s->Put(std::optional<std::wstring>(q.dataType));
    r->pParameters = s->Put(q.parameters);
    r->pSecurityDescriptor = nullptr;
    r->Attributes = q.attributes;
    r->Priority = q.priority;
    r->DefaultPriority = q.defaultPriority;
    r->StartTime = q.startTime;
    r->UntilTime = q.untilTime;
    r->Status = q.pendingDeletion ? kPrinterStatusPendingDeletion : 0;
    r->cJobs = q.jobs;
    r->AveragePPM = 0;
}

size_t PortStringBytes(const PortRecord& p)
{
    return Bytes(std::optional<std::wstring>(p.name)) + Bytes(std::optional<std::wstring>(p.monitor)) +
           Bytes(std::optional<std::wstring>(p.description));
}

void FillPort(const PortRecord& p, PORT_INFO_2W* r, StringArea* s)
{
    r->pPortName = s->Put(std::optional<std::wstring>(p.name));
    r->pMonitorName = s->Put(std::optional<std::wstring>(p.monitor));
    r->pDescription = s->Put(std::optional<std::wstring>(p.description));
    r->fPortType = p.type;
    r->Reserved = 0;
}

} // namespace

// A server name other than the local machine's: not modelled.
#define REQUIRE_LOCAL_SERVER(server, operation, failure)                                                               \
    do {                                                                                                               \
        if ((server) != nullptr && (server)[0] != 0) {                                                                 \
            machine_.ReportViolation(operation " for a remote server, which the machine does not model");              \
            SetLastErrorCode(ERROR_INVALID_PARAMETER);                                                                 \
            return failure;                                                                                            \
        }                                                                                                              \
    } while (0)

BOOL SimPlatform::EnumPrinterDriversW(LPWSTR name, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                      LPDWORD needed, LPDWORD returned)
{
    if (Injected("EnumPrinterDriversW")) {
        return FALSE;
    }
    REQUIRE_LOCAL_SERVER(name, "EnumPrinterDriversW", FALSE);
    if (level != 8 || needed == nullptr || returned == nullptr) {
        machine_.ReportViolation("EnumPrinterDriversW other than at level 8 with both counts");
        SetLastErrorCode(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    Spooler& spooler = machine_.spooler;
    std::wstring resolved;
    std::vector<DriverRecord> drivers;
    if (Failed(spooler.CheckRunning()) || Failed(spooler.ResolveEnvironment(Text(environment), &resolved)) ||
        Failed(spooler.DriversOf(resolved, &drivers))) {
        return FALSE;
    }
    return PackRecords<DRIVER_INFO_8W>(drivers, DriverStringBytes, FillDriver, buffer, size, needed, returned);
}

BOOL SimPlatform::EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                                LPDWORD returned)
{
    if (Injected("EnumPrintersW")) {
        return FALSE;
    }
    REQUIRE_LOCAL_SERVER(name, "EnumPrintersW", FALSE);
    if ((flags & PRINTER_ENUM_LOCAL) == 0 || level != 2 || needed == nullptr || returned == nullptr) {
        machine_.ReportViolation("EnumPrintersW other than of local queues at level 2 with both counts");
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    if (Failed(machine_.spooler.CheckRunning())) {
        return FALSE;
    }
    return PackRecords<PRINTER_INFO_2W>(machine_.spooler.Queues(), QueueStringBytes, FillQueue, buffer, size, needed,
                                        returned);
}

BOOL SimPlatform::EnumPortsW(LPWSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned)
{
    if (Injected("EnumPortsW")) {
        return FALSE;
    }
    REQUIRE_LOCAL_SERVER(name, "EnumPortsW", FALSE);
    if (level != 2 || needed == nullptr || returned == nullptr) {
        machine_.ReportViolation("EnumPortsW other than at level 2 with both counts");
        SetLastErrorCode(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    if (Failed(machine_.spooler.CheckRunning())) {
        return FALSE;
    }
    return PackRecords<PORT_INFO_2W>(machine_.spooler.Ports(), PortStringBytes, FillPort, buffer, size, needed,
                                     returned);
}

// Besides the monitors added through the API, the ones Windows ships.
BOOL SimPlatform::EnumMonitorsW(LPWSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned)
{
    if (Injected("EnumMonitorsW")) {
        return FALSE;
    }
    REQUIRE_LOCAL_SERVER(name, "EnumMonitorsW", FALSE);
    if (level != 2 || needed == nullptr || returned == nullptr) {
        machine_.ReportViolation("EnumMonitorsW other than at level 2 with both counts");
        SetLastErrorCode(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    Spooler& spooler = machine_.spooler;
    if (Failed(spooler.CheckRunning())) {
        return FALSE;
    }
    std::vector<MonitorRecord> monitors = {{L"Local Port", L"localspl.dll", spooler.Environment()},
                                           {L"USB Monitor", L"usbmon.dll", spooler.Environment()}};
    for (const MonitorRecord& monitor : spooler.Monitors()) {
        monitors.push_back(monitor);
    }
    return PackRecords<MONITOR_INFO_2W>(
        monitors,
        [](const MonitorRecord& m) {
            return Bytes(std::optional<std::wstring>(m.name)) + Bytes(std::optional<std::wstring>(m.environment)) +
                   Bytes(std::optional<std::wstring>(m.dll));
        },
        [](const MonitorRecord& m, MONITOR_INFO_2W* r, StringArea* s) {
            r->pName = s->Put(std::optional<std::wstring>(m.name));
            r->pEnvironment = s->Put(std::optional<std::wstring>(m.environment));
            r->pDLLName = s->Put(std::optional<std::wstring>(m.dll));
        },
        buffer, size, needed, returned);
}

BOOL SimPlatform::OpenPrinterW(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults)
{
    if (Injected("OpenPrinterW")) {
        return FALSE;
    }
    if (name == nullptr || name[0] == 0 || std::wcschr(name, L',') != nullptr || printer == nullptr) {
        machine_.ReportViolation(
            "OpenPrinterW of the server or a port/monitor object, which the machine does not model");
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    *printer = nullptr;
    HANDLE opened = nullptr;
    if (Failed(machine_.spooler.OpenPrinter(name, defaults != nullptr ? defaults->DesiredAccess : 0, &opened))) {
        return FALSE;
    }
    *printer = opened;
    return TRUE;
}

BOOL SimPlatform::ClosePrinter(HANDLE printer)
{
    if (Injected("ClosePrinter")) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    DWORD error = ERROR_SUCCESS;
    if (!machine_.spooler.ClosePrinter(printer, &error)) {
        machine_.ReportViolation("ClosePrinter of a handle that is not open");
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return Failed(error) ? FALSE : TRUE;
}

BOOL SimPlatform::SetPrinterW(HANDLE printer, DWORD level, LPBYTE data, DWORD command)
{
    if (Injected("SetPrinterW")) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    if (!machine_.spooler.IsPrinterHandle(printer)) {
        machine_.ReportViolation("SetPrinterW with a handle that is not open");
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (level != 0 || data != nullptr || command != PRINTER_CONTROL_PURGE) {
        machine_.ReportViolation("SetPrinterW other than to purge, which the machine does not model");
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Failed(machine_.spooler.PurgeQueue(printer)) ? FALSE : TRUE;
}

BOOL SimPlatform::DeletePrinter(HANDLE printer)
{
    if (Injected("DeletePrinter")) {
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    if (!machine_.spooler.IsPrinterHandle(printer)) {
        machine_.ReportViolation("DeletePrinter with a handle that is not open");
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return Failed(machine_.spooler.DeleteQueue(printer)) ? FALSE : TRUE;
}

HANDLE SimPlatform::AddPrinterW(LPWSTR name, DWORD level, LPBYTE data)
{
    if (Injected("AddPrinterW")) {
        return nullptr;
    }
    REQUIRE_LOCAL_SERVER(name, "AddPrinterW", nullptr);
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    if (Failed(machine_.spooler.CheckRunning())) {
        return nullptr;
    }
    if (level != 2) {
        SetLastErrorCode(ERROR_INVALID_LEVEL);
        return nullptr;
    }
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(data);
    if (info == nullptr || info->pPrinterName == nullptr || info->pPortName == nullptr ||
        info->pDriverName == nullptr || info->pPrintProcessor == nullptr || info->pDatatype == nullptr) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    QueueRecord queue;
    queue.name = info->pPrinterName;
    queue.port = info->pPortName;
    queue.driver = info->pDriverName;
    queue.printProcessor = info->pPrintProcessor;
    queue.dataType = info->pDatatype;
    queue.shareName = OptionalText(info->pShareName);
    queue.comment = OptionalText(info->pComment);
    queue.location = OptionalText(info->pLocation);
    queue.sepFile = OptionalText(info->pSepFile);
    queue.parameters = OptionalText(info->pParameters);
    queue.attributes = info->Attributes;
    queue.priority = info->Priority;
    queue.defaultPriority = info->DefaultPriority;
    queue.startTime = info->StartTime;
    queue.untilTime = info->UntilTime;
    HANDLE printer = nullptr;
    if (Failed(machine_.spooler.AddQueue(queue, &printer))) {
        return nullptr;
    }
    return printer;
}

BOOL SimPlatform::AddPrinterDriverW(LPWSTR name, DWORD level, LPBYTE data)
{
    if (Injected("AddPrinterDriverW")) {
        return FALSE;
    }
    REQUIRE_LOCAL_SERVER(name, "AddPrinterDriverW", FALSE);
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    Spooler& spooler = machine_.spooler;
    if (Failed(spooler.CheckRunning())) {
        return FALSE;
    }
    if (level != 8) {
        SetLastErrorCode(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    const auto* info = reinterpret_cast<const DRIVER_INFO_8W*>(data);
    if (info == nullptr || info->pName == nullptr) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DriverRecord driver;
    if (Failed(spooler.ResolveEnvironment(Text(info->pEnvironment), &driver.environment))) {
        return FALSE;
    }
    driver.version = info->cVersion;
    driver.name = info->pName;
    driver.driverPath = OptionalText(info->pDriverPath);
    driver.dataFile = OptionalText(info->pDataFile);
    driver.configFile = OptionalText(info->pConfigFile);
    driver.helpFile = OptionalText(info->pHelpFile);
    driver.dependentFiles = MultiText(info->pDependentFiles);
    driver.monitorName = OptionalText(info->pMonitorName);
    driver.defaultDataType = OptionalText(info->pDefaultDataType);
    driver.previousNames = MultiText(info->pszzPreviousNames);
    driver.driverDate = info->ftDriverDate;
    driver.driverVersion = info->dwlDriverVersion;
    driver.manufacturer = OptionalText(info->pszMfgName);
    driver.oemUrl = OptionalText(info->pszOEMUrl);
    driver.hardwareId = OptionalText(info->pszHardwareID);
    driver.provider = OptionalText(info->pszProvider);
    driver.printProcessor = OptionalText(info->pszPrintProcessor);
    driver.vendorSetup = OptionalText(info->pszVendorSetup);
    driver.colorProfiles = MultiText(info->pszzColorProfiles);
    driver.infPath = OptionalText(info->pszInfPath);
    driver.attributes = info->dwPrinterDriverAttributes;
    driver.coreDriverDependencies = MultiText(info->pszzCoreDriverDependencies);
    driver.minInboxDriverDate = info->ftMinInboxDriverVerDate;
    driver.minInboxDriverVersion = info->dwlMinInboxDriverVerVersion;
    return Failed(spooler.AddDriver(std::move(driver))) ? FALSE : TRUE;
}

BOOL SimPlatform::AddMonitorW(LPWSTR name, DWORD level, LPBYTE data)
{
    if (Injected("AddMonitorW")) {
        return FALSE;
    }
    REQUIRE_LOCAL_SERVER(name, "AddMonitorW", FALSE);
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    Spooler& spooler = machine_.spooler;
    if (Failed(spooler.CheckRunning())) {
        return FALSE;
    }
    if (level != 2) {
        SetLastErrorCode(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    const auto* info = reinterpret_cast<const MONITOR_INFO_2W*>(data);
    std::wstring environment;
    if (info == nullptr || info->pName == nullptr || info->pDLLName == nullptr) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Failed(spooler.ResolveEnvironment(Text(info->pEnvironment), &environment))) {
        return FALSE;
    }
    if (environment != spooler.Environment()) {
        machine_.ReportViolation("AddMonitorW for another environment, which the machine does not model");
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Failed(spooler.AddMonitor(info->pName, info->pDLLName)) ? FALSE : TRUE;
}

BOOL SimPlatform::DeletePrinterDriverExW(LPWSTR name, LPWSTR environment, LPWSTR driver, DWORD flags, DWORD versionFlag)
{
    if (Injected("DeletePrinterDriverExW")) {
        return FALSE;
    }
    REQUIRE_LOCAL_SERVER(name, "DeletePrinterDriverExW", FALSE);
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    Spooler& spooler = machine_.spooler;
    std::wstring resolved;
    if (Failed(spooler.CheckRunning()) || Failed(spooler.ResolveEnvironment(Text(environment), &resolved))) {
        return FALSE;
    }
    if (driver == nullptr || driver[0] == 0) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Failed(spooler.DeleteDriver(resolved, driver, flags, versionFlag)) ? FALSE : TRUE;
}

BOOL SimPlatform::DeleteMonitorW(LPWSTR name, LPWSTR environment, LPWSTR monitor)
{
    if (Injected("DeleteMonitorW")) {
        return FALSE;
    }
    REQUIRE_LOCAL_SERVER(name, "DeleteMonitorW", FALSE);
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    Spooler& spooler = machine_.spooler;
    std::wstring resolved;
    if (Failed(spooler.CheckRunning()) || Failed(spooler.ResolveEnvironment(Text(environment), &resolved))) {
        return FALSE;
    }
    if (monitor == nullptr || monitor[0] == 0) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Failed(spooler.DeleteMonitor(monitor)) ? FALSE : TRUE;
}

HRESULT SimPlatform::DeletePrinterDriverPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR environment)
{
    DWORD injected = ERROR_SUCCESS;
    if (Injected("DeletePrinterDriverPackageW", &injected)) {
        return HRESULT_FROM_WIN32(injected);
    }
    REQUIRE_LOCAL_SERVER(server, "DeletePrinterDriverPackageW", E_INVALIDARG);
    if (infPath == nullptr) {
        return E_INVALIDARG;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    Spooler& spooler = machine_.spooler;
    std::wstring resolved;
    if (DWORD error = spooler.CheckRunning()) {
        return HRESULT_FROM_WIN32(error);
    }
    if (DWORD error = spooler.ResolveEnvironment(Text(environment), &resolved)) {
        return HRESULT_FROM_WIN32(error);
    }
    return spooler.DeletePackage(infPath);
}

HRESULT SimPlatform::UploadPrinterDriverPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR environment, DWORD, HWND,
                                                 LPWSTR destination, PULONG destinationChars)
{
    DWORD injected = ERROR_SUCCESS;
    if (Injected("UploadPrinterDriverPackageW", &injected)) {
        return HRESULT_FROM_WIN32(injected);
    }
    REQUIRE_LOCAL_SERVER(server, "UploadPrinterDriverPackageW", E_INVALIDARG);
    if (infPath == nullptr || destination == nullptr || destinationChars == nullptr) {
        return E_INVALIDARG;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    Spooler& spooler = machine_.spooler;
    std::wstring resolved;
    if (spooler.uploadFailure == S_OK) {
        if (DWORD error = spooler.CheckRunning()) {
            return HRESULT_FROM_WIN32(error);
        }
        if (DWORD error = spooler.ResolveEnvironment(Text(environment), &resolved)) {
            return HRESULT_FROM_WIN32(error);
        }
    }
    std::wstring stored;
    HRESULT result = spooler.UploadPackage(infPath, &stored);
    if (FAILED(result)) {
        return result;
    }
    const ULONG chars = static_cast<ULONG>(stored.size() + 1);
    if (*destinationChars < chars) {
        *destinationChars = chars;
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(destination, stored.c_str(), chars * sizeof(WCHAR));
    *destinationChars = chars;
    return S_OK;
}

BOOL SimPlatform::GetPrinterDriverDirectoryW(LPWSTR name, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                             LPDWORD needed)
{
    if (Injected("GetPrinterDriverDirectoryW")) {
        return FALSE;
    }
    REQUIRE_LOCAL_SERVER(name, "GetPrinterDriverDirectoryW", FALSE);
    if (needed == nullptr) {
        machine_.ReportViolation("GetPrinterDriverDirectoryW without a count");
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(machine_.Lock());
    Spooler& spooler = machine_.spooler;
    std::wstring resolved;
    // Like every spooler call on Windows it goes to the service, so it needs it running.
    if (Failed(spooler.CheckRunning()) || Failed(spooler.ResolveEnvironment(Text(environment), &resolved))) {
        return FALSE;
    }
    if (level != 1) {
        SetLastErrorCode(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    const std::wstring directory = spooler.DriverDirectory(resolved);
    machine_.volume.CreateDirectory(directory);
    const DWORD bytes = static_cast<DWORD>((directory.size() + 1) * sizeof(WCHAR));
    *needed = bytes;
    if (buffer == nullptr || size < bytes) {
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, directory.c_str(), bytes);
    return TRUE;
}

} // namespace sim
