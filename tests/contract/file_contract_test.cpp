// Files, folders and processes: what the tool relies on when it copies driver
// files, deletes the monitor file and relaunches itself.
#include <string>

#include "tests/contract/contract_host.h"

namespace {

using FileContract = ContractTest;

TEST_F(FileContract, DeletingAMissingFileFailsWithFileNotFound)
{
    const std::wstring missing = ScratchFolder() + L"\\qxvprtmon.dll";
    EXPECT_FALSE(Os().DeleteFileW(missing.c_str()));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    const std::wstring inMissingFolder = ScratchFolder() + L"\\no-such-folder\\qxvprtmon.dll";
    EXPECT_FALSE(Os().DeleteFileW(inMissingFolder.c_str()));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FileContract, CopyOverwritesOrRefusesAsAsked)
{
    const std::wstring source = ScratchFolder() + L"\\source.dll";
    const std::wstring target = ScratchFolder() + L"\\target.dll";
    HostWriteFile(source, "new");
    HostWriteFile(target, "old");

    EXPECT_FALSE(Os().CopyFileW(source.c_str(), target.c_str(), TRUE));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(HostReadFile(target), "old");

    EXPECT_TRUE(Os().CopyFileW(source.c_str(), target.c_str(), FALSE));
    EXPECT_EQ(HostReadFile(target), "new");

    const std::wstring missing = ScratchFolder() + L"\\missing.dll";
    EXPECT_FALSE(Os().CopyFileW(missing.c_str(), target.c_str(), FALSE));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FileContract, PathsWithADoubledBackslashOrDotComponentsAreAccepted)
{
    // The tool forms "%ws\\%ws" with a folder that already ends in a backslash.
    const std::wstring file = ScratchFolder() + L"\\qxvprtv6.inf";
    HostWriteFile(file, "[Version]");
    const std::wstring doubled = ScratchFolder() + L"\\\\qxvprtv6.inf";
    const std::wstring copy = ScratchFolder() + L"\\\\copy.inf";
    EXPECT_TRUE(Os().CopyFileW(doubled.c_str(), copy.c_str(), FALSE));
    EXPECT_EQ(HostReadFile(ScratchFolder() + L"\\copy.inf"), "[Version]");

    // "." and ".." components name the folder they resolve to (the uninstall refuses them).
    const std::wstring dotted = ScratchFolder() + L"\\.\\missing\\..\\qxvprtv6.inf";
    EXPECT_TRUE(Os().DeleteFileW(dotted.c_str()));
    EXPECT_FALSE(HostFileExists(file));
}

TEST_F(FileContract, AReplacementAtRestartIsRegisteredEvenForAMissingSource)
{
    const std::wstring source = ScratchFolder() + L"\\not-there.dll";
    const std::wstring target = ScratchFolder() + L"\\target.dll";
    EXPECT_TRUE(Os().MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT));
    EXPECT_FALSE(HostFileExists(target)) << "nothing moves before the restart";
}

TEST_F(FileContract, TemporaryFilesAreCreatedUnderUniqueNamesInAFolderThatExists)
{
    WCHAR folder[256] = {0};
    DWORD length = Os().GetTempPathW(256, folder);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, 256u);
    EXPECT_EQ(folder[length - 1], L'\\') << "the temporary folder ends in a backslash";
    EXPECT_EQ(Os().GetTempPathW(2, folder), length + 1) << "a small buffer gets the size needed";

    WCHAR first[MAX_PATH] = {0};
    WCHAR second[MAX_PATH] = {0};
    const std::wstring scratch = ScratchFolder();
    EXPECT_NE(Os().GetTempFileNameW(scratch.c_str(), L"unins", 0, first), 0u);
    EXPECT_NE(Os().GetTempFileNameW(scratch.c_str(), L"unins", 0, second), 0u);
    std::wstring a = first;
    std::wstring b = second;
    EXPECT_NE(a, b);
    EXPECT_TRUE(HostFileExists(a)) << "the platform creates the file";
    EXPECT_EQ(a.substr(0, scratch.size() + 4), scratch + L"\\uni") << "three characters of the prefix";
    EXPECT_EQ(a.substr(a.size() - 4), L".tmp");

    const std::wstring missing = scratch + L"\\no-such-folder";
    EXPECT_EQ(Os().GetTempFileNameW(missing.c_str(), L"unins", 0, first), 0u);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_DIRECTORY)) << "no temporary file in a missing folder";
}

