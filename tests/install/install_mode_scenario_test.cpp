// Install mode, whole, on the simulated machine: the user starts
// PrinterSetup.exe from the driver folder and answers its boxes.
#include <optional>
#include <ostream>
#include <string>

#include "tests/support/driver_folder.h"
#include "tests/support/sim_test.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const UINT kInstalledBox = MB_ICONINFORMATION;
const UINT kFailedBox = MB_RETRYCANCEL | MB_ICONERROR;
const UINT kNoPrinterBox = MB_OKCANCEL | MB_ICONQUESTION;

std::wstring Installed(const std::wstring& printer, const std::wstring& port)
{
    return L"The printer [" + printer + L"] is installed on the port [" + port + L"].";
}

std::wstring Failed(DWORD error)
{
    return L"The printer driver install failed, error code:" + std::to_wstring(error) +
           L". Please contact our technical support.";
}

const std::wstring kNoPrinter = L"No printer found, please turn on the printer and plug in to your computer.";

class InstallMode : public SimTest {
protected:
    InstallMode() { InstallDriverFolder(machine, kDriverFolder); }

    void StartTool() { machine.RunTool(kDriverFolder + L"PrinterSetup.exe", L""); }

    // What a box's claim rests on: the queue's port and driver.
    std::wstring PortAndDriver(const std::wstring& name)
    {
        const sim::QueueRecord* queue = machine.spooler.FindQueue(name);
        return queue != nullptr ? queue->port + L" " + queue->driver : L"<no queue>";
    }
};

// A printer of the maker whose model is not in the table is no printer to install: the user cancels.
TEST_F(InstallMode, APrinterOfTheMakerWithAnUnsupportedModelCountsAsNone)
{
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX999ZZ"));
    machine.messageBoxes.Expect(kNoPrinter, L"Message", kNoPrinterBox, IDCANCEL);
    StartTool();
    EXPECT_THAT(machine.spooler.Packages(), IsEmpty()) << "nothing uploaded";
    EXPECT_THAT(machine.debug.Lines(), IsEmpty());
    EXPECT_EQ(machine.faults.Calls("SetupDiGetClassDevsW"), 1) << "one scan, then the question";
}

// The device keeps the driver it had through an uninstall: only a forced update binds it again.
TEST_F(InstallMode, TheTypicalInstallAndAReinstallAfterAnUninstallGoThroughPlugAndPlay)
{
    machine.devices.Plug(FamilyPrinter(L"X3K9002211", 1, L"PX630KT"));
    machine.messageBoxes.Expect(Installed(L"VADedudoro PX630KT", L"USB001"), L"Message", kInstalledBox, IDOK);
    StartTool();
    ASSERT_EQ(PortAndDriver(L"VADedudoro PX630KT"), L"USB001 VADedudoro PX630KT");
    EXPECT_TRUE(machine.spooler.FindQueue(L"VADedudoro PX630KT")->createdByPlugAndPlay);
    EXPECT_THAT(machine.Launches(), IsEmpty());
    EXPECT_EQ(machine.clock.NowMs(), 10000u);

    machine.dialogs.ScriptPress(IDOK);
    machine.messageBoxes.Expect(L"The driver is uninstalled.", L"Message", MB_OK, IDOK);
    machine.RunTool(kDriverFolder + L"unins000.exe", L"");
    machine.RunLaunchedTools();
    ASSERT_THAT(machine.spooler.Queues(), IsEmpty());

    // The user unpacks the driver again and installs.
    InstallDriverFolder(machine, kDriverFolder);
    machine.messageBoxes.Expect(Installed(L"VADedudoro PX630KT", L"USB001"), L"Message", kInstalledBox, IDOK);
    const uint64_t start = machine.clock.NowMs();
    StartTool();
    ASSERT_EQ(PortAndDriver(L"VADedudoro PX630KT"), L"USB001 VADedudoro PX630KT");
    EXPECT_TRUE(machine.spooler.FindQueue(L"VADedudoro PX630KT")->createdByPlugAndPlay);
    EXPECT_EQ(machine.clock.NowMs() - start, 10000u);
}

