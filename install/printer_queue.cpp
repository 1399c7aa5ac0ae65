#include "install/printer_queue.h"

#include <cwchar>
#include <cwctype>

#include "common/enumeration.h"
#include "common/format.h"
#include "common/platform.h"

namespace {

// Beyond this many copies of one model something else is wrong.
const int kMaxQueueCopies = 100;

// The spooler compares names without case.
bool EqualsNoCase(const WCHAR* text, size_t length, const WCHAR* name)
{
    size_t i = 0;
    for (; i < length; ++i) {
        if (name[i] == 0 || towupper(text[i]) != towupper(name[i])) {
            return false;
        }
    }
    return name[i] == 0;
}

// A pooled queue lists its ports as "USB001,USB002" or "USB001, USB002".
bool ListsPort(const WCHAR* portList, const WCHAR* portName)
{
    const WCHAR* entry = portList;
    while (*entry != 0) {
        while (*entry == L' ') {
            ++entry;
        }
        const WCHAR* end = entry;
        while (*end != 0 && *end != L',') {
            ++end;
        }
        if (EqualsNoCase(entry, static_cast<size_t>(end - entry), portName)) {
            return true;
        }
        entry = *end == L',' ? end + 1 : end;
    }
    return false;
}

bool IsPrinterQueue(const PRINTER_INFO_2W& queue, const InstallRequest& request)
{
    return queue.pPrinterName != nullptr && queue.pDriverName != nullptr && queue.pPortName != nullptr &&
           EqualsNoCase(queue.pDriverName, wcslen(queue.pDriverName), request.driverName) &&
           ListsPort(queue.pPortName, request.portName);
}

} // namespace

BOOL PrinterExists(const WCHAR* printerName)
{
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!Os().OpenPrinterW(const_cast<LPWSTR>(printerName), &printer, &defaults) || printer == nullptr) {
        return 0;
    }
    Os().ClosePrinter(printer);
    return 1;
}

BOOL FindPrinterQueue(InstallRequest* request)
{
    DWORD count = 0;
    bool complete = false;
    auto* queues = reinterpret_cast<PRINTER_INFO_2W*>(EnumerateRecords(
        [](BYTE* buffer, DWORD size, DWORD* needed, DWORD* returned) {
            return Os().EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, size, needed, returned);
        },
        &count, &complete));
    BOOL found = 0;
    for (DWORD i = 0; i < count && !found; ++i) {
        found = IsPrinterQueue(queues[i], *request);
        if (found) {
            FormatBounded(request->printerName, 260, L"%ws", queues[i].pPrinterName);
        }
    }
    Os().LocalFree(queues);
    // A failure box shows the last error: for a queue that is not there, the
    // one opening it would give, not the list's size query.
    if (!found && complete) {
        Os().SetLastError(ERROR_INVALID_PRINTER_NAME);
    }
    return found;
}

BOOL NameNewPrinterQueue(InstallRequest* request)
{
    for (int copy = 0; copy <= kMaxQueueCopies; ++copy) {
        if (copy == 0) {
            FormatBounded(request->printerName, 260, L"%ws", request->driverName);
        } else {
            FormatBounded(request->printerName, 260, L"%ws (Copy %d)", request->driverName, copy);
        }
        if (!PrinterExists(request->printerName)) {
            return 1;
        }
    }
    return 0;
}
