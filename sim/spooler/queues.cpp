// Ports and printer queues.
#include "sim/spooler/spooler.h"

#include <algorithm>
#include <cwchar>

#include "sim/kernel/codepage.h"
#include "sim/kernel/wide.h"
#include "sim/spooler/spooling.h"

namespace sim {

using namespace spooling;

namespace {

// The data types the standard print processor takes.
const wchar_t* const kWinprintDatatypes[] = {L"RAW",          L"RAW [FF appended]", L"RAW [FF auto]", L"NT EMF 1.003",
                                             L"NT EMF 1.006", L"NT EMF 1.007",      L"NT EMF 1.008",  L"TEXT",
                                             L"XPS2GDI"};

} // namespace

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

DWORD Spooler::QueueOf(HANDLE handle, ACCESS_MASK access, QueueRecord** queue)
{
    if (DWORD error = CheckRunning()) {
        return error;
    }
    const PrinterHandle& open = printerHandles_.at(handle);
    *queue = Queue(open.queue);
    if (open.generation != generation_) {
        return ERROR_INVALID_HANDLE; // opened before the service restarted
    }
    if (*queue == nullptr) {
        return ERROR_INVALID_PRINTER_NAME;
    }
    return (open.access & access) == 0 ? static_cast<DWORD>(ERROR_ACCESS_DENIED) : ERROR_SUCCESS;
}

DWORD Spooler::PurgeQueue(HANDLE handle)
{
    QueueRecord* queue = nullptr;
    if (DWORD error = QueueOf(handle, kPrinterAccessAdminister, &queue)) {
        return error;
    }
    queue->jobs = 0;
    RemoveQueueIfDone(printerHandles_.at(handle).queue);
    return ERROR_SUCCESS;
}

DWORD Spooler::DeleteQueue(HANDLE handle)
{
    QueueRecord* queue = nullptr;
    if (DWORD error = QueueOf(handle, kDeleteAccess, &queue)) {
        return error;
    }
    // With jobs left it is only marked, and goes when they are gone.
    queue->pendingDeletion = true;
    RemoveQueueIfDone(printerHandles_.at(handle).queue);
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
    return ValuesOf(queues_);
}

std::vector<std::reference_wrapper<const QueueRecord>> Spooler::QueueRecords()
{
    Advance();
    return RecordsOf(queues_);
}

const QueueRecord* Spooler::FindQueue(const std::wstring& name)
{
    Advance();
    return Queue(name);
}

} // namespace sim
