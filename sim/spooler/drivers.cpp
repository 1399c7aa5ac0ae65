// Printer drivers and print monitors.
#include "sim/spooler/spooler.h"

#include <algorithm>
#include <cwchar>

#include "sim/kernel/codepage.h"
#include "sim/kernel/wide.h"
#include "sim/spooler/spooling.h"

namespace sim {

using namespace spooling;

namespace {

const wchar_t kMonitorsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";

} // namespace

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

DWORD Spooler::DriversOf(const std::wstring& environment,
                         std::vector<std::reference_wrapper<const DriverRecord>>* drivers)
{
    if (DWORD error = CheckRunning()) {
        return error;
    }
    *drivers = RecordsOf(DriverTable(environment));
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
    return ValuesOf(DriverTable(Environment()));
}

const DriverRecord* Spooler::FindDriver(const std::wstring& name)
{
    Advance();
    auto& table = DriverTable(Environment());
    auto found = table.find(FoldCase(name));
    return found == table.end() ? nullptr : &found->second;
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
    return ValuesOf(monitors_);
}

} // namespace sim
