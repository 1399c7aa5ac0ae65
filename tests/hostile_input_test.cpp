// Odd and hostile input, whole: command lines, folders, spooler records and
// files that no caller should hand the tool, and what it does with them.
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/driver_folder.h"
#include "tests/support/sim_test.h"

namespace {

using ::testing::IsEmpty;

const std::wstring kFolder = L"C:\\Drivers\\PX Series\\";
const std::wstring kFamilyDll = L"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\qxvprtdrv6.dll";

class HostileInput : public SimTest {
protected:
    HostileInput()
    {
        InstallDriverFolder(machine, kFolder);
        // The user confirms what is offered, presses "Remove" once and then "Close".
        machine.messageBoxes.SetResponder(
            [](const sim::MessageBoxRecord& box) { return (box.type & 0xF) == MB_OK ? IDOK : IDCANCEL; });
        machine.dialogs.SetUserPolicy([this](const sim::DialogView& view) {
            if (view.Enabled(IDOK) && !removed_) {
                removed_ = true;
                return IDOK;
            }
            return view.Enabled(IDCANCEL) ? IDCANCEL : 0;
        });
    }

    int Start(const std::wstring& arguments)
    {
        removed_ = false;
        return machine.RunTool(kFolder + L"PrinterSetup.exe", arguments);
    }

private:
    bool removed_ = false;
};

TEST_F(HostileInput, DriverRecordsWithMissingFieldsAndThousandCharacterQueueNames)
{
    sim::DriverRecord bare; // no INF path, maker, or anything else
    bare.name = L"VADedudoro PX630KT";
    bare.driverPath = kFamilyDll;
    machine.spooler.StageDriver(bare);
    sim::QueueRecord queue;
    queue.name = std::wstring(1000, L'Q');
    queue.port = L"USB001";
    queue.driver = bare.name;
    machine.spooler.StageQueue(queue);

    EXPECT_EQ(Start(L"-u " + kFolder), 0);
    ASSERT_EQ(machine.dialogs.Runs().size(), 1u);
    const std::vector<sim::TreeLine> tree = machine.dialogs.Runs()[0].treeHistory.front();
    ASSERT_EQ(tree.size(), 4u) << "folder, no package, the bare driver and its queue";
    EXPECT_EQ(tree[3].text.size(), 1023u) << "the line is cut, not overrun";
    EXPECT_THAT(machine.spooler.Queues(), IsEmpty());
    EXPECT_THAT(machine.spooler.Drivers(), IsEmpty());
    EXPECT_EQ(machine.messageBoxes.Shown().back().text, L"The driver is uninstalled.");
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
    EXPECT_EQ(Start(L""), 0);
    ASSERT_EQ(machine.messageBoxes.Shown().size(), 1u);
    EXPECT_EQ(machine.messageBoxes.Shown()[0].text,
              L"The printer [VADedudoro PX630KT] is installed on the port [USB001].");
    EXPECT_NE(machine.spooler.FindQueue(L"VADedudoro PX630KT"), nullptr);
    EXPECT_EQ(machine.volume.ReadFile(target),
              machine.volume.ReadFile(L"C:\\Drivers\\PX Series\\amd64\\qxvprtdrv6.dll"));
    EXPECT_EQ(machine.volume.ReadFile(data), machine.volume.ReadFile(L"C:\\Drivers\\PX Series\\dat\\qxvprtdrv6.dat"));
    EXPECT_THAT(machine.volume.PendingRenames(), IsEmpty());
}

} // namespace
