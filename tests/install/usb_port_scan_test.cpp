// The port scan on a simulated machine with USB printers plugged in and out.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "install/model_table.h"
#include "install/usb_port_scan.h"
#include "tests/support/sim_test.h"

namespace {

using sim::UsbPrinter;

struct Port {
    std::wstring vendorId, checksumText, portName, description, serialNumber, hardwareId;
    WORD valid;
};

bool operator==(const Port& a, const Port& b)
{
    return a.vendorId == b.vendorId && a.checksumText == b.checksumText && a.portName == b.portName &&
           a.description == b.description && a.serialNumber == b.serialNumber && a.hardwareId == b.hardwareId &&
           a.valid == b.valid;
}

void PrintTo(const Port& p, std::ostream* os)
{
    *os << "{" << sim::Utf8(p.portName) << ", \"" << sim::Utf8(p.description) << "\", " << sim::Utf8(p.hardwareId)
        << ", vid " << sim::Utf8(p.vendorId) << ", serial " << sim::Utf8(p.serialNumber) << "}";
}

class UsbPortScan : public SimTest {
protected:
    // The list as the scan left it, newest first.
    std::vector<Port> Ports()
    {
        std::vector<Port> ports;
        for (const UsbPortRecord* r = UsbPortList; r != nullptr; r = r->next) {
            ports.push_back(Of(r));
        }
        return ports;
    }
    // A record that is missing fails the test instead of crashing the binary.
    static Port Of(const UsbPortRecord* r)
    {
        if (r == nullptr) {
            ADD_FAILURE() << "no record for that port";
            return {};
        }
        return {r->vendorId, r->checksumText, r->portName, r->description, r->serialNumber, r->hardwareId, r->valid};
    }

