// ui_probe.exe: reads and drives the windows of another process so that a shell script can check
// what a GUI program shows under Wine. One fact per line on stdout, UTF-8.
//
//   ui_probe.exe [--class NAME] <command> <arguments...> [timeoutMs]
//
// Exit codes: 0 done, 1 timed out or window/control not found, 2 bad usage.
#include <windows.h>
#include <commctrl.h>

#include <cerrno>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPollMs = 50;
constexpr DWORD kDefaultTimeoutMs = 20000;
constexpr UINT kSendTimeoutMs = 5000;
constexpr DWORD kIconPaintMs = 2000;     // how long a shown message box may take to paint its icon
constexpr int kIconStaticId = 20;        // where Windows puts a message box's icon
constexpr int kMessageTextId = 0xFFFF;   // the message box's text static
constexpr size_t kTreeTextChars = 4096;  // longest tree item text read
constexpr size_t kMaxTreeItems = 100000; // guards against a tree that changes while we walk it

enum Exit { kOk = 0, kNotFound = 1, kUsage = 2 };

// ---- output ----

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

// Raw UTF-8 bytes to a pipe or file, so no console code page gets in the way.
void WriteLine(DWORD stdHandle, const std::wstring& line)
{
    HANDLE handle = GetStdHandle(stdHandle);
    std::wstring text = line + L"\n";
    DWORD written = 0;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    std::string bytes = ToUtf8(text);
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Print(const std::wstring& line)
{
    WriteLine(STD_OUTPUT_HANDLE, line);
}

int Fail(int code, const std::wstring& reason)
{
    WriteLine(STD_ERROR_HANDLE, L"ui_probe: " + reason);
    return code;
}

std::wstring Hex(ULONG_PTR value)
{
    wchar_t buffer[32];
    swprintf(buffer, 32, L"0x%llx", static_cast<unsigned long long>(value));
    return buffer;
}

// ---- finding windows ----

struct Target {
    std::wstring caption;
    std::wstring windowClass; // empty: any class
};

std::wstring ClassOf(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

std::wstring CaptionOf(HWND window)
{
    wchar_t caption[1024] = {};
    GetWindowTextW(window, caption, 1024); // reads the stored text; does not wait on the owner
    return caption;
}

HWND FindTopLevel(const Target& target)
{
    struct Search {
        const Target* target;
        HWND found;
    } search{&target, nullptr};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            if (!IsWindowVisible(window) || CaptionOf(window) != s->target->caption)
                return TRUE;
            if (!s->target->windowClass.empty() && ClassOf(window) != s->target->windowClass)
                return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Dialog templates store ids as 16 or 32 bits, so 0xFFFF and -1 are the same static.
HWND FindControl(HWND window, int id)
{
    if (id == 0)
        return window;
    struct Search {
        WORD id;
        HWND found;
    } search{static_cast<WORD>(id), nullptr};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            if (static_cast<WORD>(GetDlgCtrlID(child)) != s->id)
                return TRUE;
            s->found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Calls `ready` every kPollMs until it returns true or the timeout has passed.
template <typename Ready> bool PollUntil(DWORD timeoutMs, Ready ready)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (ready())
            return true;
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(kPollMs);
    }
}

struct Found {
    HWND window = nullptr;
    HWND control = nullptr;
};

// Waits until the window and its control exist and `accept(found)` holds.
template <typename Accept>
bool WaitForControl(const Target& target, int id, DWORD timeoutMs, Found* found, Accept accept)
{
    return PollUntil(timeoutMs, [&] {
        found->window = FindTopLevel(target);
        found->control = found->window ? FindControl(found->window, id) : nullptr;
        return found->control && accept(*found);
    });
}

bool WaitForControl(const Target& target, int id, DWORD timeoutMs, Found* found)
{
    return WaitForControl(target, id, timeoutMs, found, [](const Found&) { return true; });
}

std::wstring Describe(const Target& target, int id)
{
    std::wstring what = L"window \"" + target.caption + L"\"";
    if (!target.windowClass.empty())
        what += L" of class " + target.windowClass;
    if (id != 0)
        what += L" with control " + std::to_wstring(id);
    return what;
}

// ---- reading another process's controls ----

bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result)
{
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, result) != 0;
}

std::wstring TextOf(HWND window)
{
    DWORD_PTR length = 0;
    if (!Send(window, WM_GETTEXTLENGTH, 0, 0, &length))
        return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), &copied))
        return {};
    text.resize(copied);
    return text;
}

