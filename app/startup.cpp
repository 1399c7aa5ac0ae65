#include "app/startup.h"

#include <cstring>
#include <cwchar>

#include "app/relaunch.h"
#include "common/catalogue.h"
#include "common/format.h"
#include "common/globals.h"
#include "common/instance_guard.h"
#include "common/path.h"
#include "common/log.h"
#include "common/platform.h"
#include "common/run_log.h"
#include "common/run_options.h"
#include "family/family.h"
#include "install/install_mode.h"
#include "res/resource.h"
#include "uninstall/folder_guard.h"
#include "uninstall/uninstall_dialog.h"

namespace {

const WCHAR kUninstallSwitch[] = L"-u ";
const WCHAR kUninstallerName[] = L"unins000";

// "-u " outside quotes: the quotes of /LOG="file" may hold anything.
LPCWSTR FindUninstallSwitch(LPCWSTR line)
{
    bool quoted = false;
    for (LPCWSTR at = line; *at != 0; ++at) {
        quoted = *at == L'"' ? !quoted : quoted;
        if (!quoted && wcsncmp(at, kUninstallSwitch, 3) == 0) {
            return at;
        }
    }
    return nullptr;
}

// Uninstall mode takes the folder verbatim from the command line. A folder
// that does not fit InstallDirectory is refused: cutting it would name a
// different folder, and uninstall mode sends its folder to the Recycle Bin.
StartupMode TakeUninstallFolder(LPCWSTR commandLine, bool* found)
{
    *found = false;
    LPCWSTR match = commandLine != nullptr ? FindUninstallSwitch(commandLine) : nullptr;
    if (match == nullptr) {
        return STARTUP_MODE_INSTALL;
    }
    LPCWSTR folder = match + (sizeof(kUninstallSwitch) / sizeof(WCHAR) - 1);
    if (*folder == 0) {
        return STARTUP_MODE_INSTALL;
    }
    *found = true;
    if (wcslen(folder) >= MAX_PATH) {
        return STARTUP_MODE_NONE;
    }
    FormatBounded(InstallDirectory, MAX_PATH, L"%ws", folder);
    return STARTUP_MODE_UNINSTALL;
}

// Sets InstallDirectory from the executable's own path and tells whether the
// executable is the folder's uninstaller.
StartupMode TakeOwnFolder(WCHAR* modulePath)
{
    DWORD length = Os().GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
    // Without the whole path the folder is unknown; installing from a guessed
    // folder could pick up someone else's files.
    if (length == 0 || length >= MAX_PATH) {
        return STARTUP_MODE_NONE;
    }
    WCHAR drive[3] = {0};
    WCHAR directory[256] = {0};
    WCHAR name[MAX_PATH] = {0};
    WCHAR extension[256] = {0};
    if (!SplitPath(modulePath, drive, 3, directory, 256, name, MAX_PATH, extension, 256)) {
        return STARTUP_MODE_NONE;
    }
    FormatBounded(InstallDirectory, MAX_PATH, L"%ws%ws", drive, directory);
    return wcscmp(name, kUninstallerName) == 0 ? STARTUP_MODE_RELAUNCH : STARTUP_MODE_INSTALL;
}

// The switches as written, for a refusal that names them.
void CopySwitches(LPCWSTR line, size_t length, WCHAR* out)
{
    while (length > 0 && (line[length - 1] == L' ' || line[length - 1] == L'\t')) {
        --length;
    }
    const size_t shown = length < MAX_PATH - 1 ? length : MAX_PATH - 1;
    wmemcpy(out, line, shown);
    out[shown] = 0;
}

// The uninstaller's name in another case: without switches the tool installs
// as it always has; a run with switches is refused rather than guessed.
bool LooksLikeTheUninstaller(LPCWSTR modulePath)
{
    WCHAR drive[3] = {0};
    WCHAR directory[MAX_PATH] = {0};
    WCHAR name[MAX_PATH] = {0};
    WCHAR extension[MAX_PATH] = {0};
    return SplitPath(modulePath, drive, 3, directory, MAX_PATH, name, MAX_PATH, extension, MAX_PATH) &&
           EqualsIgnoringAsciiCase(name, kUninstallerName);
}

const WCHAR* ModeName(StartupMode mode)
{
    switch (mode) {
    case STARTUP_MODE_INSTALL:
        return L"install";
    case STARTUP_MODE_UNINSTALL:
        return L"uninstall";
    case STARTUP_MODE_RELAUNCH:
        return L"uninstaller (hands over to a copy of itself)";
    case STARTUP_MODE_NONE:
        break;
    }
    return L"none";
}

// Who ran what, where: the first lines of every run in the log.
void WriteRunHeader(LPCWSTR line, StartupMode mode)
{
    NoteInRunLog(L"==== PrinterSetup "
                 L"" TOOL_VERSION_TEXT L" ====");
    NoteInRunLog(L"Command line: %ws", line);
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (Os().GetVersionExW(&version)) {
        NoteInRunLog(L"Windows: %d.%d.%d", static_cast<int>(version.dwMajorVersion),
                     static_cast<int>(version.dwMinorVersion), static_cast<int>(version.dwBuildNumber));
    }
    NoteInRunLog(L"User interface language: 0x%04x", static_cast<int>(Os().GetUserDefaultUILanguage()));
    NoteInRunLog(L"Mode: %ws", ModeName(mode));
    NoteInRunLog(L"Elevated: %ws", Os().IsUserAnAdmin() ? L"yes" : L"no");
}

// A deployment that runs the uninstaller and then the installer may start the
// second while the first's hand-over still sends the folder away: a run with
// switches waits for the other copy ten seconds before it gives up.
InstanceGuard TakeInstanceGuardWaiting()
{
    const int kAttempts = Options.switched ? 10 : 1;
    InstanceGuard guard = GUARD_BUSY;
    for (int attempt = 0; attempt < kAttempts && guard == GUARD_BUSY; ++attempt) {
        if (attempt != 0) {
            Os().Sleep(1000);
        }
        guard = TakeInstanceGuard();
    }
    return guard;
}

int Finish(int outcome)
{
    // Without a switch the tool ends as it always has.
    const int exitCode = Options.switched ? outcome : 0;
    if (exitCode != outcome) {
        NoteInRunLog(L"Outcome: %d (an exit code only when a switch is given).", outcome);
    }
    WCHAR last[32] = {0};
    FormatBounded(last, 32, L"Exit code: %d.", exitCode);
    WriteRunLogLast(last);
    return exitCode;
}

} // namespace

