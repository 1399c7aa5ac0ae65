// dbwin_listener.exe: collects the debugger output (OutputDebugString) of every process through
// the DBWIN shared buffer and writes one line per process line to a file as "<pid>\t<text>".
//
//   dbwin_listener.exe [--max-seconds N] <outfile>   listen until stopped or N seconds (600) pass
//   dbwin_listener.exe --stop                         stop the running listener
//
// Prints "ready" once it listens. A process line may arrive in several chunks (the tool under
// test writes the text and then "\n"), so chunks are joined per process id up to each "\n".
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>

namespace {

constexpr wchar_t kStopEventName[] = L"PrinterSetupDbwinStop";
constexpr DWORD kBufferSize = 4096;
constexpr unsigned long kDefaultMaxSeconds = 600;

struct DbwinBuffer {
    DWORD processId;
    char text[kBufferSize - sizeof(DWORD)];
};

void WriteText(DWORD stdHandle, const char* text)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(stdHandle), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

int Fail(const char* reason)
{
    WriteText(STD_ERROR_HANDLE, "dbwin_listener: ");
    WriteText(STD_ERROR_HANDLE, reason);
    WriteText(STD_ERROR_HANDLE, "\n");
    return 1;
}

// The buffer holds text in the writer's ANSI code page; the file gets UTF-8.
std::string AnsiToUtf8(const std::string& ansi)
{
    if (ansi.empty())
        return {};
    int wide = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), text.data(), wide);
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

class LineWriter {
public:
    explicit LineWriter(HANDLE file) : file_(file) {}

    void Add(DWORD pid, const char* chunk, size_t size)
    {
        std::string& pending = pending_[pid];
        for (size_t i = 0; i < size; ++i) {
            if (chunk[i] != '\n') {
                pending += chunk[i];
                continue;
            }
            Write(pid, pending);
            pending.clear();
        }
    }

    void FlushPartial()
    {
        for (auto& [pid, pending] : pending_)
            if (!pending.empty())
                Write(pid, pending);
        pending_.clear();
    }

private:
    // Unbuffered: a reader sees every line as soon as it is complete.
    void Write(DWORD pid, const std::string& ansi)
    {
        std::string line = std::to_string(pid) + "\t" + AnsiToUtf8(ansi) + "\n";
        DWORD written = 0;
        WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }

    HANDLE file_;
    std::map<DWORD, std::string> pending_;
};

int Stop()
{
    HANDLE stop = OpenEventW(EVENT_MODIFY_STATE, FALSE, kStopEventName);
    if (!stop)
        return Fail("no listener is running");
    SetEvent(stop);
    CloseHandle(stop);
    return 0;
}

int Listen(const wchar_t* outPath, unsigned long maxSeconds)
{
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, L"DBWIN_BUFFER");
    if (!mapping)
        return Fail("cannot create DBWIN_BUFFER");
    if (GetLastError() == ERROR_ALREADY_EXISTS)
        return Fail("another debugger output listener is running");
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, kStopEventName);
    if (!stop)
        return Fail("cannot create the stop event");
    ResetEvent(stop); // a --stop aimed at an earlier listener must not end this one
    auto* buffer = static_cast<const DbwinBuffer*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kBufferSize));
    HANDLE bufferReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
    HANDLE dataReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
    if (!buffer || !bufferReady || !dataReady)
        return Fail("cannot set up the DBWIN buffer and events");
    HANDLE out = CreateFileW(outPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return Fail("cannot create the output file");

    LineWriter lines(out);
    WriteText(STD_OUTPUT_HANDLE, "ready\n");
    const ULONGLONG deadline = GetTickCount64() + maxSeconds * 1000ULL;
    // Data first: text written just before a stop still gets into the file.
    const HANDLE waitFor[] = {dataReady, stop};
    int result = 0;
    for (;;) {
        SetEvent(bufferReady);
        const ULONGLONG now = GetTickCount64();
        const ULONGLONG left = now >= deadline ? 0 : deadline - now;
        const DWORD wait = static_cast<DWORD>(left < INFINITE ? left : INFINITE - 1);
        const DWORD signalled = WaitForMultipleObjects(2, waitFor, FALSE, wait);
        if (signalled == WAIT_OBJECT_0) {
            lines.Add(buffer->processId, buffer->text, strnlen(buffer->text, sizeof buffer->text));
            continue;
        }
        if (signalled == WAIT_TIMEOUT)
            Fail("maximum run time reached");
        else if (signalled != WAIT_OBJECT_0 + 1)
            result = Fail("waiting for debugger output failed");
        break;
    }
    lines.FlushPartial();
    CloseHandle(out);
    UnmapViewOfFile(buffer);
    CloseHandle(mapping);
    CloseHandle(bufferReady);
    CloseHandle(dataReady);
    CloseHandle(stop);
    return result;
}

int Usage()
{
    WriteText(STD_ERROR_HANDLE, "usage: dbwin_listener [--max-seconds N] <outfile> | dbwin_listener --stop\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 2 && std::wstring(argv[1]) == L"--stop")
        return Stop();
    unsigned long maxSeconds = kDefaultMaxSeconds;
    const wchar_t* outPath = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--max-seconds" && i + 1 < argc) {
            wchar_t* end = nullptr;
            errno = 0;
            maxSeconds = wcstoul(argv[++i], &end, 10);
            if (errno != 0 || *end != L'\0' || maxSeconds == 0 || argv[i][0] == L'-')
                return Usage();
        } else if (!outPath) {
            outPath = argv[i];
        } else {
            return Usage();
        }
    }
    return outPath ? Listen(outPath, maxSeconds) : Usage();
}