// Memory inside the process that owns a window; pointers in messages such as TVM_GETITEMW must
// point there.
class RemoteMemory {
public:
    RemoteMemory(HWND owner, size_t size) : size_(size)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(owner, &pid);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_)
            base_ =
                static_cast<char*>(VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~RemoteMemory()
    {
        if (base_)
            VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
        if (process_)
            CloseHandle(process_);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    bool ok() const { return base_ != nullptr; }
    char* at(size_t offset) const { return base_ + offset; }
    bool Write(size_t offset, const void* data, size_t size)
    {
        return offset + size <= size_ && WriteProcessMemory(process_, base_ + offset, data, size, nullptr);
    }
    bool Read(size_t offset, void* data, size_t size) const
    {
        return offset + size <= size_ && ReadProcessMemory(process_, base_ + offset, data, size, nullptr);
    }

private:
    HANDLE process_ = nullptr;
    char* base_ = nullptr;
    size_t size_;
};

struct TreeLine {
    int depth;
    bool expanded;
    std::wstring text;
};

HTREEITEM NextItem(HWND tree, HTREEITEM item, UINT relation)
{
    DWORD_PTR next = 0;
    if (!Send(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item), &next))
        return nullptr;
    return reinterpret_cast<HTREEITEM>(next);
}

bool ReadTreeItem(HWND tree, RemoteMemory& remote, HTREEITEM handle, int depth, TreeLine* line)
{
    constexpr size_t textOffset = sizeof(TVITEMW);
    wchar_t empty = L'\0';
    TVITEMW item{};
    item.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_STATE;
    item.hItem = handle;
    item.stateMask = TVIS_EXPANDED;
    item.pszText = reinterpret_cast<LPWSTR>(remote.at(textOffset));
    item.cchTextMax = static_cast<int>(kTreeTextChars);
    DWORD_PTR ok = 0;
    if (!remote.Write(0, &item, sizeof item) || !remote.Write(textOffset, &empty, sizeof empty) ||
        !Send(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.at(0)), &ok) || !ok)
        return false;
    std::vector<wchar_t> text(kTreeTextChars + 1, L'\0');
    if (!remote.Read(0, &item, sizeof item) || !remote.Read(textOffset, text.data(), kTreeTextChars * sizeof(wchar_t)))
        return false;
    *line = TreeLine{depth, (item.state & TVIS_EXPANDED) != 0, text.data()};
    return true;
}

// Pre-order: every item, including the children of collapsed ones.
bool ReadTree(HWND tree, RemoteMemory& remote, HTREEITEM first, int depth, std::vector<TreeLine>* lines)
{
    for (HTREEITEM item = first; item; item = NextItem(tree, item, TVGN_NEXT)) {
        TreeLine line;
        if (lines->size() >= kMaxTreeItems || !ReadTreeItem(tree, remote, item, depth, &line))
            return false;
        lines->push_back(line);
        if (!ReadTree(tree, remote, NextItem(tree, item, TVGN_CHILD), depth + 1, lines))
            return false;
    }
    return true;
}

// A 32-bit top-down bitmap we can read pixels from.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height)
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas()
    {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    std::vector<DWORD> Pixels() const
    {
        GdiFlush();
        if (!bits_)
            return {};
        return std::vector<DWORD>(bits_, bits_ + static_cast<size_t>(width_) * height_);
    }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
    DWORD* bits_ = nullptr;
};