TEST_F(InstallMode, TwoPrintersAreBothInstalledAndReported)
{
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    machine.devices.Plug(FamilyPrinter(L"SN2", 2, L"PX640KT"));
    // Newest discovery first.
    machine.messageBoxes.Expect(Installed(L"VADedudoro PX640KT", L"USB002"), L"Message", kInstalledBox, IDOK);
    machine.messageBoxes.Expect(Installed(L"VADedudoro PX630KT", L"USB001"), L"Message", kInstalledBox, IDOK);
    StartTool();
    EXPECT_EQ(PortAndDriver(L"VADedudoro PX630KT"), L"USB001 VADedudoro PX630KT");
    EXPECT_EQ(PortAndDriver(L"VADedudoro PX640KT"), L"USB002 VADedudoro PX640KT");
    EXPECT_EQ(machine.spooler.Stops(), 0) << "both ports are listed: no spooler restart";
}

struct NoPrinterStory {
    LANGID language;
    std::wstring noPrinter, caption, installed;
};

void PrintTo(const NoPrinterStory& story, std::ostream* out)
{
    *out << "language " << story.language;
}

class InstallModeInEachLanguage : public InstallMode, public ::testing::WithParamInterface<NoPrinterStory> {};

TEST_P(InstallModeInEachLanguage, NoPrinterThenTheUserPlugsOneInAndPressesOk)
{
    const NoPrinterStory& story = GetParam();
    machine.uiLanguage = story.language;
    machine.messageBoxes.Expect(story.noPrinter, story.caption, kNoPrinterBox, IDOK);
    machine.messageBoxes.Expect(story.noPrinter, story.caption, kNoPrinterBox, IDOK,
                                [this] { machine.devices.Plug(FamilyPrinter(L"SN1", 3, L"PX710K")); });
    machine.messageBoxes.Expect(story.installed, story.caption, kInstalledBox, IDOK);
    StartTool();
    EXPECT_EQ(PortAndDriver(L"VADedudoro PX710K"), L"USB003 VADedudoro PX710K");
}

INSTANTIATE_TEST_SUITE_P(Languages, InstallModeInEachLanguage,
                         ::testing::Values(NoPrinterStory{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), kNoPrinter,
                                                          L"Message", Installed(L"VADedudoro PX710K", L"USB003")},
                                           NoPrinterStory{MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED),
                                                          L"没有找到打印机，请开机并将USB线接入您的电脑。", L"提示信息",
                                                          L"打印机[VADedudoro PX710K]驱动已成功安装到端口[USB003]。"}));

TEST_F(InstallMode, AFailureWithRetryStartsANewPassAlsoForThePrinterStillWaiting)
{
    // Neither the store nor the folder can provide the driver at first.
    machine.spooler.bindingDoesNothing = true;
    machine.volume.Delete(kDriverFolder + L"amd64\\qxvprtdrv6.dll");
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    machine.devices.Plug(FamilyPrinter(L"SN2", 2, L"PX640KT"));
    // The last call before the box is the poll's OpenPrinterW: 1801.
    machine.messageBoxes.Expect(Failed(ERROR_INVALID_PRINTER_NAME), L"Message", kFailedBox, IDRETRY,
                                [this] { WriteDriverFolder(machine, kDriverFolder); });
    machine.messageBoxes.Expect(Installed(L"VADedudoro PX640KT", L"USB002"), L"Message", kInstalledBox, IDOK);
    machine.messageBoxes.Expect(Installed(L"VADedudoro PX630KT", L"USB001"), L"Message", kInstalledBox, IDOK);
    StartTool();
    EXPECT_EQ(PortAndDriver(L"VADedudoro PX630KT"), L"USB001 VADedudoro PX630KT");
}

