// Print spooler operations of the simulated machine for queues and ports.
#include "sim/spooler/spooler_api.h"

namespace sim {

using namespace spooler_api;

namespace {

size_t QueueStringBytes(const QueueRecord& q)
{
    return Bytes(q.name) + Bytes(q.shareName) + Bytes(q.port) + Bytes(q.driver) + Bytes(q.comment) + Bytes(q.location) +
           Bytes(q.sepFile) + Bytes(q.printProcessor) + Bytes(q.dataType) + Bytes(q.parameters);
}

void FillQueue(const QueueRecord& q, PRINTER_INFO_2W* r, StringArea* s)
{
    r->pServerName = nullptr; // a local queue
    r->pPrinterName = s->Put(q.name);
    r->pShareName = s->Put(q.shareName);
    r->pPortName = s->Put(q.port);
    r->pDriverName = s->Put(q.driver);
    r->pComment = s->Put(q.comment);
    r->pLocation = s->Put(q.location);
    r->pDevMode = nullptr;
    r->pSepFile = s->Put(q.sepFile);
    r->pPrintProcessor = s->Put(q.printProcessor);
    r->pDatatype = s->Put(q.dataType);
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
    return Bytes(p.name) + Bytes(p.monitor) + Bytes(p.description);
}

void FillPort(const PortRecord& p, PORT_INFO_2W* r, StringArea* s)
{
    r->pPortName = s->Put(p.name);
    r->pMonitorName = s->Put(p.monitor);
    r->pDescription = s->Put(p.description);
    r->fPortType = p.type;
    r->Reserved = 0;
}

} // namespace

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
    return PackRecords<PRINTER_INFO_2W>(machine_.spooler.QueueRecords(), QueueStringBytes, FillQueue, buffer, size,
                                        needed, returned);
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

} // namespace sim
