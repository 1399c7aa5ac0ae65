// Plug and Play: a driver bound to a device, and the queue that follows some virtual time later.
#include "sim/spooler/spooler.h"

#include <algorithm>
#include <cwchar>

#include "sim/kernel/codepage.h"
#include "sim/kernel/wide.h"
#include "sim/spooler/spooling.h"

namespace sim {

using namespace spooling;

namespace {

const DWORD kErrorGeneralSyntax = 0xE0000203; // ERROR_GENERAL_SYNTAX

uint64_t Ticks(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace

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
    const std::shared_ptr<const InfFile> parsed = InfFile::ParseCached(*content);
    const InfFile& inf = *parsed;
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
