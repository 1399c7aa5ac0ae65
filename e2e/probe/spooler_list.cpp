// Lists what the spooler of this (Wine) machine holds, one fact per line, so
// the end-to-end scripts can check an installation from the outside:
//   queue<TAB>name<TAB>port<TAB>driver
//   driver<TAB>name<TAB>driver path
//   monitor<TAB>name
// `spooler_list.exe remove QUEUE DRIVER` deletes that queue and driver, so a
// scenario can leave the machine as it found it.
#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

namespace {

void Write(const std::wstring& line)
{
    std::wstring text = line + L"\n";
    int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], bytes, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

std::wstring Text(const wchar_t* text)
{
    return text != nullptr ? text : L"";
}

template <typename Enumerate> std::vector<BYTE> Enumerate2(Enumerate enumerate, DWORD* count)
{
    DWORD needed = 0;
    *count = 0;
    enumerate(nullptr, 0, &needed, count);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !enumerate(buffer.data(), needed, &needed, count)) {
        *count = 0;
    }
    return buffer;
}

bool Remove(const wchar_t* queue, const wchar_t* driverName)
{
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (OpenPrinterW(const_cast<LPWSTR>(queue), &printer, &defaults)) {
        DeletePrinter(printer);
        ClosePrinter(printer);
    }
    return DeletePrinterDriverExW(nullptr, nullptr, const_cast<LPWSTR>(driverName), 0, 0) != FALSE;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 4 && std::wstring(argv[1]) == L"remove") {
        return Remove(argv[2], argv[3]) ? 0 : 1;
    }
    DWORD count = 0;
    std::vector<BYTE> printers = Enumerate2(
        [](BYTE* b, DWORD s, DWORD* n, DWORD* c) { return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, b, s, n, c); },
        &count);
    auto* printer = reinterpret_cast<PRINTER_INFO_2W*>(printers.data());
    for (DWORD i = 0; i < count; ++i) {
        Write(L"queue\t" + Text(printer[i].pPrinterName) + L"\t" + Text(printer[i].pPortName) + L"\t" +
              Text(printer[i].pDriverName));
    }
    std::vector<BYTE> drivers = Enumerate2(
        [](BYTE* b, DWORD s, DWORD* n, DWORD* c) { return EnumPrinterDriversW(nullptr, nullptr, 2, b, s, n, c); },
        &count);
    auto* driver = reinterpret_cast<DRIVER_INFO_2W*>(drivers.data());
    for (DWORD i = 0; i < count; ++i) {
        Write(L"driver\t" + Text(driver[i].pName) + L"\t" + Text(driver[i].pDriverPath));
    }
    std::vector<BYTE> monitors =
        Enumerate2([](BYTE* b, DWORD s, DWORD* n, DWORD* c) { return EnumMonitorsW(nullptr, 1, b, s, n, c); }, &count);
    auto* monitor = reinterpret_cast<MONITOR_INFO_1W*>(monitors.data());
    for (DWORD i = 0; i < count; ++i) {
        Write(L"monitor\t" + Text(monitor[i].pName));
    }
    return 0;
}