TEST_F(FileContract, TheModulePathIsWholeOrReportedCut)
{
    WCHAR path[MAX_PATH] = {0};
    DWORD length = Os().GetModuleFileNameW(nullptr, path, MAX_PATH);
    ASSERT_GT(length, 3u);
    ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
    EXPECT_EQ(path[1], L':');
    EXPECT_TRUE(HostFileExists(path)) << "the module path names the running program";

    WCHAR small[8];
    EXPECT_EQ(Os().GetModuleFileNameW(nullptr, small, 8), 8u) << "a cut path returns the buffer size";
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(FileContract, ACutModulePathIsTerminated)
{
    SKIP_ON_WINE("GetModuleFileNameW fills a too-small buffer without a terminator, as Windows XP did");
    WCHAR small[8];
    small[7] = L'#';
    Os().GetModuleFileNameW(nullptr, small, 8);
    EXPECT_EQ(small[7], 0);
}

TEST_F(FileContract, TheSystemDirectoryHasNoTrailingBackslash)
{
    WCHAR folder[MAX_PATH] = {0};
    UINT length = Os().GetSystemDirectoryW(folder, MAX_PATH);
    ASSERT_GT(length, 3u);
    EXPECT_NE(folder[length - 1], L'\\');
    EXPECT_EQ(Lower(folder).substr(length - 9), L"\\system32");
}

TEST_F(FileContract, StartingAMissingProgramFailsWithFileNotFound)
{
    std::wstring line = L"\"" + ScratchFolder() + L"\\unins000.exe\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    EXPECT_FALSE(
        Os().CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// The run log: opened to append with every sharing, its link itself rather
// than what a link leads to, and examined through its handle.
HANDLE OpenToAppend(const std::wstring& path)
{
    return Os().CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

TEST_F(FileContract, AppendingCreatesOrOpensAndWritesAtTheEnd)
{
    const std::wstring path = ScratchFolder() + L"\\PrinterSetup.log";
    HANDLE file = OpenToAppend(path);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "a new file";
    DWORD written = 0;
    EXPECT_TRUE(Os().WriteFile(file, "first ", 6, &written, nullptr));
    EXPECT_EQ(written, 6u);
    EXPECT_TRUE(Os().CloseHandle(file));

    file = OpenToAppend(path);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(Os().WriteFile(file, "second", 6, &written, nullptr));
    BY_HANDLE_FILE_INFORMATION facts = {};
    ASSERT_TRUE(Os().GetFileInformationByHandle(file, &facts));
    EXPECT_EQ(facts.nFileSizeLow, 12u);
    EXPECT_EQ(facts.nNumberOfLinks, 1u);
    EXPECT_EQ(facts.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY), 0u);
    EXPECT_TRUE(Os().CloseHandle(file));
    EXPECT_EQ(HostReadFile(path), "first second");

    // A folder held for the log's checks tells its attributes through its handle.
    HANDLE folder =
        Os().CreateFileW(ScratchFolder().c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(Os().GetFileInformationByHandle(folder, &facts));
    EXPECT_EQ(facts.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY),
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_TRUE(Os().CloseHandle(folder));
}

TEST_F(FileContract, AnAppendingHandleStaysWithItsFileWhenTheNameMoves)
{
    const std::wstring path = ScratchFolder() + L"\\PrinterSetup.log";
    const std::wstring moved = ScratchFolder() + L"\\PrinterSetup.log.old";
    HANDLE file = OpenToAppend(path);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(Os().WriteFile(file, "before ", 7, &written, nullptr));
    ASSERT_TRUE(Os().MoveFileExW(path.c_str(), moved.c_str(), MOVEFILE_REPLACE_EXISTING)) << "error " << LastError();
    HostWriteFile(path, "planted");
    EXPECT_TRUE(Os().WriteFile(file, "after", 5, &written, nullptr));
    WCHAR final[MAX_PATH + 16] = {0};
    const DWORD length = Os().GetFinalPathNameByHandleW(file, final, MAX_PATH + 16, FILE_NAME_NORMALIZED);
    EXPECT_TRUE(Os().CloseHandle(file));
    EXPECT_EQ(HostReadFile(moved), "before after");
    EXPECT_EQ(HostReadFile(path), "planted");
    SKIP_ON_WINE("GetFinalPathNameByHandleW gives the name a file was opened by, not the one it was renamed to");
    ASSERT_GT(length, 21u);
    EXPECT_EQ(Lower(final).substr(length - 21), L"\\printersetup.log.old");
}

TEST_F(FileContract, AFileWithASecondNameCountsTwoLinks)
{
    const std::wstring system = ScratchFolder() + L"\\hosts";
    const std::wstring planted = ScratchFolder() + L"\\PrinterSetup.log";
    HostWriteFile(system, "127.0.0.1");
    if (!HostCreateHardLink(planted, system)) {
        GTEST_SKIP() << "this host cannot make hard links here";
    }
    HANDLE file = OpenToAppend(planted);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    BY_HANDLE_FILE_INFORMATION facts = {};
    ASSERT_TRUE(Os().GetFileInformationByHandle(file, &facts));
    EXPECT_EQ(facts.nNumberOfLinks, 2u);
    EXPECT_EQ(facts.nFileSizeLow, 9u) << "the size of the one file both names lead to";
    EXPECT_TRUE(Os().CloseHandle(file));
}

TEST_F(FileContract, TheFactsOfTheLogsHeaderAreGiven)
{
    SYSTEMTIME now = {};
    Os().GetLocalTime(&now);
    EXPECT_GE(now.wYear, 2024);
    EXPECT_TRUE(now.wMonth >= 1 && now.wMonth <= 12 && now.wDay >= 1 && now.wDay <= 31 && now.wHour < 24);
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_TRUE(Os().GetVersionExW(&version));
    EXPECT_GE(version.dwMajorVersion, 6u);
    EXPECT_GT(version.dwBuildNumber, 0u);
    EXPECT_EQ(Os().GetUserDefaultUILanguage(), HostUserInterfaceLanguage());
    if (CurrentHost() != ContractHost::Windows) {
        // The simulated tool runs elevated, and Wine's user is an administrator.
        EXPECT_TRUE(Os().IsUserAnAdmin());
    }
}

// What the waiting uninstaller and its hand-over rely on.
TEST_F(FileContract, ARunningProcessCanBeWaitedForAndAGoneOneNotOpened)
{
    HANDLE self = Os().OpenProcess(SYNCHRONIZE, FALSE, Os().GetCurrentProcessId());
    ASSERT_NE(self, nullptr) << "error " << LastError();
    EXPECT_EQ(Os().WaitForSingleObject(self, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "it runs";
    EXPECT_TRUE(Os().CloseHandle(self));
    EXPECT_EQ(Os().OpenProcess(SYNCHRONIZE, FALSE, 0), nullptr);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(FileContract, ZeroInitialisedBlocksAreZero)
{
    auto* block = static_cast<unsigned char*>(Os().LocalAlloc(LPTR, 4096));
    ASSERT_NE(block, nullptr);
    bool allZero = true;
    for (int i = 0; i < 4096; ++i) {
        allZero = allZero && block[i] == 0;
    }
    EXPECT_TRUE(allZero);
    EXPECT_EQ(Os().LocalFree(block), nullptr);
}

} // namespace
