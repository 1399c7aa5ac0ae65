// The print spooler of the simulated machine: the "Spooler" service with a
// state machine that runs on virtual time, printer drivers per environment,
// queues with jobs, ports (a present USB printer's port while the service
// runs), monitors whose DLLs the running service holds open, the driver
// store with its PackageInstallation keys, and the Plug and Play binding of a
// driver to a device, which creates the device's queue some time later.
//
// The operations return Windows' error codes (0 on success); the platform
// layer (driver_calls.cpp, printer_calls.cpp, service_calls.cpp) turns them into the API's
// buffers and last-error values. A test stages a scenario with the knobs and
// checks the outcome with the inspection calls; they are meant for the
// test's thread, outside the tool's calls.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/wintypes.h"
#include "sim/devices/devices.h"
#include "sim/kernel/clock.h"
#include "sim/kernel/volume.h"
#include "sim/registry/registry.h"
#include "sim/spooler/inf_file.h"

namespace sim {

// Error codes the SDK stand-in does not carry.
constexpr DWORD kErrorModNotFound = 126;            // ERROR_MOD_NOT_FOUND
constexpr DWORD kErrorInvalidData = 13;             // ERROR_INVALID_DATA
constexpr DWORD kErrorUnknownPrintProcessor = 1798; // ERROR_UNKNOWN_PRINTPROCESSOR
constexpr DWORD kErrorInvalidDatatype = 1804;       // ERROR_INVALID_DATATYPE
constexpr DWORD kErrorInvalidEnvironment = 1805;    // ERROR_INVALID_ENVIRONMENT
constexpr DWORD kRpcServerUnavailable = RPC_S_SERVER_UNAVAILABLE;
constexpr HRESULT kSpapiGeneralSyntax = static_cast<HRESULT>(0x800F0203); // SPAPI_E_GENERAL_SYNTAX

// Access rights of printer handles.
constexpr ACCESS_MASK kPrinterAccessAdminister = 0x00000004;
constexpr ACCESS_MASK kPrinterAccessUse = 0x00000008;
constexpr ACCESS_MASK kDeleteAccess = 0x00010000;
constexpr DWORD kPrinterStatusPendingDeletion = 0x00000004;

// Every field of DRIVER_INFO_8W; a field the caller left null stays empty
// (nullopt), multi-strings are lists. File fields hold the installed paths
// ("<driver directory>\3\qxvprtdrv6.dll"), as Windows reports them.
struct DriverRecord {
    DWORD version = 3; // cVersion
    std::wstring name;
    std::wstring environment;
    std::optional<std::wstring> driverPath;
    std::optional<std::wstring> dataFile;
    std::optional<std::wstring> configFile;
    std::optional<std::wstring> helpFile;
    std::optional<std::vector<std::wstring>> dependentFiles;
    std::optional<std::wstring> monitorName;
    std::optional<std::wstring> defaultDataType;
    std::optional<std::vector<std::wstring>> previousNames;
    FILETIME driverDate = {0, 0};
    DWORDLONG driverVersion = 0;
    std::optional<std::wstring> manufacturer;
    std::optional<std::wstring> oemUrl;
    std::optional<std::wstring> hardwareId;
    std::optional<std::wstring> provider;
    std::optional<std::wstring> printProcessor;
    std::optional<std::wstring> vendorSetup;
    std::optional<std::vector<std::wstring>> colorProfiles;
    std::optional<std::wstring> infPath;
    DWORD attributes = 0;
    std::optional<std::vector<std::wstring>> coreDriverDependencies;
    FILETIME minInboxDriverDate = {0, 0};
    DWORDLONG minInboxDriverVersion = 0;
    // The driver store folder name of the package it was installed from; empty if none.
    std::wstring package;
};

struct QueueRecord {
    std::wstring name;
    std::wstring port;
    std::wstring driver;
    std::wstring printProcessor = L"winprint";
    std::wstring dataType = L"RAW";
    std::optional<std::wstring> shareName, comment, location, sepFile, parameters;
    DWORD attributes = PRINTER_ATTRIBUTE_LOCAL; // Windows adds PRINTER_ATTRIBUTE_LOCAL
    DWORD priority = 1, defaultPriority = 0, startTime = 0, untilTime = 0;
    DWORD jobs = 0;
    bool pendingDeletion = false; // deleted while jobs remain: goes when they do
    uint64_t createdAtMs = 0;
    bool createdByPlugAndPlay = false;
};

struct MonitorRecord {
    std::wstring name;
    std::wstring dll; // file name in the system directory
    std::wstring environment;
};

struct PackageRecord {
    std::wstring folder;        // "<inf>_amd64_<16 hex digits>" in FileRepository
    std::wstring storedInfPath; // what UploadPrinterDriverPackageW hands back
    std::wstring sourceInfPath; // where it was uploaded from (first upload)
    std::wstring environment;
    std::vector<std::wstring> files; // every file stored, the INF included
};

struct PortRecord {
    std::wstring name;
    std::wstring monitor;
    std::wstring description;
    DWORD type = 0;
};

struct ServiceTransition {
    uint64_t atMs;
    DWORD state; // SERVICE_STOP_PENDING, SERVICE_STOPPED, ...
};

struct PrinterOpen {
    std::wstring printer;
    ACCESS_MASK desiredAccess; // as asked for (0 when no defaults were given)
    uint64_t atMs;
};

// One call of UpdateDriverForPlugAndPlayDevicesW that bound a driver.
struct Binding {
    std::wstring hardwareId;
    std::wstring infPath;
    std::wstring driver;
    std::vector<std::wstring> devices; // serials of the devices bound
    uint64_t atMs;
};

class Spooler {
public:
    Spooler(Volume& volume, Registry& registry, Devices& devices, VirtualClock& clock,
            const std::wstring& systemDirectory, const WORD& processorArchitecture);