std::vector<DWORD> ScreenPixels(HWND window, int width, int height)
{
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    Canvas canvas(width, height);
    HDC screen = GetDC(nullptr);
    BitBlt(canvas.dc(), 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    ReleaseDC(nullptr, screen);
    return canvas.Pixels();
}

std::vector<DWORD> IconPixels(HICON icon, int width, int height, DWORD background)
{
    Canvas canvas(width, height);
    RECT all{0, 0, width, height};
    // DIB pixels are 0x00RRGGBB, COLORREF is 0x00BBGGRR.
    HBRUSH brush = CreateSolidBrush(RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF));
    FillRect(canvas.dc(), &all, brush);
    DeleteObject(brush);
    DrawIconEx(canvas.dc(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    return canvas.Pixels();
}

size_t Differences(const std::vector<DWORD>& a, const std::vector<DWORD>& b)
{
    size_t count = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        count += (a[i] & 0xFFFFFF) != (b[i] & 0xFFFFFF);
    return count;
}

// Empty while the icon cannot be told yet (not painted), "none" when the box shows no icon.
// Wine gives every process its own handles for the system icons, so STM_GETICON never equals our
// LoadIconW there; the shown pixels are then compared with each system icon drawn by us.
std::wstring IconName(HWND iconStatic)
{
    static const struct {
        LPCWSTR id;
        const wchar_t* name;
    } kIcons[] = {{IDI_HAND, L"error"},
                  {IDI_QUESTION, L"question"},
                  {IDI_EXCLAMATION, L"warning"},
                  {IDI_ASTERISK, L"information"}};
    DWORD_PTR handle = 0;
    if (!iconStatic || !IsWindowVisible(iconStatic) || !Send(iconStatic, STM_GETICON, 0, 0, &handle) || !handle)
        return L"none";
    for (const auto& icon : kIcons)
        if (reinterpret_cast<HICON>(handle) == LoadIconW(nullptr, icon.id))
            return icon.name;
    RECT rect;
    GetClientRect(iconStatic, &rect);
    const int width = rect.right, height = rect.bottom;
    if (width <= 0 || height <= 0)
        return {};
    const std::vector<DWORD> shown = ScreenPixels(iconStatic, width, height);
    if (shown.empty())
        return {};
    const DWORD background = shown.front(); // the corners of the system icons are transparent
    const size_t tolerated = shown.size() / 50;
    for (const auto& icon : kIcons)
        if (Differences(IconPixels(LoadIconW(nullptr, icon.id), width, height, background), shown) <= tolerated)
            return icon.name;
    return {};
}

HWND FindIconStatic(HWND box)
{
    if (HWND icon = GetDlgItem(box, kIconStaticId))
        return icon;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child) == L"Static" && (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return child;
    return nullptr;
}

std::wstring VisibleButtonIds(HWND box)
{
    std::wstring ids;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) != L"Button" || !IsWindowVisible(child))
            continue;
        if (!ids.empty())
            ids += L",";
        ids += std::to_wstring(GetDlgCtrlID(child));
    }
    return ids;
}

// ---- commands ----

struct Args {
    Target target;
    std::vector<std::wstring> words; // after the command name, without the timeout
    DWORD timeoutMs = kDefaultTimeoutMs;
};

bool ParseNumber(const std::wstring& text, unsigned long* value)
{
    if (text.empty() || text[0] == L'-')
        return false;
    wchar_t* end = nullptr;
    errno = 0;
    *value = wcstoul(text.c_str(), &end, 0);
    return errno == 0 && *end == L'\0';
}

bool ParseId(const std::wstring& text, int* id)
{
    unsigned long value = 0;
    if (!ParseNumber(text, &value) || value > 0xFFFF)
        return false;
    *id = static_cast<int>(value);
    return true;
}

bool Locate(const Args& a, int id, Found* found)
{
    if (WaitForControl(a.target, id, a.timeoutMs, found))
        return true;
    Fail(kNotFound, L"not found: " + Describe(a.target, id));
    return false;
}

int Wait(const Args& a)
{
    HWND window = nullptr;
    if (!PollUntil(a.timeoutMs, [&] { return (window = FindTopLevel(a.target)) != nullptr; }))
        return Fail(kNotFound, L"timed out waiting for " + Describe(a.target, 0));
    Print(L"hwnd=" + Hex(reinterpret_cast<ULONG_PTR>(window)));
    return kOk;
}

int WaitGone(const Args& a)
{
    if (!PollUntil(a.timeoutMs, [&] { return FindTopLevel(a.target) == nullptr; }))
        return Fail(kNotFound, L"timed out waiting for " + Describe(a.target, 0) + L" to go away");
    return kOk;
}

int MessageBoxFacts(const Args& a)
{
    Target target = a.target;
    if (target.windowClass.empty())
        target.windowClass = L"#32770";
    Found box;
    // The caption is set before the text while the box is still hidden: a box counts once it
    // is shown and its text is there, whatever order the two come in.
    if (!WaitForControl(target, kMessageTextId, a.timeoutMs, &box,
                        [](const Found& f) { return IsWindowVisible(f.window) != 0 && !TextOf(f.control).empty(); }))
        return Fail(kNotFound, L"timed out waiting for a message box " + Describe(target, 0));
    std::wstring icon;
    PollUntil(kIconPaintMs, [&] { return !(icon = IconName(FindIconStatic(box.window))).empty(); });
    Print(L"text=" + TextOf(box.control));
    Print(L"icon=" + (icon.empty() ? std::wstring(L"unknown") : icon));
    Print(L"buttons=" + VisibleButtonIds(box.window));
    return kOk;
}

