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
