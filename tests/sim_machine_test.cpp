// The simulated machine answers as Windows does where the tool depends on it.
#include <string>

#include "common/platform.h"
#include "tests/support/sim_test.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class SimulatedKernel : public SimTest {};

TEST_F(SimulatedKernel, FilesFollowWindowsPathRules)
{
    machine.volume.WriteFile(L"C:\\Drivers\\amd64\\qxvprtmon.dll", "monitor");
    machine.volume.CreateDirectory(L"C:\\Windows\\System32\\spool\\drivers\\x64");

    // Case-insensitive names, doubled separators accepted.
    EXPECT_TRUE(Os().CopyFileW(L"c:\\drivers\\\\AMD64\\QXVPRTMON.DLL",
                               L"C:\\Windows\\System32\\spool\\drivers\\x64\\\\qxvprtmon.dll", FALSE));
    EXPECT_EQ(machine.volume.ReadFile(L"C:\\WINDOWS\\system32\\SPOOL\\drivers\\x64\\qxvprtmon.dll"), "monitor");

    EXPECT_FALSE(Os().CopyFileW(L"C:\\Drivers\\amd64\\qxvprtmon.dll",
                                L"C:\\Windows\\System32\\spool\\drivers\\x64\\qxvprtmon.dll", TRUE));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    EXPECT_FALSE(Os().DeleteFileW(L"C:\\Windows\\system32\\qxvprtmon.dll"));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(Os().DeleteFileW(L"C:\\NoSuchFolder\\qxvprtmon.dll"));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(Os().CopyFileW(L"C:\\Drivers\\amd64\\missing.dll", L"C:\\Drivers\\x.dll", FALSE));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(SimulatedKernel, AFileHeldOpenCanBeNeitherDeletedNorOverwritten)
{
    const std::wstring loaded = L"C:\\Windows\\system32\\qxvprtmon.dll";
    machine.volume.WriteFile(loaded, "old");
    machine.volume.WriteFile(L"C:\\Drivers\\qxvprtmon.dll", "new");
    machine.volume.SetHeldOpen(loaded, true);

    EXPECT_FALSE(Os().DeleteFileW(loaded.c_str()));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(Os().CopyFileW(L"C:\\Drivers\\qxvprtmon.dll", loaded.c_str(), FALSE));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    // A replacement at the next restart is recorded even for a source that does not exist.
    EXPECT_TRUE(Os().MoveFileExW(L"C:\\Drivers\\gone.dll", loaded.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_EQ(machine.volume.PendingRenames().size(), 1u);
    EXPECT_EQ(machine.volume.PendingRenames()[0].destination, loaded);
    EXPECT_EQ(machine.volume.ReadFile(loaded), "old");
}

TEST_F(SimulatedKernel, TemporaryFilesAreCreatedUnderUniqueNames)
{
    WCHAR folder[256];
    ASSERT_EQ(Os().GetTempPathW(256, folder), machine.tempPath.size());
    EXPECT_EQ(std::wstring(folder), machine.tempPath);
    EXPECT_EQ(Os().GetTempPathW(5, folder), machine.tempPath.size() + 1) << "too small: the size needed";

    WCHAR first[MAX_PATH], second[MAX_PATH];
    EXPECT_NE(Os().GetTempFileNameW(machine.tempPath.c_str(), L"unins", 0, first), 0u);
    EXPECT_NE(Os().GetTempFileNameW(machine.tempPath.c_str(), L"unins", 0, second), 0u);
    EXPECT_NE(std::wstring(first), std::wstring(second));
    EXPECT_TRUE(machine.volume.FileExists(first));
    EXPECT_THAT(std::wstring(first), HasSubstr(L"\\uni"));

    EXPECT_EQ(Os().GetTempFileNameW(L"C:\\NoSuchFolder", L"unins", 0, first), 0u);
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
}

TEST_F(SimulatedKernel, AnsiCodePageIsWindows1252)
{
    const WCHAR text[] = L"VAD\u00E9\u20AC\u4E2D";
    char bytes[16] = {0};
    BOOL substituted = FALSE;
    int written = Os().WideCharToMultiByte(CP_ACP, 0, text, 6, bytes, 16, nullptr, &substituted);
    EXPECT_EQ(written, 6);
    EXPECT_EQ(std::string(bytes, 6), "VAD\xE9\x80?");
    EXPECT_TRUE(substituted);

    WCHAR back[8] = {0};
    EXPECT_EQ(Os().MultiByteToWideChar(CP_ACP, 0, "\x80\x9F\xFF", -1, back, 8), 4);
    EXPECT_EQ(std::wstring(back), L"\u20AC\u0178\u00FF");
}

TEST_F(SimulatedKernel, SystemTimeConvertsToWindowsFileTime)
{
    SYSTEMTIME driverDate = {2024, 7, 0, 31, 0, 0, 0, 0};
    FILETIME fileTime;
    ASSERT_TRUE(Os().SystemTimeToFileTime(&driverDate, &fileTime));
    uint64_t ticks = (static_cast<uint64_t>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
    EXPECT_EQ(ticks, 133668576000000000ull); // 2024-07-31 00:00:00 UTC

    SYSTEMTIME epoch = {1601, 1, 0, 1, 0, 0, 0, 0};
    ASSERT_TRUE(Os().SystemTimeToFileTime(&epoch, &fileTime));
    EXPECT_EQ(fileTime.dwLowDateTime | fileTime.dwHighDateTime, 0u);

    SYSTEMTIME february30 = {2024, 2, 0, 30, 0, 0, 0, 0};
    EXPECT_FALSE(Os().SystemTimeToFileTime(&february30, &fileTime));
}

TEST_F(SimulatedKernel, SleepAdvancesVirtualTimeOnly)
{
    Os().Sleep(10000);
    Os().Sleep(250);
    EXPECT_EQ(machine.clock.NowMs(), 10250u);
}

TEST_F(SimulatedKernel, FaultsHitExactlyTheChosenCall)
{
    machine.volume.WriteFile(L"C:\\a.txt", "a");
    machine.faults.FailCall("CopyFileW", 2, 112u);
    EXPECT_TRUE(Os().CopyFileW(L"C:\\a.txt", L"C:\\b.txt", FALSE));
    EXPECT_FALSE(Os().CopyFileW(L"C:\\a.txt", L"C:\\c.txt", FALSE));
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(112u));
    EXPECT_FALSE(machine.volume.FileExists(L"C:\\c.txt")) << "a failed call has no effect";
    EXPECT_TRUE(Os().CopyFileW(L"C:\\a.txt", L"C:\\d.txt", FALSE));
    EXPECT_EQ(machine.faults.Calls("CopyFileW"), 3);

    machine.faults.FailFrom("LocalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(Os().LocalAlloc(LPTR, 16), nullptr);
    EXPECT_EQ(Os().LocalAlloc(LPTR, 16), nullptr);
    EXPECT_EQ(Os().GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_F(SimulatedKernel, DebugOutputIsCollectedLineByLine)
{
    Os().OutputDebugStringW(L"first part, ");
    Os().OutputDebugStringW(L"same line\nsecond");
    Os().OutputDebugStringW(L" line\n");
    EXPECT_THAT(machine.debug.Lines(), ElementsAre(L"first part, same line", L"second line"));
}

TEST(SimulatedMessageBoxes, AnUnforeseenOrDifferentBoxIsAFinding)
{
    sim::Machine machine;
    sim::SimPlatform platform(machine);
    machine.messageBoxes.Expect(L"Question?", L"Message", MB_OKCANCEL | MB_ICONQUESTION, IDOK);
    EXPECT_EQ(platform.MessageBoxW(nullptr, L"Question?", L"Message", MB_OKCANCEL | MB_ICONQUESTION), IDOK);
    EXPECT_THAT(machine.Violations(), ::testing::IsEmpty());

    machine.messageBoxes.Expect(L"Question?", L"Message", MB_OKCANCEL | MB_ICONQUESTION, IDOK);
    EXPECT_EQ(platform.MessageBoxW(nullptr, L"Question?", L"Message", MB_OK), IDCANCEL);
    EXPECT_EQ(platform.MessageBoxW(nullptr, L"Surprise", nullptr, MB_OK), IDCANCEL);
    ASSERT_EQ(machine.Violations().size(), 2u);
    EXPECT_THAT(machine.Violations()[1], HasSubstr("unexpected message box: \"Surprise\""));
    EXPECT_FALSE(machine.messageBoxes.Shown()[2].caption.has_value());
}

TEST(SimulatedMachine, OperationsItDoesNotModelYetAreFindings)
{
    sim::Machine machine;
    sim::SimPlatform platform(machine);
    HANDLE printer = nullptr;
    WCHAR name[] = L"VADedudoro PX630KT";
    EXPECT_FALSE(platform.OpenPrinterW(name, &printer, nullptr));
    EXPECT_EQ(platform.GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_THAT(machine.Violations(), ElementsAre(HasSubstr("OpenPrinterW")));
}

} // namespace