// A posted WM_COMMAND reaches both message boxes and our dialogs under Wine, and unlike BM_CLICK
// it does not depend on focus or mouse capture in a window nobody has activated.
int Press(const Args& a, int id)
{
    if (id == 0)
        return Fail(kUsage, L"press needs a control id");
    Found found;
    if (!WaitForControl(a.target, id, a.timeoutMs, &found,
                        [](const Found& f) { return IsWindowEnabled(f.control) != 0; }))
        return Fail(kNotFound, L"timed out waiting for enabled " + Describe(a.target, id));
    PostMessageW(GetParent(found.control), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(found.control));
    return kOk;
}

int Enabled(const Args& a, int id)
{
    Found found;
    if (!Locate(a, id, &found))
        return kNotFound;
    Print(IsWindowEnabled(found.control) ? L"enabled=1" : L"enabled=0");
    return kOk;
}

int WaitEnabled(const Args& a, int id)
{
    unsigned long wanted = 0;
    if (!ParseNumber(a.words[2], &wanted) || wanted > 1)
        return Fail(kUsage, L"wait-enabled wants 0 or 1, not \"" + a.words[2] + L"\"");
    Found found;
    auto matches = [&](const Found& f) { return (IsWindowEnabled(f.control) != 0) == (wanted == 1); };
    if (!WaitForControl(a.target, id, a.timeoutMs, &found, matches))
        return Fail(kNotFound, L"timed out waiting for enabled=" + a.words[2] + L" on " + Describe(a.target, id));
    Print(L"enabled=" + a.words[2]);
    return kOk;
}

int Visible(const Args& a, int id)
{
    Found found;
    if (!Locate(a, id, &found))
        return kNotFound;
    Print(IsWindowVisible(found.control) ? L"visible=1" : L"visible=0");
    return kOk;
}

// A wrong id must not read as an empty tree or position 0.
int NotOfClass(const Args& a, int id, const wchar_t* windowClass)
{
    return Fail(kNotFound, Describe(a.target, id) + L" is not a " + windowClass);
}

int Progress(const Args& a, int id)
{
    Found found;
    if (!Locate(a, id, &found))
        return kNotFound;
    if (ClassOf(found.control) != PROGRESS_CLASSW)
        return NotOfClass(a, id, PROGRESS_CLASSW);
    DWORD_PTR position = 0;
    if (!Send(found.control, PBM_GETPOS, 0, 0, &position))
        return Fail(kNotFound, L"no answer to PBM_GETPOS from " + Describe(a.target, id));
    Print(L"position=" + std::to_wstring(static_cast<long long>(position)));
    Print(IsWindowVisible(found.control) ? L"visible=1" : L"visible=0");
    return kOk;
}

int Tree(const Args& a, int id)
{
    Found found;
    if (!Locate(a, id, &found))
        return kNotFound;
    if (ClassOf(found.control) != WC_TREEVIEWW)
        return NotOfClass(a, id, WC_TREEVIEWW);
    RemoteMemory remote(found.control, sizeof(TVITEMW) + (kTreeTextChars + 1) * sizeof(wchar_t));
    if (!remote.ok())
        return Fail(kNotFound, L"cannot allocate memory in the process of " + Describe(a.target, 0));
    std::vector<TreeLine> lines;
    if (!ReadTree(found.control, remote, NextItem(found.control, nullptr, TVGN_ROOT), 0, &lines))
        return Fail(kNotFound, L"cannot read the tree of " + Describe(a.target, id));
    for (const TreeLine& line : lines)
        Print(std::to_wstring(line.depth) + L"\t" + (line.expanded ? L"1" : L"0") + L"\t" + line.text);
    Print(L"count=" + std::to_wstring(lines.size()));
    return kOk;
}

int Text(const Args& a, int id)
{
    Found found;
    if (!Locate(a, id, &found))
        return kNotFound;
    Print(L"text=" + TextOf(found.control));
    return kOk;
}

// What the close box, Alt+F4 and Esc send a dialog, all at once: a window
// that may not be closed must still be there afterwards.
int TryToClose(const Args& a)
{
    HWND window = nullptr;
    if (!PollUntil(a.timeoutMs, [&] { return (window = FindTopLevel(a.target)) != nullptr; }))
        return Fail(kNotFound, L"timed out waiting for " + Describe(a.target, 0));
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageW(window, WM_CLOSE, 0, 0);
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return kOk;
}