TEST_F(InstallMode, AStringThatCannotBeLoadedIsShownInEnglishNeverAsTheLastBoxsText)
{
    machine.uiLanguage = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
    machine.spooler.bindingDoesNothing = true;
    machine.volume.Delete(kDriverFolder + L"amd64\\qxvprtdrv6.dll");
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    machine.messageBoxes.Expect(L"打印机驱动安装失败，错误码:1801，请联系技术支持。", L"提示信息", kFailedBox, IDRETRY,
                                [this] { WriteDriverFolder(machine, kDriverFolder); });
    // The success text fails to load; the buffer still holds the failure's template. Without the
    // progress window, whose steps load strings too, the success text is the third string loaded.
    machine.faults.FailCall("DialogBoxParamW", 1, ERROR_NOT_ENOUGH_MEMORY);
    machine.faults.FailCall("LoadStringW", 3, ERROR_RESOURCE_NAME_NOT_FOUND);
    machine.messageBoxes.Expect(Installed(L"VADedudoro PX630KT", L"USB001"), L"提示信息", kInstalledBox, IDOK);
    StartTool();
}

TEST_F(InstallMode, AFailureThenRetryAfterUnpluggingAsksForAPrinter)
{
    machine.spooler.bindingDoesNothing = true;
    machine.volume.Delete(kDriverFolder + L"amd64\\qxvprtdrv6.dll");
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    machine.messageBoxes.Expect(Failed(ERROR_INVALID_PRINTER_NAME), L"Message", kFailedBox, IDRETRY,
                                [this] { machine.devices.Unplug(L"SN1"); });
    machine.messageBoxes.Expect(kNoPrinter, L"Message", kNoPrinterBox, IDCANCEL);
    StartTool();
    EXPECT_EQ(machine.spooler.FindQueue(L"VADedudoro PX630KT"), nullptr);
}

TEST_F(InstallMode, AQueueOfThatNameOnAnotherPortWithAnotherDriverIsNotThePrinters)
{
    machine.devices.Plug(FamilyPrinter(L"SN1", 2, L"PX630KT"));
    sim::QueueRecord queue;
    queue.name = L"VADedudoro PX630KT";
    queue.port = L"USB001";
    queue.driver = L"Generic";
    machine.spooler.StageQueue(queue);
    machine.messageBoxes.Expect(Installed(L"VADedudoro PX630KT (Copy 1)", L"USB002"), L"Message", kInstalledBox, IDOK);
    StartTool();
    EXPECT_EQ(PortAndDriver(L"VADedudoro PX630KT (Copy 1)"), L"USB002 VADedudoro PX630KT");
    EXPECT_EQ(PortAndDriver(L"VADedudoro PX630KT"), L"USB001 Generic") << "the other queue is left as it was";
}

TEST_F(InstallMode, TwoIdenticalPrintersWithoutPlugAndPlayGetAQueueEach)
{
    machine.spooler.bindingDoesNothing = true;
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    machine.devices.Plug(FamilyPrinter(L"SN2", 2, L"PX630KT"));
    // The second queue gets the name Windows gives a second device's.
    machine.messageBoxes.Expect(Installed(L"VADedudoro PX630KT", L"USB002"), L"Message", kInstalledBox, IDOK);
    machine.messageBoxes.Expect(Installed(L"VADedudoro PX630KT (Copy 1)", L"USB001"), L"Message", kInstalledBox, IDOK);
    StartTool();
    EXPECT_EQ(PortAndDriver(L"VADedudoro PX630KT"), L"USB002 VADedudoro PX630KT");
    EXPECT_EQ(PortAndDriver(L"VADedudoro PX630KT (Copy 1)"), L"USB001 VADedudoro PX630KT");
}

TEST_F(InstallMode, TwoIdenticalPrintersThroughPlugAndPlayAreReportedByTheQueuesItMade)
{
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    machine.devices.Plug(FamilyPrinter(L"SN2", 2, L"PX630KT"));
    // The first install binds both devices; Plug and Play names the second queue.
    machine.messageBoxes.Expect(Installed(L"VADedudoro PX630KT (Copy 1)", L"USB002"), L"Message", kInstalledBox, IDOK);
    machine.messageBoxes.Expect(Installed(L"VADedudoro PX630KT", L"USB001"), L"Message", kInstalledBox, IDOK);
    StartTool();
    EXPECT_EQ(PortAndDriver(L"VADedudoro PX630KT"), L"USB001 VADedudoro PX630KT");
    EXPECT_EQ(PortAndDriver(L"VADedudoro PX630KT (Copy 1)"), L"USB002 VADedudoro PX630KT");
    EXPECT_EQ(machine.spooler.Queues().size(), 2u);
    EXPECT_EQ(machine.clock.NowMs(), 10000u) << "the second printer's queue was there already";
}