    UsbPrinter Printer(const std::wstring& serial, DWORD port, const std::wstring& description)
    {
        UsbPrinter printer;
        printer.serial = serial;
        printer.serialNumber = serial;
        printer.portNumber = port;
        printer.portDescription = description;
        return printer;
    }
};

// Registry values as no caller should leave them: too long, unterminated, of
// another type or missing; and an interface path longer than any fixed buffer.
TEST_F(UsbPortScan, OddRegistryValuesStayInTheirFields)
{
    UsbPrinter longTexts = Printer(L"SN0001", 1, L"VADedudoro PX630KT with a Zany tail!!!!X");
    longTexts.serialNumber = std::wstring(40, L'7');
    UsbPrinter huge = Printer(L"SN0002", 2, L""), multi = Printer(L"SN0003", 3, L""),
               mistyped = Printer(L"SN0007", 7, L"");
    for (UsbPrinter* printer : {&longTexts, &huge, &multi, &mistyped}) {
        machine.devices.Plug(*printer);
    }
    machine.registry.SetString(HKEY_LOCAL_MACHINE, sim::Devices::ParametersKey(huge), L"Port Description",
                               std::wstring(10000, L'V'));
    const wchar_t raw[3] = {L'S', L'N', L'9'}; // no terminator in the stored data
    machine.registry.SetValue(
        HKEY_LOCAL_MACHINE, sim::Devices::ParametersKey(huge), L"Serial Number", REG_SZ,
        std::vector<BYTE>(reinterpret_cast<const BYTE*>(raw), reinterpret_cast<const BYTE*>(raw) + sizeof(raw)));
    machine.registry.SetMultiString(HKEY_LOCAL_MACHINE, sim::Devices::ParametersKey(multi), L"Port Description",
                                    {L"VADedudoro PX630KT", L"second"});
    machine.registry.DeleteValue(HKEY_LOCAL_MACHINE, sim::Devices::ParametersKey(mistyped), L"Port Description");
    machine.registry.SetDword(HKEY_LOCAL_MACHINE, sim::Devices::ParametersKey(mistyped), L"Serial Number", 42);
    machine.devices.Plug(Printer(std::wstring(3000, L's'), 4, L"VADedudoro PX640KT"));

    EXPECT_EQ(ScanUsbPrinterPorts(), 5);
    // Cut to 32 characters; the checksum, worked out apart from the tool, and the hardware ID are of those.
    EXPECT_EQ(Of(FindUsbPort(L"USB001")),
              (Port{L"7A3E", L"3d5a", L"USB001", L"VADedudoro PX630KT with a Zany t", std::wstring(32, L'7'),
                    L"usbprint\\vadedudoro px630kt with a zany t3d5a", 1}));
    EXPECT_EQ(Of(FindUsbPort(L"USB002")).description, std::wstring(32, L'V'));
    EXPECT_EQ(Of(FindUsbPort(L"USB002")).serialNumber, std::wstring(L"SN9"));
    EXPECT_EQ(Of(FindUsbPort(L"USB003")).description, std::wstring()) << "a REG_MULTI_SZ is no description";
    EXPECT_EQ(Of(FindUsbPort(L"USB007")), (Port{L"7A3E", L"0000", L"USB007", L"", L"", L"usbprint\\0000", 1}));
    EXPECT_EQ(Of(FindUsbPort(L"USB004")).description, std::wstring(L"VADedudoro PX640KT"));
}

TEST_F(UsbPortScan, TwoInterfacesOnOnePortGiveTwoRecords)
{
    machine.devices.Plug(Printer(L"SN0001", 5, L"VADedudoro PX630KT"));
    machine.devices.Plug(Printer(L"SN0002", 5, L"VADedudoro PX640KT"));
    EXPECT_EQ(ScanUsbPrinterPorts(), 2);
    ASSERT_EQ(Ports().size(), 2u);
    EXPECT_EQ(Ports()[0].portName, L"USB005");
    EXPECT_EQ(Ports()[1].portName, L"USB005");
    EXPECT_EQ(Of(FindUsbPort(L"USB005")).description, std::wstring(L"VADedudoro PX640KT")) << "the newest first";
    EXPECT_EQ(FindUsbPort(L"USB006"), nullptr);
}

// No number, one of another type, and the extremes of a DWORD.
TEST_F(UsbPortScan, APortWithoutAReadableNumberIsSkippedAndAnyNumberIsTakenAsItIs)
{
    UsbPrinter missing = Printer(L"SN0001", 1, L"VADedudoro PX630KT");
    missing.portNumber.reset();
    machine.devices.Plug(missing);
    UsbPrinter text = Printer(L"SN0002", 2, L"VADedudoro PX631KT");
    machine.devices.Plug(text);
    machine.registry.SetString(HKEY_LOCAL_MACHINE, sim::Devices::ParametersKey(text), L"Port Number", L"2");
    machine.devices.Plug(Printer(L"SN0003", 0, L"VADedudoro PX630KT"));
    machine.devices.Plug(Printer(L"SN0004", 0x7FFFFFFF, L"VADedudoro PX630KT"));
    machine.devices.Plug(Printer(L"SN0005", 0xFFFFFFFF, L"VADedudoro PX630KT"));
    EXPECT_EQ(ScanUsbPrinterPorts(), 2);
    ASSERT_EQ(Ports().size(), 2u);
    EXPECT_EQ(Ports()[0].portName, L"USB2147483647");
    EXPECT_EQ(Ports()[1].portName, L"USB000") << "no such port; installing on it fails and says so";
}

TEST_F(UsbPortScan, ARealisticMachineReadsLikeAShortStory)
{
    // The user's PX630KT, switched on, on port 1.
    machine.devices.Plug(Printer(L"X3K9002211", 1, L"VADedudoro PX630KT"));
    // Someone else's printer on port 2.
    UsbPrinter foreign = Printer(L"EPS1234", 2, L"Somebody ColorJet 10");
    foreign.vendorId = L"04b8";
    machine.devices.Plug(foreign);
    // A second unit of the family whose driver install was interrupted: its key never got written.
    UsbPrinter halfConfigured = Printer(L"X3K9002299", 3, L"VADedudoro PX710K");
    halfConfigured.parametersKey = false;
    machine.devices.Plug(halfConfigured);
    // And a printer unplugged last week still has its key in the registry.
    machine.devices.Plug(Printer(L"OLD0000001", 4, L"VADedudoro PX520KT"));
    machine.devices.Unplug(L"OLD0000001");
    // The maker's vendor ID as hardware of another batch reports it, in either case but not mixed.
    UsbPrinter lower = Printer(L"SN0005", 5, L"VADedudoro PX510KT"),
               mixed = Printer(L"SN0006", 6, L"VADedudoro PX511KT");
    lower.vendorId = L"7a3e";
    mixed.vendorId = L"7A3e";
    machine.devices.Plug(lower);
    machine.devices.Plug(mixed);

    EXPECT_EQ(ScanUsbPrinterPorts(), 2) << "only the PX630KT and the PX510KT can be installed";
    ASSERT_EQ(Ports().size(), 2u);
    EXPECT_EQ(Ports()[0].vendorId, L"7a3e");
    EXPECT_EQ(Ports()[0].portName, L"USB005");
    EXPECT_EQ(Ports()[1], (Port{L"7A3E", L"99a8", L"USB001", L"VADedudoro PX630KT", L"X3K9002211",
                                L"usbprint\\vadedudoro px630kt99a8", 1}));
    EXPECT_EQ(FindModel(Ports()[1].description.c_str()), &ModelTable[8]);
}

} // namespace

namespace {

std::string ReadDemoInf()
{
    std::ifstream file(PRINTER_SETUP_SOURCE_DIR "/e2e/fixtures/qxvprtv6.inf");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The demo driver's INF must list, for every model, the hardware ID the scan
// computes for a printer reporting that model: otherwise Plug and Play would
// never bind it.
TEST_F(UsbPortScan, TheDemoInfListsTheHardwareIdTheScanComputesForEveryModel)
{
    const std::string inf = ReadDemoInf();
    ASSERT_FALSE(inf.empty());
    for (const ModelEntry* row = ModelTable; row->model != nullptr; ++row) {
        const std::wstring description = std::wstring(row->manufacturer) + L" " + row->model;
        machine.devices.Plug(Printer(L"SN0001", 1, description));
        ASSERT_EQ(ScanUsbPrinterPorts(), 1);
        const std::string hardwareId = sim::Utf8(UsbPortList->hardwareId);
        EXPECT_NE(inf.find(hardwareId), std::string::npos) << hardwareId << " is not in the demo INF";
    }
}

} // namespace