// Which of two shown windows is nearer the top: EnumWindows goes from the top down.
int Order(const Args& a)
{
    struct Search {
        const std::wstring* captions[2];
        std::wstring first;
    } search{{&a.words[0], &a.words[1]}, {}};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            const std::wstring caption = CaptionOf(window);
            if (!IsWindowVisible(window) || (caption != *s->captions[0] && caption != *s->captions[1]))
                return TRUE;
            s->first = caption;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.first.empty())
        return Fail(kNotFound, L"neither window is shown");
    Print(L"top=" + search.first);
    return kOk;
}

// Moves a window so that a screenshot shows what lies beneath it.
int Move(const Args& a)
{
    unsigned long x = 0, y = 0;
    if (!ParseNumber(a.words[1], &x) || !ParseNumber(a.words[2], &y))
        return Fail(kUsage, L"move wants a position in pixels");
    HWND window = nullptr;
    if (!PollUntil(a.timeoutMs, [&] { return (window = FindTopLevel(a.target)) != nullptr; }))
        return Fail(kNotFound, L"timed out waiting for " + Describe(a.target, 0));
    if (!SetWindowPos(window, nullptr, static_cast<int>(x), static_cast<int>(y), 0, 0,
                      SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE))
        return Fail(kNotFound, L"cannot move " + Describe(a.target, 0));
    return kOk;
}

struct Command {
    const wchar_t* name;
    size_t words; // required words after the name
    bool takesId; // the second word is a control id
    int (*run)(const Args&, int id);
};

const Command kCommands[] = {
    {L"wait", 1, false, [](const Args& a, int) { return Wait(a); }},
    {L"wait-gone", 1, false, [](const Args& a, int) { return WaitGone(a); }},
    {L"msgbox", 1, false, [](const Args& a, int) { return MessageBoxFacts(a); }},
    {L"press", 2, true, Press},
    {L"enabled", 2, true, Enabled},
    {L"wait-enabled", 3, true, WaitEnabled},
    {L"visible", 2, true, Visible},
    {L"progress", 2, true, Progress},
    {L"tree", 2, true, Tree},
    {L"text", 2, true, Text},
    {L"try-close", 1, false, [](const Args& a, int) { return TryToClose(a); }},
    {L"order", 2, false, [](const Args& a, int) { return Order(a); }},
    {L"move", 3, false, [](const Args& a, int) { return Move(a); }},
};

int Usage(const std::wstring& problem)
{
    WriteLine(STD_ERROR_HANDLE, L"ui_probe: " + problem);
    WriteLine(STD_ERROR_HANDLE, L"usage: ui_probe [--class NAME] <command> ... [timeoutMs]\n"
                                L"  wait <caption> | wait-gone <caption> | msgbox <caption>\n"
                                L"  press|enabled|visible|progress|tree|text <caption> <controlId>\n"
                                L"  wait-enabled <caption> <controlId> <0|1>\n"
                                L"  try-close <caption> | order <caption> <caption> | move <caption> <x> <y>");
    return kUsage;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    Args args;
    std::vector<std::wstring> words;
    for (int i = 1; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--class") {
            if (++i == argc)
                return Usage(L"--class needs a name");
            args.target.windowClass = argv[i];
            continue;
        }
        words.emplace_back(argv[i]);
    }
    if (words.empty())
        return Usage(L"no command");
    for (const Command& command : kCommands) {
        if (words[0] != command.name)
            continue;
        args.words.assign(words.begin() + 1, words.end());
        if (args.words.size() == command.words + 1) {
            unsigned long timeout = 0;
            if (!ParseNumber(args.words.back(), &timeout) || timeout > 0x7FFFFFFF)
                return Usage(L"bad timeout \"" + args.words.back() + L"\"");
            args.timeoutMs = static_cast<DWORD>(timeout);
            args.words.pop_back();
        }
        if (args.words.size() != command.words)
            return Usage(L"wrong number of arguments for " + words[0]);
        args.target.caption = args.words[0];
        int id = 0;
        if (command.takesId && !ParseId(args.words[1], &id))
            return Usage(L"bad control id \"" + args.words[1] + L"\"");
        return command.run(args, id);
    }
    return Usage(L"unknown command \"" + words[0] + L"\"");
}