    // ---- Knobs: how the service behaves ----
    uint64_t stopDelayMs = 0;     // virtual time from a stop request to STOPPED
    uint64_t startDelayMs = 0;    // from a start request to RUNNING
    bool neverStops = false;      // STOP_PENDING for ever
    bool neverStarts = false;     // START_PENDING for ever
    DWORD refuseControlError = 0; // ControlService(STOP) of a running service fails with it
    DWORD refuseStartError = 0;   // StartServiceW of a stopped service fails with it
    bool serviceMissing = false;  // OpenServiceW fails with 1060
    bool managerFails = false;    // OpenSCManagerW fails with 5
    // ---- Knobs: ports, Plug and Play, the driver store ----
    bool usbPortsNeedRestart = false; // a printer plugged after the last start has no port until the next
    bool bindingDoesNothing = false;  // UpdateDriverForPlugAndPlayDevicesW succeeds and does nothing
    uint64_t pnpQueueDelayMs = 2000;  // from a binding to the device's queue
    HRESULT uploadFailure = S_OK;     // UploadPrinterDriverPackageW fails with it
    // The flags of every upload the tool asked for: a prompt no one sees would hold an unattended run.
    std::vector<DWORD> uploadFlags;
    // The flags of every Plug and Play update the tool asked for: a prompt there would hold an unattended run too.
    std::vector<DWORD> bindFlags;

    // ---- Staging ----
    // Puts the service in a state at once (no transition counted or recorded).
    void SetServiceState(DWORD state);
    // The ports of the printers present now exist, as if the service had just started.
    void CreatePresentPorts();
    void AddJobs(const std::wstring& queue, DWORD count);
    // Installed state as a test wants it, without the checks of the operations.
    void StageDriver(const DriverRecord& driver);
    void StageQueue(const QueueRecord& queue);
    void StageMonitor(const std::wstring& name, const std::wstring& dll);

    // ---- Inspection ----
    DWORD ServiceState();
    int Starts() const { return starts_; } // start requests accepted
    int Stops() const { return stops_; }   // stop requests accepted
    const std::vector<ServiceTransition>& Transitions();
    // The service state at a virtual time, from the transitions.
    DWORD StateAt(uint64_t ms);
    std::wstring Environment() const; // "Windows x64" ...
    std::wstring DriverDirectory() const;
    std::vector<DriverRecord> Drivers(); // of the current environment
    const DriverRecord* FindDriver(const std::wstring& name);
    std::vector<QueueRecord> Queues();
    // The same, not copied: valid while the machine's lock is held.
    std::vector<std::reference_wrapper<const QueueRecord>> QueueRecords();
    const QueueRecord* FindQueue(const std::wstring& name);
    std::vector<MonitorRecord> Monitors();
    std::vector<PackageRecord> Packages();
    std::vector<PortRecord> Ports(); // what EnumPortsW lists now (empty while not running)
    const std::vector<PrinterOpen>& PrinterOpens() const { return opens_; }
    const std::vector<Binding>& Bindings() const { return bindings_; }
    int BindCalls() const { return bindCalls_; }
    int ReenumerateCalls() const { return reenumerateCalls_; }
    size_t OpenPrinterHandles() const { return printerHandles_.size(); }
    size_t OpenServiceHandles() const { return serviceHandles_.size(); }
    // A present printer's Plug and Play hardware ID ("usbprint\vadedudoro px630kt99a8"); empty without one.
    static std::wstring HardwareId(const UsbPrinter& printer);

    // ---- Service control manager ----
    DWORD OpenManager(SC_HANDLE* handle);
    DWORD OpenService(SC_HANDLE manager, const std::wstring& name, SC_HANDLE* handle);
    bool IsServiceHandle(SC_HANDLE handle) const;
    DWORD QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS* status);
    DWORD Stop(SC_HANDLE service, SERVICE_STATUS* status);
    DWORD Interrogate(SC_HANDLE service, SERVICE_STATUS* status);
    DWORD Start(SC_HANDLE service);
    // False for a handle that is not open.
    bool CloseServiceHandle(SC_HANDLE handle);

