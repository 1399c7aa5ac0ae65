// What the uninstaller sends to the Recycle Bin, for folders written every
// way a command line can write them: the driver folder whole, only the
// driver's own files from a folder that holds more, or nothing at all.
#include <algorithm>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/driver_folder.h"
#include "tests/support/sim_test.h"
#include "uninstall/folder_guard.h"

namespace {

using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;

const std::wstring kProfile = L"C:\\Users\\Operator\\";
const std::wstring kUninstalled = L"The driver is uninstalled.";

class FolderGuard : public SimTest {
protected:
    FolderGuard()
    {
        InstallDriverFolder(machine, kDriverFolder);
        machine.messageBoxes.SetResponder([](const sim::MessageBoxRecord&) { return IDOK; });
        machine.dialogs.SetUserPolicy([this](const sim::DialogView& view) {
            if (view.Enabled(IDOK) && !removed_) {
                removed_ = true;
                return IDOK;
            }
            return view.Enabled(IDCANCEL) ? IDCANCEL : 0;
        });
    }

    // Runs the uninstaller for that folder: "Remove", then what the shell does.
    void Uninstall(const std::wstring& folder)
    {
        removed_ = false;
        machine.RunTool(kDriverFolder + L"PrinterSetup.exe", L"-u " + folder);
        ASSERT_FALSE(machine.messageBoxes.Shown().empty());
        EXPECT_EQ(machine.messageBoxes.Shown().back().text, kUninstalled) << "nothing of the family was installed";
    }

    std::vector<std::wstring> Recycled() const
    {
        std::vector<std::wstring> files;
        for (const sim::RecycledItem& item : machine.volume.RecycleBin()) {
            files.insert(files.end(), item.files.begin(), item.files.end());
        }
        return files;
    }

    // The driver's layout in `folder` (ending in a backslash), as the shipped folder has it.
    std::vector<std::wstring> Layout(const std::wstring& folder) const
    {
        return {
            folder + L"qxvprtv6.inf",         folder + L"amd64\\qxvprtdrv6.dll", folder + L"amd64\\qxvprtdrv6ui.dll",
            folder + L"amd64\\qxvprtmon.dll", folder + L"dat\\qxvprtdrv6.dat",   folder + L"PrinterSetup.exe",
            folder + L"unins000.exe"};
    }

    void ExpectNothingHandedToTheShell(const std::wstring& folder)
    {
        EXPECT_THAT(machine.shell.FileOperations(), IsEmpty()) << sim::Utf8(folder);
        EXPECT_THAT(machine.volume.RecycleBin(), IsEmpty()) << sim::Utf8(folder);
    }

    bool LogSays(const std::wstring& text) const
    {
        const std::vector<std::wstring> lines = machine.debug.Lines();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::wstring& line) { return line.find(text) != std::wstring::npos; });
    }

private:
    bool removed_ = false;
};