TEST_F(InstallMode, WithTheFamilyInstalledTheUninstallerTakesOver)
{
    sim::DriverRecord driver;
    driver.name = L"VADedudoro PX630KT";
    driver.driverPath = L"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\qxvprtdrv6.dll";
    machine.spooler.StageDriver(driver);
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));

    StartTool();
    EXPECT_EQ(machine.faults.Calls("SetupDiGetClassDevsW"), 0) << "nothing scanned";
    ASSERT_EQ(machine.Launches().size(), 1u);
    EXPECT_EQ(machine.Launches()[0].commandLine, L"\"" + kDriverFolder + L"\\unins000.exe\"");

    // unins000.exe copies itself to the temporary folder and that copy runs uninstall mode.
    machine.dialogs.ScriptPress(IDCANCEL);
    EXPECT_EQ(machine.RunLaunchedTools(), 2u);
    ASSERT_EQ(machine.dialogs.Runs().size(), 1u) << "the uninstaller's dialog, and no progress window";
    ASSERT_EQ(machine.Launches().size(), 2u);
    EXPECT_THAT(machine.Launches()[1].commandLine, ::testing::EndsWith(L" -u " + kDriverFolder));
}

// An earlier install stopped after the upload: a package with no driver is nothing to uninstall.
TEST_F(InstallMode, APackageInTheStoreWithoutADriverIsInstalledNotHandedOver)
{
    std::wstring stored;
    ASSERT_EQ(machine.spooler.UploadPackage(kDriverFolder + L"qxvprtv6.inf", &stored), S_OK);
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    machine.messageBoxes.Expect(Installed(L"VADedudoro PX630KT", L"USB001"), L"Message", kInstalledBox, IDOK);
    StartTool();
    EXPECT_THAT(machine.Launches(), IsEmpty());
    EXPECT_EQ(PortAndDriver(L"VADedudoro PX630KT"), L"USB001 VADedudoro PX630KT");
}

TEST_F(InstallMode, ADriverFileInUseIsReplacedAtTheRestartByTheCopyTheInstallationMade)
{
    machine.spooler.bindingDoesNothing = true;
    machine.devices.Plug(FamilyPrinter(L"SN1", 1, L"PX630KT"));
    const std::wstring target = machine.spooler.DriverDirectory() + L"\\qxvprtdrv6.dll";
    const std::wstring source = kDriverFolder + L"amd64\\qxvprtdrv6.dll";
    const std::optional<std::string> shipped = machine.volume.ReadFile(source);
    // A print job has the older build loaded.
    machine.volume.WriteFile(target, "MZ render, an older build");
    machine.volume.SetHeldOpen(target, true);
    machine.messageBoxes.Expect(Installed(L"VADedudoro PX630KT", L"USB001") +
                                    L"\n\nRestart the computer to complete the installation.",
                                L"Message", kInstalledBox, IDOK);
    StartTool();

    // Before the restart, a process without administrator rights changes the driver folder.
    machine.volume.WriteFile(L"C:\\Users\\Operator\\other.dll", "MZ someone else's");
    machine.RunAs(sim::Token{sim::kOperatorSid, false},
                  [&] { EXPECT_TRUE(Os().CopyFileW(L"C:\\Users\\Operator\\other.dll", source.c_str(), FALSE)); });
    machine.Restart();
    EXPECT_EQ(machine.volume.ReadFile(target), shipped);
    // The spooler loads the driver from the copy it made at the registration: that one is replaced too.
    const sim::DriverRecord* driver = machine.spooler.FindDriver(L"VADedudoro PX630KT");
    ASSERT_NE(driver, nullptr);
    ASSERT_TRUE(driver->driverPath.has_value());
    EXPECT_NE(*driver->driverPath, target);
    EXPECT_EQ(machine.volume.ReadFile(*driver->driverPath), shipped);
    for (const std::wstring& file : machine.volume.ListFiles(machine.spooler.DriverDirectory())) {
        EXPECT_EQ(file.find(L".tmp"), std::wstring::npos) << sim::Utf8(file) << " is left over";
    }
}

} // namespace
