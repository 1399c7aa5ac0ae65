// The driver store: packages uploaded, recorded under PackageInstallation, deleted.
#include "sim/spooler/spooler.h"

#include <algorithm>
#include <cwchar>

#include "sim/kernel/codepage.h"
#include "sim/kernel/wide.h"
#include "sim/spooler/spooling.h"

namespace sim {

using namespace spooling;

namespace {

const wchar_t kPackageInstallationKey[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\";

uint64_t Fnv1a(const std::string& bytes)
{
    uint64_t hash = 1469598103934665603ull;
    for (char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

} // namespace

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
    const std::shared_ptr<const InfFile> parsed = InfFile::ParseCached(*content);
    const InfFile& inf = *parsed;
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
    return ValuesOf(packages_);
}

} // namespace sim