class WrittenFolders : public FolderGuard, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(WrittenFolders, TheDriverFolderGoesWholeHoweverItsSeparatorsAreWritten)
{
    Uninstall(GetParam());
    ASSERT_EQ(machine.shell.FileOperations().size(), 1u);
    const std::vector<std::wstring> paths = machine.shell.FileOperations()[0].paths;
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0].find(L"\\\\"), std::wstring::npos) << "one separator each";
    EXPECT_NE(paths[0].back(), L'\\') << "no trailing separator";
    EXPECT_FALSE(machine.volume.DirectoryExists(kDriverFolder));
    EXPECT_THAT(machine.shell.PermanentlyDeleted(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Spellings, WrittenFolders,
                         ::testing::Values(L"C:\\\\Drivers\\\\PX Series", L"C:\\Drivers\\PX Series\\\\",
                                           L"c:\\drivers\\px series"));

TEST_F(FolderGuard, SystemNetworkAndLinkedFoldersAreNeverHandedToTheShell)
{
    const std::string inf = *machine.volume.ReadFile(kDriverFolder + L"qxvprtv6.inf");
    // A mapped network drive and a removable one: no Recycle Bin takes their files.
    machine.driveTypes[L'Z'] = DRIVE_REMOTE;
    machine.driveTypes[L'E'] = DRIVE_REMOVABLE;
    for (const wchar_t* folder :
         {L"C:\\Windows\\", L"C:\\Windows\\system32\\", L"Z:\\Drivers\\", L"E:\\Drivers\\", L"C:\\Linked\\"}) {
        machine.volume.WriteFile(std::wstring(folder) + L"qxvprtv6.inf", inf);
    }
    machine.volume.SetReparsePoint(L"C:\\Linked");
    const std::vector<std::wstring> folders = {
        L"C:\\\\Windows",
        L"C:\\Windows\\\\system32",
        L"C:\\WINDOWS\\",
        L"C:\\Windows\\.\\",
        L"\\\\server\\share\\Drivers",
        L"\\\\?\\C:\\Drivers\\PX Series",
        L"Z:\\Drivers",
        L"E:\\Drivers\\",
        L"C:\\Linked",
        L"C:\\Drivers\\PX Series\\..\\PX Series",
        L"C:\\Drivers\\PX Series ",
        L"C:/Drivers/PX Series",
        L"\"C:\\Drivers\\PX Series\"",
        L"Drivers\\PX Series",
        L"c:",
        L"C:\\Drivers\\*",
        L"C:\\" + std::wstring(256, L'd'),
    };
    for (const std::wstring& folder : folders) {
        Uninstall(folder);
        ExpectNothingHandedToTheShell(folder);
    }
    EXPECT_TRUE(machine.volume.FileExists(L"C:\\Windows\\qxvprtv6.inf"));
    EXPECT_TRUE(machine.volume.FileExists(L"Z:\\Drivers\\qxvprtv6.inf"));
    EXPECT_TRUE(LogSays(L"The folder C:\\\\Windows is not sent to the Recycle Bin: it is in the Windows folder."));
    EXPECT_TRUE(LogSays(L"Z:\\Drivers is not sent to the Recycle Bin: it is not on a local fixed drive."));
    EXPECT_TRUE(LogSays(L"C:\\Linked is not sent to the Recycle Bin: it is or lies behind a link to another place."));
}

// A driver archive unpacked into a folder of the user's own: only the
// driver's files go, the user's stay where they are.
class HeldFolders : public FolderGuard, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(HeldFolders, OnlyTheDriversOwnFilesGo)
{
    const std::wstring folder = GetParam();
    machine.driveTypes[L'D'] = DRIVE_FIXED;
    InstallDriverFolder(machine, folder);
    machine.volume.WriteFile(folder + L"holiday.jpg", "the user's own");
    machine.volume.WriteFile(folder + L"amd64\\notes.txt", "the user's own");
    Uninstall(folder);
    EXPECT_THAT(Recycled(), UnorderedElementsAreArray(Layout(folder)));
    // Held while the shell works: no one can swap them for links meanwhile.
    const std::vector<sim::FileOperation> operations = machine.shell.FileOperations();
    ASSERT_EQ(operations.size(), 1u);
    std::vector<std::wstring> held;
    for (const std::wstring& path : operations[0].foldersHeld) {
        held.push_back(sim::Volume::Key(path));
    }
    for (const wchar_t* sub : {L"", L"amd64", L"dat"}) {
        EXPECT_THAT(held, ::testing::Contains(sim::Volume::Key(folder + sub))) << "held: " << sim::Utf8(sub);
    }
    EXPECT_TRUE(machine.volume.FileExists(folder + L"holiday.jpg"));
    EXPECT_TRUE(machine.volume.FileExists(folder + L"amd64\\notes.txt"));
    EXPECT_THAT(machine.shell.PermanentlyDeleted(), IsEmpty());
    EXPECT_TRUE(LogSays(L"is not sent to the Recycle Bin whole, only the driver's files"));
}

INSTANTIATE_TEST_SUITE_P(UserSharedAndSystemFolders, HeldFolders,
                         ::testing::Values(L"C:\\Users\\Operator\\Downloads\\", L"C:\\Users\\Operator\\Desktop\\",
                                           L"C:\\Users\\Public\\Documents\\", L"C:\\Program Files\\", L"C:\\Users\\",
                                           L"C:\\Users\\Operator\\AppData\\Local\\Temp\\", L"C:\\", L"D:\\",
                                           L"C:\\Users\\Alice\\Downloads\\", L"C:\\Users\\Alice\\"));

// Where the folder really is counts, not what the user's own settings say:
// a link on the way, or a temporary folder set to the Windows folder.
TEST_F(FolderGuard, NeitherALinkAboveTheFolderNorTheTemporaryFolderOpensUpASystemFolder)
{
    const std::string inf = *machine.volume.ReadFile(kDriverFolder + L"qxvprtv6.inf");
    machine.volume.WriteFile(L"C:\\J\\color\\qxvprtv6.inf", inf);
    machine.volume.SetReparsePoint(L"C:\\J");
    Uninstall(L"C:\\J\\color\\");
    const std::wstring color = machine.systemDirectory + L"\\spool\\drivers\\color\\";
    machine.volume.WriteFile(color + L"qxvprtv6.inf", inf);
    machine.tempPath = L"C:\\Windows\\";
    Uninstall(color);
    EXPECT_THAT(machine.shell.FileOperations(), IsEmpty());
    EXPECT_TRUE(machine.volume.FileExists(color + L"qxvprtv6.inf"));
}

TEST_F(FolderGuard, AFolderThatCannotBeHeldOrASubfolderThatIsALinkIsLeftAlone)
{
    const int kLogOpens = 2; // the run log's folder and file come first
    machine.faults.FailCall("CreateFileW", kLogOpens + 1, ERROR_SHARING_VIOLATION);
    Uninstall(kDriverFolder);
    EXPECT_THAT(machine.shell.FileOperations(), IsEmpty());
    EXPECT_TRUE(LogSays(L"is not sent to the Recycle Bin: it cannot be opened."));

    const std::wstring downloads = kProfile + L"Downloads\\";
    InstallDriverFolder(machine, downloads);
    machine.volume.SetReparsePoint(downloads + L"amd64");
    Uninstall(downloads);
    std::vector<std::wstring> expected = Layout(downloads);
    expected.erase(std::remove_if(expected.begin(), expected.end(),
                                  [](const std::wstring& path) { return path.find(L"amd64") != std::wstring::npos; }),
                   expected.end());
    EXPECT_THAT(Recycled(), UnorderedElementsAreArray(expected));
}

TEST_F(FolderGuard, AFolderInsideAUserFolderGoesWhole)
{
    // Only starts like the Windows folder: it is not in it.
    InstallDriverFolder(machine, L"C:\\Windows Drivers\\");
    Uninstall(L"C:\\Windows Drivers\\");
    EXPECT_FALSE(machine.volume.DirectoryExists(L"C:\\Windows Drivers"));

    const std::wstring folder = kProfile + L"Downloads\\PX Driver\\";
    InstallDriverFolder(machine, folder);
    Uninstall(folder);
    ASSERT_EQ(machine.volume.RecycleBin().size(), 2u);
    EXPECT_EQ(machine.volume.RecycleBin()[1].originalPath, kProfile + L"Downloads\\PX Driver");
    EXPECT_TRUE(machine.volume.DirectoryExists(kProfile + L"Downloads"));
}

// A folder the system cannot name (its known-folder read fails) cannot be
// ruled out: the folder is treated as one that holds more than the driver.
TEST_F(FolderGuard, AProtectedFolderThatCannotBeReadCountsAsHeld)
{
    machine.faults.FailCall("SHGetKnownFolderPath", 3, ERROR_ACCESS_DENIED);
    Uninstall(kDriverFolder);
    EXPECT_THAT(Recycled(), UnorderedElementsAreArray(Layout(kDriverFolder)));
    EXPECT_TRUE(machine.volume.DirectoryExists(kDriverFolder));
}

TEST(FolderPaths, AreNormalisedOrRefused)
{
    struct Case {
        const wchar_t* path;
        const wchar_t* normal; // null: refused
    };
    const Case cases[] = {
        {L"c:\\drivers\\", L"C:\\drivers"},
        {L"C:\\\\a\\\\\\b\\\\", L"C:\\a\\b"},
        {L"C:\\", L"C:\\"},
        {L"C:\\\\\\", L"C:\\"},
        {L"C:", nullptr},
        {L"C:a", nullptr},
        {L"\\\\server\\share", nullptr},
        {L"\\\\?\\C:\\a", nullptr},
        {L"C:\\a\\..\\b", nullptr},
        {L"C:\\a\\.", nullptr},
        {L"C:\\a.\\b", nullptr},
        {L"C:\\a \\b", nullptr},
        {L"C:\\a:stream", nullptr},
        {L"C:\\a*", nullptr},
        {L"C:\\a/b", nullptr},
        {L"C:\\a\tb", nullptr},
        {L"C:\\a\\.b", L"C:\\a\\.b"},
        {L"C:\\PROGRA~1", nullptr},
    };
    for (const Case& c : cases) {
        WCHAR normal[MAX_PATH] = {L'#'};
        const BOOL accepted = NormaliseFolderPath(c.path, normal, MAX_PATH);
        EXPECT_EQ(accepted != FALSE, c.normal != nullptr) << sim::Utf8(c.path);
        EXPECT_EQ(std::wstring(normal), c.normal != nullptr ? c.normal : L"") << sim::Utf8(c.path);
    }
    WCHAR small[8];
    EXPECT_FALSE(NormaliseFolderPath(L"C:\\abcdefgh", small, 8)) << "too long for the buffer";
    EXPECT_EQ(small[0], 0);
}

// Odd and hostile input, whole: spooler records and files that no caller
// should hand the tool, and what it does with them.
using HostileInput = FolderGuard;

TEST_F(HostileInput, DriverRecordsWithMissingFieldsAndThousandCharacterQueueNames)
{
    sim::DriverRecord bare; // no INF path, maker, or anything else
    bare.name = L"VADedudoro PX630KT";
    bare.driverPath = machine.spooler.DriverDirectory() + L"\\3\\qxvprtdrv6.dll";
    machine.spooler.StageDriver(bare);
    sim::QueueRecord queue;
    queue.name = std::wstring(1000, L'Q');
    queue.port = L"USB001";
    queue.driver = bare.name;
    machine.spooler.StageQueue(queue);

    Uninstall(kDriverFolder);
    ASSERT_EQ(machine.dialogs.Runs(IDD_UNINSTALL).size(), 1u);
    const std::vector<sim::TreeLine> tree = machine.dialogs.Runs(IDD_UNINSTALL)[0].treeHistory.front();
    ASSERT_EQ(tree.size(), 4u) << "folder, no package, the bare driver and its queue";
    EXPECT_EQ(tree[3].text.size(), 1023u) << "the line is cut, not overrun";
    EXPECT_THAT(machine.spooler.Queues(), IsEmpty());
    EXPECT_THAT(machine.spooler.Drivers(), IsEmpty());
}

// A read-only file is replaced neither now nor at a restart: it gives up the attribute first.
TEST_F(HostileInput, AReadOnlyDriverFileIsReplacedAtOnce)
{
    const std::wstring target = L"C:\\Windows\\system32\\spool\\drivers\\x64\\qxvprtdrv6.dll";
    machine.volume.WriteFile(target, "MZ old render");
    machine.volume.SetReadOnly(target);
    const std::wstring data = L"C:\\Windows\\system32\\spool\\drivers\\x64\\qxvprtdrv6.dat";
    machine.volume.WriteFile(data, "old data");
    machine.volume.SetReadOnly(data);
    machine.spooler.bindingDoesNothing = true;
    machine.devices.Plug(sim::UsbPrinter{});
    EXPECT_EQ(machine.RunTool(kDriverFolder + L"PrinterSetup.exe", L""), 0);
    ASSERT_EQ(machine.messageBoxes.Shown().size(), 1u);
    EXPECT_EQ(machine.messageBoxes.Shown()[0].text,
              L"The printer [VADedudoro PX630KT] is installed on the port [USB001].");
    EXPECT_NE(machine.spooler.FindQueue(L"VADedudoro PX630KT"), nullptr);
    EXPECT_EQ(machine.volume.ReadFile(target), machine.volume.ReadFile(kDriverFolder + L"amd64\\qxvprtdrv6.dll"));
    EXPECT_EQ(machine.volume.ReadFile(data), machine.volume.ReadFile(kDriverFolder + L"dat\\qxvprtdrv6.dat"));
    EXPECT_THAT(machine.volume.PendingRenames(), IsEmpty());
}

} // namespace
