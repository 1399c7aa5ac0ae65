// Kernel operations of the simulated machine: processes, threads, memory,
// time, code pages and debug output.
#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "sim/kernel/codepage.h"
#include "sim/kernel/wide.h"
#include "sim/sim_platform.h"

namespace sim {

void SimPlatform::GetNativeSystemInfo(LPSYSTEM_INFO info)
{
    Counted("GetNativeSystemInfo");
    std::memset(info, 0, sizeof(*info));
    info->wProcessorArchitecture = machine_.processorArchitecture;
    info->dwPageSize = 4096;
    info->dwNumberOfProcessors = 2;
    info->dwAllocationGranularity = 65536;
}

BOOL SimPlatform::CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                                 LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW startupInfo,
                                 LPPROCESS_INFORMATION processInformation)
{
    if (Injected("CreateProcessW")) {
        return FALSE;
    }
    if (applicationName != nullptr || commandLine == nullptr || startupInfo == nullptr ||
        startupInfo->cb != sizeof(STARTUPINFOW) || processInformation == nullptr) {
        machine_.ReportViolation("CreateProcessW called other than with a command line alone and a sized STARTUPINFOW");
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD processId = 0;
    if (Failed(machine_.Launch(commandLine, &processId))) {
        return FALSE;
    }
    processInformation->hProcess = machine_.OpenProcessHandle(processId);
    processInformation->hThread = machine_.NewHandle(HandleKind::Thread);
    processInformation->dwProcessId = processId;
    processInformation->dwThreadId = processId + 2;
    return TRUE;
}

DWORD SimPlatform::WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    DWORD error = ERROR_SUCCESS;
    if (Injected("WaitForSingleObject", &error)) {
        SetLastErrorCode(error);
        return WAIT_FAILED;
    }
    DWORD result = machine_.WaitForThread(handle, milliseconds);
    if (result == WAIT_FAILED) {
        result = machine_.WaitForProcess(handle, milliseconds);
    }
    if (result == WAIT_FAILED) {
        NotModelled("WaitForSingleObject other than on a process that can end or without end on a thread");
        SetLastErrorCode(ERROR_INVALID_HANDLE);
    }
    return result;
}

BOOL SimPlatform::GetExitCodeProcess(HANDLE process, LPDWORD exitCode)
{
    if (Injected("GetExitCodeProcess")) {
        return FALSE;
    }
    if (exitCode == nullptr || !machine_.ExitCodeOf(process, exitCode)) {
        machine_.ReportViolation("GetExitCodeProcess on a handle that is not a process");
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HANDLE SimPlatform::OpenProcess(DWORD access, BOOL inherit, DWORD processId)
{
    if (Injected("OpenProcess")) {
        return nullptr;
    }
    if ((access & ~(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION)) != 0 || inherit) {
        NotModelled("OpenProcess other than to wait for a process");
        return nullptr;
    }
    if (!machine_.ProcessRuns(processId)) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER); // as Windows says of a process that has gone
        return nullptr;
    }
    return machine_.OpenProcessHandle(processId);
}

DWORD SimPlatform::GetCurrentProcessId()
{
    Counted("GetCurrentProcessId");
    return machine_.CurrentProcess().id;
}

