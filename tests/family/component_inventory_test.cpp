// The inventory of the installed driver family on the simulated machine.
#include <string>
#include <vector>

#include "family/component_inventory.h"
#include "tests/support/driver_folder.h"
#include "tests/support/sim_test.h"

namespace {

const std::wstring kPackages =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\Windows x64\\DriverPackages";
const std::wstring kStore = L"C:\\Windows\\System32\\DriverStore\\FileRepository\\";

class Inventories : public SimTest {
protected:
    // A package the spooler recorded: its key, with the stored INF as "DriverStorePath".
    std::wstring RecordPackage(const std::wstring& folder, const std::wstring& inf = L"qxvprtv6.inf")
    {
        const std::wstring path = kStore + folder + L"\\" + inf;
        machine.registry.SetMultiString(HKEY_LOCAL_MACHINE, kPackages + L"\\" + folder, L"DriverStorePath", {path});
        return path;
    }

    void InstallDriver(const std::wstring& name, const std::wstring& renderDll = L"qxvprtdrv6.dll",
                       const std::wstring& infPath = L"")
    {
        sim::DriverRecord driver;
        driver.name = name;
        driver.driverPath = L"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\" + renderDll;
        if (!infPath.empty()) {
            driver.infPath = infPath;
        }
        machine.spooler.StageDriver(driver);
    }

    void AddQueue(const std::wstring& name, const std::wstring& driver)
    {
        sim::QueueRecord queue;
        queue.name = name;
        queue.port = L"USB001";
        queue.driver = driver;
        machine.spooler.StageQueue(queue);
    }

    void Build() { ReadInventory(&ComponentInventory); }

    std::vector<PackageNode*> Packages()
    {
        std::vector<PackageNode*> nodes;
        for (PackageNode* node = ComponentInventory.packages; node != nullptr; node = node->next) {
            nodes.push_back(node);
        }
        return nodes;
    }