    // ---- Print spooler operations (0 or the error) ----
    // Known environment names; an empty one is the machine's own.
    DWORD ResolveEnvironment(const std::wstring& requested, std::wstring* environment) const;
    std::wstring DriverDirectory(const std::wstring& environment) const;
    DWORD CheckRunning();
    DWORD AddDriver(DriverRecord driver);
    // The drivers of an environment, not copied: valid while the machine's lock is held.
    DWORD DriversOf(const std::wstring& environment, std::vector<std::reference_wrapper<const DriverRecord>>* drivers);
    DWORD DeleteDriver(const std::wstring& environment, const std::wstring& name, DWORD flags, DWORD versionFlag);
    DWORD AddQueue(const QueueRecord& queue, HANDLE* handle);
    DWORD OpenPrinter(const std::wstring& name, ACCESS_MASK desiredAccess, HANDLE* handle);
    // False for a handle that is not open (a finding); else closes it and gives the error, if any.
    bool ClosePrinter(HANDLE handle, DWORD* error);
    bool IsPrinterHandle(HANDLE handle) const;
    DWORD PurgeQueue(HANDLE handle);
    DWORD DeleteQueue(HANDLE handle);
    DWORD AddMonitor(const std::wstring& name, const std::wstring& dll);
    DWORD DeleteMonitor(const std::wstring& name);
    // Stores a package; 0 or the HRESULT.
    HRESULT UploadPackage(const std::wstring& infPath, std::wstring* storedInfPath);
    HRESULT DeletePackage(const std::wstring& storedInfPath);

    // ---- Plug and Play ----
    void CountReenumerate() { ++reenumerateCalls_; }
    DWORD BindDriver(const std::wstring& hardwareId, const std::wstring& infPath, DWORD flags, bool* rebootRequired);

private:
    struct PrinterHandle {
        std::wstring queue; // folded name
        ACCESS_MASK access;
        unsigned generation; // the service run it was opened in
    };
    struct ScheduledQueue {
        uint64_t dueMs;
        std::wstring name;
        std::wstring port;
        std::wstring driver;
        std::wstring device; // serial
    };
    struct DeviceDriver {
        std::wstring driver;
        FILETIME date;
        DWORDLONG version;
    };
    enum class ScKind { Manager, Service };

    // Brings the state up to the clock: pending transitions that are due,
    // then queues Plug and Play creates, in time order.
    void Advance();
    void Enter(DWORD state, uint64_t atMs);
    void HoldMonitors(bool held);
    void FillStatus(SERVICE_STATUS* status);
    std::wstring ArchitectureFolder() const; // "amd64"
    std::wstring Platform() const;           // "NTamd64"
    std::wstring SystemFile(const std::wstring& name) const;
    std::map<std::wstring, DriverRecord>& DriverTable(const std::wstring& environment);
    bool DriverFileUsedByOthers(const std::wstring& environment, const std::wstring& name,
                                const std::wstring& path) const;
    QueueRecord* Queue(const std::wstring& name);
    // The queue an open handle names, when the service runs and the handle grants that access.
    DWORD QueueOf(HANDLE handle, ACCESS_MASK access, QueueRecord** queue);
    void RemoveQueueIfDone(const std::wstring& key);
    const PackageRecord* PackageForInf(const std::wstring& infPath) const;
    std::vector<PortRecord> ListPorts(); // without advancing the state
    bool PortListed(const std::wstring& port);
    void CreateQueue(const ScheduledQueue& scheduled, uint64_t atMs);
    HRESULT StorePackage(const std::wstring& infPath, std::wstring* storedInfPath);
    DWORD InstallModel(const InfFile& inf, const std::wstring& infPath, const InfFile::Model& model,
                       const std::wstring& hardwareId, const PackageRecord& package, bool* rebootRequired);

    Volume& volume_;
    Registry& registry_;
    Devices& devices_;
    VirtualClock& clock_;
    const std::wstring& systemDirectory_;
    const WORD& processorArchitecture_;

    DWORD state_ = SERVICE_RUNNING;
    uint64_t stateSince_ = 0;
    unsigned generation_ = 1;
    DWORD checkPoint_ = 0;
    int starts_ = 0;
    int stops_ = 0;
    std::vector<ServiceTransition> transitions_;
    std::vector<ServiceTransition> timeline_; // every state it was in, staged ones too
    std::vector<std::wstring> portsCreated_;  // serials whose port the service created

    std::map<std::wstring, std::map<std::wstring, DriverRecord>> drivers_; // environment -> folded name -> driver
    std::map<std::wstring, QueueRecord> queues_;                           // folded name
    std::map<std::wstring, MonitorRecord> monitors_;                       // folded name
    std::map<std::wstring, PackageRecord> packages_;                       // folded folder name
    std::vector<ScheduledQueue> scheduled_;
    std::map<std::wstring, DeviceDriver> deviceDrivers_; // folded serial -> driver bound

    std::map<HANDLE, PrinterHandle> printerHandles_;
    std::map<SC_HANDLE, ScKind> serviceHandles_;
    uintptr_t nextPrinterHandle_ = 0x9000;
    uintptr_t nextServiceHandle_ = 0xA000;
    std::vector<PrinterOpen> opens_;
    std::vector<Binding> bindings_;
    int bindCalls_ = 0;
    int reenumerateCalls_ = 0;
};

} // namespace sim