BOOL SimPlatform::CloseHandle(HANDLE handle)
{
    if (Injected("CloseHandle")) {
        return FALSE;
    }
    if (!machine_.CloseHandle(handle)) {
        machine_.ReportViolation("CloseHandle of a handle that is not open");
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HANDLE SimPlatform::CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE routine, LPVOID parameter,
                                 DWORD flags, LPDWORD threadId)
{
    if (Injected("CreateThread")) {
        return nullptr;
    }
    if (flags != 0) {
        machine_.ReportViolation("CreateThread with creation flags the machine does not model");
    }
    HANDLE handle = machine_.StartThread(routine, parameter);
    if (handle == nullptr) {
        SetLastErrorCode(ERROR_NOT_ENOUGH_MEMORY);
    } else if (threadId != nullptr) {
        *threadId = static_cast<DWORD>(reinterpret_cast<uintptr_t>(handle));
    }
    return handle;
}

HANDLE SimPlatform::CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCWSTR name)
{
    if (Injected("CreateMutexW")) {
        return nullptr;
    }
    if (name == nullptr || initialOwner) {
        NotModelled("CreateMutexW other than a named mutex nobody owns at first");
        return nullptr;
    }
    std::optional<SecurityDescriptor> own;
    if (!CallerDescriptor(attributes, &own)) {
        return nullptr;
    }
    DWORD error = ERROR_SUCCESS;
    bool existed = false;
    HANDLE handle = machine_.CreateNamedMutex(name, own ? &*own : nullptr, machine_.CallerToken(), &error, &existed);
    SetLastErrorCode(handle == nullptr ? error : existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

void SimPlatform::Sleep(DWORD milliseconds)
{
    Counted("Sleep");
    machine_.clock.Advance(milliseconds);
    if (!machine_.ActorActing()) {
        machine_.RecordSleep(__builtin_return_address(0), milliseconds);
        machine_.CheckTime();
    }
}

HLOCAL SimPlatform::LocalAlloc(UINT flags, SIZE_T bytes)
{
    if (Injected("LocalAlloc")) {
        return nullptr;
    }
    void* block =
        (flags & LMEM_ZEROINIT) ? std::calloc(bytes == 0 ? 1 : bytes, 1) : std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) {
        SetLastErrorCode(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    machine_.TrackBlock(block);
    return block;
}

HLOCAL SimPlatform::LocalFree(HLOCAL block)
{
    Counted("LocalFree");
    if (block == nullptr) {
        return nullptr;
    }
    if (!machine_.UntrackBlock(block)) {
        machine_.ReportViolation("LocalFree of a block that is not allocated");
        SetLastErrorCode(ERROR_INVALID_HANDLE);
        return block;
    }
    std::free(block);
    return nullptr;
}

int SimPlatform::MultiByteToWideChar(UINT codePage, DWORD, LPCCH source, int sourceBytes, LPWSTR target,
                                     int targetChars)
{
    if (Injected("MultiByteToWideChar")) {
        return 0;
    }
    if (codePage != CP_ACP || source == nullptr || sourceBytes == 0 || targetChars < 0) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = sourceBytes < 0 ? std::strlen(source) + 1 : static_cast<size_t>(sourceBytes);
    if (targetChars == 0) {
        return static_cast<int>(length);
    }
    if (length > static_cast<size_t>(targetChars)) {
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < length; ++i) {
        target[i] = DecodeAnsi(static_cast<unsigned char>(source[i]));
    }
    return static_cast<int>(length);
}

int SimPlatform::WideCharToMultiByte(UINT codePage, DWORD, LPCWCH source, int sourceChars, LPSTR target,
                                     int targetBytes, LPCCH defaultChar, LPBOOL usedDefault)
{
    if (Injected("WideCharToMultiByte")) {
        return 0;
    }
    if (codePage != CP_ACP || source == nullptr || sourceChars == 0 || targetBytes < 0) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = 0;
    if (sourceChars < 0) {
        while (source[length] != 0) {
            ++length;
        }
        ++length;
    } else {
        length = static_cast<size_t>(sourceChars);
    }
    if (targetBytes != 0 && length > static_cast<size_t>(targetBytes)) {
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    bool substituted = false;
    for (size_t i = 0; i < length; ++i) {
        unsigned char byte = 0;
        if (!EncodeAnsi(source[i], &byte)) {
            byte = static_cast<unsigned char>(defaultChar != nullptr ? *defaultChar : '?');
            substituted = true;
        }
        if (targetBytes != 0) {
            target[i] = static_cast<char>(byte);
        }
    }
    if (usedDefault != nullptr) {
        *usedDefault = substituted ? TRUE : FALSE;
    }
    return static_cast<int>(length);
}

BOOL SimPlatform::SystemTimeToFileTime(const SYSTEMTIME* time, LPFILETIME fileTime)
{
    if (Injected("SystemTimeToFileTime")) {
        return FALSE;
    }
    static const int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int year = time->wYear;
    int month = time->wMonth;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || time->wDay < 1 ||
        time->wDay > kDaysInMonth[month - 1] + (month == 2 && leap ? 1 : 0) || time->wHour > 23 || time->wMinute > 59 ||
        time->wSecond > 59 || time->wMilliseconds > 999) {
        SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Days from 1601-01-01 by the civil-from-days rule.
    int y = month <= 2 ? year - 1 : year;
    int era = y / 400;
    int yearOfEra = y - era * 400;
    int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + time->wDay - 1;
    int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    int64_t daysSince0000 = static_cast<int64_t>(era) * 146097 + dayOfEra;
    const int64_t kDaysTo1601 = 584694; // the same count for 1601-01-01
    int64_t days = daysSince0000 - kDaysTo1601;
    uint64_t ticks = static_cast<uint64_t>(days) * 864000000000ull +
                     (static_cast<uint64_t>(time->wHour) * 3600 + time->wMinute * 60 + time->wSecond) * 10000000ull +
                     static_cast<uint64_t>(time->wMilliseconds) * 10000ull;
    fileTime->dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    fileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}

namespace {

// Days since 1970-01-01 of a civil date, and back (the proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

void CivilFromDays(int64_t days, SYSTEMTIME* time)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    const unsigned month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    time->wYear = static_cast<WORD>(static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0));
    time->wMonth = static_cast<WORD>(month);
    time->wDay = static_cast<WORD>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
}

} // namespace

void SimPlatform::GetLocalTime(LPSYSTEMTIME time)
{
    Counted("GetLocalTime");
    const SYSTEMTIME& boot = machine_.bootTime;
    const uint64_t kDayMs = 86400000ull;
    const uint64_t bootMs = ((boot.wHour * 60ull + boot.wMinute) * 60ull + boot.wSecond) * 1000ull + boot.wMilliseconds;
    const uint64_t now = bootMs + machine_.clock.NowMs();
    const int64_t days = DaysFromCivil(boot.wYear, boot.wMonth, boot.wDay) + static_cast<int64_t>(now / kDayMs);
    const uint64_t ms = now % kDayMs;
    CivilFromDays(days, time);
    time->wDayOfWeek = static_cast<WORD>((days % 7 + 11) % 7); // 1970-01-01 was a Thursday
    time->wHour = static_cast<WORD>(ms / 3600000);
    time->wMinute = static_cast<WORD>(ms / 60000 % 60);
    time->wSecond = static_cast<WORD>(ms / 1000 % 60);
    time->wMilliseconds = static_cast<WORD>(ms % 1000);
}

BOOL SimPlatform::GetVersionExW(LPOSVERSIONINFOW information)
{
    if (Injected("GetVersionExW")) {
        return FALSE;
    }
    if (information == nullptr || information->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW)) {
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    *information = OSVERSIONINFOW{};
    information->dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    information->dwMajorVersion = machine_.versionMajor;
    information->dwMinorVersion = machine_.versionMinor;
    information->dwBuildNumber = machine_.versionBuild;
    information->dwPlatformId = 2; // VER_PLATFORM_WIN32_NT
    return TRUE;
}

LANGID SimPlatform::GetUserDefaultUILanguage()
{
    Counted("GetUserDefaultUILanguage");
    return machine_.uiLanguage;
}

void SimPlatform::OutputDebugStringW(LPCWSTR text)
{
    Counted("OutputDebugStringW");
    machine_.debug.Write(text != nullptr ? text : L"");
}

} // namespace sim