StartupMode PrepareStartup(LPCWSTR commandLine, WCHAR* modulePath)
{
    bool uninstallSwitch = false;
    StartupMode mode = TakeUninstallFolder(commandLine, &uninstallSwitch);
    return uninstallSwitch ? mode : TakeOwnFolder(modulePath);
}

int RunStartup(HINSTANCE instance, LPCWSTR commandLine)
{
    InstanceHandle = instance;
    // The switches stand before "-u "; what follows it is the folder, verbatim.
    LPCWSTR line = commandLine != nullptr ? commandLine : L"";
    LPCWSTR uninstall = FindUninstallSwitch(line);
    const size_t switchLength = uninstall != nullptr ? static_cast<size_t>(uninstall - line) : wcslen(line);
    WCHAR refused[MAX_PATH] = {0};
    const BOOL understood = ParseRunOptions(line, switchLength, &Options, refused, MAX_PATH);
    WCHAR modulePath[MAX_PATH] = {0};
    const StartupMode mode = understood ? PrepareStartup(commandLine, modulePath) : STARTUP_MODE_NONE;
    OpenRunLog(Options.logPath[0] != 0 ? Options.logPath : nullptr);
    WriteRunHeader(line, mode);
    if (understood && Options.recycleAfter != 0 && mode != STARTUP_MODE_UNINSTALL) {
        // The uninstaller's own hand-over names a folder with "-u".
        CopySwitches(line, switchLength, refused);
    }
    if (understood && Options.switched && mode == STARTUP_MODE_INSTALL && LooksLikeTheUninstaller(modulePath)) {
        // "UNINS000.EXE /VERYSILENT" was meant to remove: installing instead and saying 0 would be a lie.
        CopySwitches(line, switchLength, refused);
    }
    if (refused[0] != 0) {
        LogLine("The command line switch %ws is refused.", refused);
        if (!RunsQuietly()) {
            ShowMessage(IDS_SWITCH_REFUSED, MB_OK | MB_ICONERROR, refused);
        }
        return Finish(EXIT_BAD_COMMAND_LINE);
    }
    if (mode != STARTUP_MODE_NONE && TakeInstanceGuardWaiting() == GUARD_BUSY) {
        LogLine("Another copy of the tool is at work: this one ends.");
        if (!RunsQuietly()) {
            ShowMessage(IDS_ANOTHER_INSTANCE, MB_OK | MB_ICONWARNING);
        }
        return Finish(EXIT_ANOTHER_INSTANCE);
    }
    int outcome = EXIT_OK;
    switch (mode) {
    case STARTUP_MODE_UNINSTALL:
        outcome = Options.recycleAfter != 0 ? RecycleWhenEnded(Options.recycleAfter) : RunUninstallMode();
        break;
    case STARTUP_MODE_RELAUNCH:
        // The user started the uninstaller and nothing would happen: say why.
        if (DWORD error = RelaunchFromProtectedCopy(modulePath, &outcome)) {
            ShowMessage(IDS_RELAUNCH_FAILED, MB_OK | MB_ICONERROR, static_cast<int>(error));
            outcome = EXIT_FAILED;
        }
        break;
    case STARTUP_MODE_INSTALL:
        outcome = RunInstallMode();
        break;
    case STARTUP_MODE_NONE:
        outcome = EXIT_FAILED;
        break;
    }
    ReleaseInstanceGuard();
    return Finish(outcome);
}
