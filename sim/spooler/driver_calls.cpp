// Print spooler operations of the simulated machine for drivers, monitors and
// the driver store: the API's records, buffers and last-error values around
// sim::Spooler. Only the local server is modelled; naming another one is a finding.
#include "sim/spooler/spooler_api.h"

namespace sim {

using namespace spooler_api;

namespace {

size_t DriverStringBytes(const DriverRecord& d)
{
    return Bytes(d.name) + Bytes(d.environment) + Bytes(d.driverPath) + Bytes(d.dataFile) + Bytes(d.configFile) +
           Bytes(d.helpFile) + Bytes(d.dependentFiles) + Bytes(d.monitorName) + Bytes(d.defaultDataType) +
           Bytes(d.previousNames) + Bytes(d.manufacturer) + Bytes(d.oemUrl) + Bytes(d.hardwareId) + Bytes(d.provider) +
           Bytes(d.printProcessor) + Bytes(d.vendorSetup) + Bytes(d.colorProfiles) + Bytes(d.infPath) +
           Bytes(d.coreDriverDependencies);
}

void FillDriver(const DriverRecord& d, DRIVER_INFO_8W* r, StringArea* s)
{
    r->cVersion = d.version;
    r->pName = s->Put(d.name);
    r->pEnvironment = s->Put(d.environment);
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

} // namespace

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
    std::vector<std::reference_wrapper<const DriverRecord>> drivers;
    if (Failed(spooler.CheckRunning()) || Failed(spooler.ResolveEnvironment(Text(environment), &resolved)) ||
        Failed(spooler.DriversOf(resolved, &drivers))) {
        return FALSE;
    }
    return PackRecords<DRIVER_INFO_8W>(drivers, DriverStringBytes, FillDriver, buffer, size, needed, returned);
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
        monitors, [](const MonitorRecord& m) { return Bytes(m.name) + Bytes(m.environment) + Bytes(m.dll); },
        [](const MonitorRecord& m, MONITOR_INFO_2W* r, StringArea* s) {
            r->pName = s->Put(m.name);
            r->pEnvironment = s->Put(m.environment);
            r->pDLLName = s->Put(m.dll);
        },
        buffer, size, needed, returned);
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

HRESULT SimPlatform::UploadPrinterDriverPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR environment, DWORD flags,
                                                 HWND, LPWSTR destination, PULONG destinationChars)
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
    spooler.uploadFlags.push_back(flags);
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