    static std::vector<std::wstring> DriverNames(const PackageNode* node)
    {
        std::vector<std::wstring> names;
        for (const DriverEntry* entry = node->drivers; entry != nullptr; entry = entry->next) {
            names.push_back(entry->info != nullptr ? entry->info->pName : L"<no record>");
        }
        return names;
    }
};

TEST_F(Inventories, NothingInstalledMeansAnEmptyInventory)
{
    InstallDriver(L"Someone Else Laser", L"otherdrv.dll");
    AddQueue(L"Office", L"Someone Else Laser");
    RecordPackage(L"other.inf_amd64_1", L"other.inf");
    // The family is recognised by its file names in their exact case.
    RecordPackage(L"upper.inf_amd64_1", L"QXVPRTV6.INF");
    InstallDriver(L"Upper", L"QXVPRTDRV6.DLL");
    Build();
    EXPECT_TRUE(InventoryIsClean(ComponentInventory));
}

TEST_F(Inventories, TwoPackagesAndOneDriverListTheDriverAndItsQueueUnderEach)
{
    const std::wstring first = RecordPackage(L"qxvprtv6.inf_amd64_aaaa");
    const std::wstring second = RecordPackage(L"qxvprtv6.inf_amd64_bbbb");
    InstallDriver(L"VADedudoro PX630KT", L"qxvprtdrv6.dll", first);
    AddQueue(L"VADedudoro PX630KT", L"VADedudoro PX630KT");
    Build();

    std::vector<PackageNode*> packages = Packages();
    ASSERT_EQ(packages.size(), 2u);
    EXPECT_EQ(std::wstring(packages[0]->infPath), second) << "newest first: keys are read in order";
    EXPECT_EQ(std::wstring(packages[1]->infPath), first);
    for (PackageNode* node : packages) {
        EXPECT_EQ(std::wstring(node->infFileName), L"qxvprtv6.inf");
        EXPECT_EQ(node->driverCount, 1);
        ASSERT_THAT(DriverNames(node), ::testing::ElementsAre(L"VADedudoro PX630KT"));
        ASSERT_EQ(node->drivers->printerCount, 1);
        EXPECT_EQ(std::wstring(node->drivers->printers->info->pPrinterName), L"VADedudoro PX630KT");
    }
    EXPECT_NE(packages[0]->drivers->info, packages[1]->drivers->info) << "each entry has its own copy";
}

TEST_F(Inventories, AnOrphanTakesTheInfPathOfALaterDriver)
{
    InstallDriver(L"VADedudoro PX510KT"); // enumerated first: no INF path
    InstallDriver(L"VADedudoro PX630KT", L"qxvprtdrv6.dll", kStore + L"y\\qxvprtv6.inf");
    Build();
    std::vector<PackageNode*> packages = Packages();
    ASSERT_EQ(packages.size(), 1u);
    EXPECT_EQ(std::wstring(packages[0]->infPath), kStore + L"y\\qxvprtv6.inf");
    EXPECT_THAT(DriverNames(packages[0]), ::testing::ElementsAre(L"VADedudoro PX630KT", L"VADedudoro PX510KT"));
    EXPECT_EQ(packages[0]->driverCount, 2);
}

TEST_F(Inventories, ThePackageVersionComesFromTheStoredInf)
{
    WriteDriverFolder(machine, kStore + L"qxvprtv6.inf_amd64_aaaa\\");
    RecordPackage(L"qxvprtv6.inf_amd64_aaaa");
    Build();
    ASSERT_NE(ComponentInventory.packages, nullptr);
    EXPECT_EQ(std::wstring(ComponentInventory.packages->driverVer), L"07/31/2024,2024.07.31.1");
    EXPECT_EQ(ComponentInventory.packages->driverCount, 0);
}

TEST_F(Inventories, APackagePathThatCannotBeReadIsAGapAndAMissingOneIsNot)
{
    RecordPackage(L"qxvprtv6.inf_amd64_aaaa");
    // The second key's value is of the wrong type: its read fails.
    machine.registry.SetString(HKEY_LOCAL_MACHINE, kPackages + L"\\qxvprtv6.inf_amd64_bbbb", L"DriverStorePath",
                               kStore + L"b\\qxvprtv6.inf");
    machine.registry.CreateKey(HKEY_LOCAL_MACHINE, kPackages + L"\\qxvprtv6.inf_amd64_cccc");
    Build();
    EXPECT_EQ(Packages().size(), 1u) << "no package listed twice from a stale buffer";
    EXPECT_EQ(ComponentInventory.gaps, 1) << "the value of the wrong type, not the missing one";
}

TEST_F(Inventories, LongNamesAreCutToTheirFields)
{
    const std::wstring longName = std::wstring(80, L'n') + L"qxvprtv6.inf";
    RecordPackage(L"long_amd64_1", longName);
    Build();
    ASSERT_NE(ComponentInventory.packages, nullptr);
    EXPECT_EQ(std::wstring(ComponentInventory.packages->infFileName), longName.substr(0, 49));
}

TEST_F(Inventories, AListThatGrewBetweenItsTwoCallsIsReadAgain)
{
    InstallDriver(L"VADedudoro PX630KT");
    machine.faults.FailCall("EnumPrinterDriversW", 2, ERROR_INSUFFICIENT_BUFFER);
    Build();
    EXPECT_EQ(Packages().size(), 1u);
    EXPECT_EQ(ComponentInventory.gaps, 0);
}

TEST_F(Inventories, OnlyMonitorsWithTheFamilyDllAreListed)
{
    machine.volume.WriteFile(machine.systemDirectory + L"\\qxvprtmon.dll", "monitor");
    machine.volume.WriteFile(machine.systemDirectory + L"\\other.dll", "monitor");
    machine.spooler.StageMonitor(L"Language Monitor", L"QXVPRTMON.DLL");
    machine.spooler.StageMonitor(L"Other Monitor", L"other.dll");
    Build();
    ASSERT_NE(ComponentInventory.monitors, nullptr);
    EXPECT_EQ(std::wstring(ComponentInventory.monitors->info->pName), L"Language Monitor");
    EXPECT_EQ(ComponentInventory.monitors->next, nullptr);
    EXPECT_FALSE(InventoryIsClean(ComponentInventory));
}

// Every read that fails for another reason than "nothing there" is a gap:
// the inventory must never pass for complete.
struct FailedRead {
    const char* operation;
    int nth;
    DWORD error;
};

class InventoryReads : public Inventories, public ::testing::WithParamInterface<FailedRead> {};

TEST_P(InventoryReads, AReadThatFailsIsAGap)
{
    RecordPackage(L"qxvprtv6.inf_amd64_aaaa");
    InstallDriver(L"VADedudoro PX630KT", L"qxvprtdrv6.dll", kStore + L"qxvprtv6.inf_amd64_aaaa\\qxvprtv6.inf");
    AddQueue(L"VADedudoro PX630KT", L"VADedudoro PX630KT");
    machine.faults.FailCall(GetParam().operation, GetParam().nth, GetParam().error);
    Build();
    EXPECT_GE(ComponentInventory.gaps, 1);
    EXPECT_FALSE(InventoryIsClean(ComponentInventory));
}

INSTANTIATE_TEST_SUITE_P(Failures, InventoryReads,
                         ::testing::Values(FailedRead{"RegOpenKeyW", 1, ERROR_ACCESS_DENIED},
                                           FailedRead{"RegOpenKeyW", 2, ERROR_ACCESS_DENIED},
                                           FailedRead{"RegEnumKeyW", 1, ERROR_ACCESS_DENIED},
                                           FailedRead{"RegGetValueW", 1, ERROR_MORE_DATA},
                                           FailedRead{"EnumPrinterDriversW", 1, RPC_S_SERVER_UNAVAILABLE},
                                           FailedRead{"EnumPrinterDriversW", 2, RPC_S_SERVER_UNAVAILABLE},
                                           FailedRead{"EnumPrintersW", 1, RPC_S_SERVER_UNAVAILABLE},
                                           FailedRead{"EnumPrintersW", 2, RPC_S_SERVER_UNAVAILABLE},
                                           FailedRead{"EnumMonitorsW", 1, RPC_S_SERVER_UNAVAILABLE},
                                           FailedRead{"LocalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY},
                                           FailedRead{"LocalAlloc", 3, ERROR_NOT_ENOUGH_MEMORY},
                                           FailedRead{"LocalAlloc", 5, ERROR_NOT_ENOUGH_MEMORY},
                                           FailedRead{"LocalAlloc", 6, ERROR_NOT_ENOUGH_MEMORY},
                                           FailedRead{"LocalAlloc", 7, ERROR_NOT_ENOUGH_MEMORY}),
                         [](const ::testing::TestParamInfo<FailedRead>& info) {
                             return std::string(info.param.operation) + "_" + std::to_string(info.param.nth);
                         });

TEST_F(Inventories, TheSpoolerStoppedIsAGapNotAnEmptyMachine)
{
    InstallDriver(L"VADedudoro PX630KT");
    machine.spooler.SetServiceState(SERVICE_STOPPED);
    Build();
    EXPECT_EQ(ComponentInventory.packages, nullptr);
    EXPECT_EQ(ComponentInventory.gaps, 4) << "drivers of both environments, queues and monitors unread";
}

} // namespace
