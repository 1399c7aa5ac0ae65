// Registry reads and the USB printer interfaces, as the port scan and the
// inventory read them.
#include <cstddef>
#include <string>
#include <vector>

#include "tests/contract/contract_host.h"

namespace {

const std::wstring kScratchKey = L"SOFTWARE\\PrinterSetupContractTests";
const GUID kUsbPrintClass = {0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};

class RegistryContract : public ContractTest {
protected:
    void SetUp() override
    {
        ContractTest::SetUp();
        HostDeleteRegistryKey(kScratchKey);
    }
    void TearDown() override
    {
        HostDeleteRegistryKey(kScratchKey);
        ContractTest::TearDown();
    }
    void SetText(const std::wstring& name, DWORD type, const std::wstring& text, bool terminated)
    {
        HostSetRegistryValue(kScratchKey, name, type, text.c_str(),
                             (text.size() + (terminated ? 1 : 0)) * sizeof(WCHAR));
    }
};

TEST_F(RegistryContract, GetValueTerminatesAStringStoredWithoutTerminator)
{
    SetText(L"Port Description", REG_SZ, L"VADedudoro PX630KT", false);
    HKEY key = nullptr;
    ASSERT_EQ(Os().RegOpenKeyExW(HKEY_LOCAL_MACHINE, kScratchKey.c_str(), 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);

    DWORD size = 0;
    EXPECT_EQ(Os().RegGetValueW(key, nullptr, L"Port Description", RRF_RT_REG_SZ, nullptr, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 19 * sizeof(WCHAR)) << "the size query counts the terminator it will add";

    std::vector<WCHAR> text(40, L'#');
    DWORD small = 4 * sizeof(WCHAR);
    EXPECT_EQ(Os().RegGetValueW(key, nullptr, L"Port Description", RRF_RT_REG_SZ, nullptr, text.data(), &small),
              ERROR_MORE_DATA);
    EXPECT_EQ(small, 19 * sizeof(WCHAR));

    DWORD room = static_cast<DWORD>(text.size() * sizeof(WCHAR));
    DWORD type = REG_NONE;
    EXPECT_EQ(Os().RegGetValueW(key, nullptr, L"Port Description", RRF_RT_REG_SZ, &type, text.data(), &room),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(text.data()), L"VADedudoro PX630KT");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(Os().RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryContract, GetValueRefusesOtherTypesAndMissingValues)
{
    SetText(L"Port Number", REG_SZ, L"1", true);
    DWORD number = 0;
    DWORD size = sizeof(number);
    HKEY key = nullptr;
    ASSERT_EQ(Os().RegOpenKeyExW(HKEY_LOCAL_MACHINE, kScratchKey.c_str(), 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    EXPECT_EQ(Os().RegGetValueW(key, nullptr, L"Port Number", RRF_RT_REG_DWORD, nullptr, &number, &size),
              ERROR_UNSUPPORTED_TYPE);
    size = sizeof(number);
    EXPECT_EQ(Os().RegGetValueW(key, nullptr, L"Serial Number", RRF_RT_REG_SZ, nullptr, &number, &size),
              ERROR_FILE_NOT_FOUND);
    Os().RegCloseKey(key);
}

TEST_F(RegistryContract, AnEmptyValueReadsAsNoBytes)
{
    // Found by fuzzing: the simulated registry once copied from an empty value's missing storage.
    HostSetRegistryValue(kScratchKey, L"Port Description", REG_BINARY, L"", 0);
    HKEY key = nullptr;
    ASSERT_EQ(Os().RegOpenKeyExW(HKEY_LOCAL_MACHINE, kScratchKey.c_str(), 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    BYTE data[8] = {0x55};
    DWORD size = sizeof(data), type = REG_NONE;
    EXPECT_EQ(Os().RegQueryValueExW(key, L"Port Description", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(data[0], 0x55) << "nothing written";
    Os().RegCloseKey(key);
}

TEST_F(RegistryContract, MultiStringsAndSubkeysReadAsTheInventoryReadsThem)
{
    const std::wstring package = kScratchKey + L"\\DriverPackages\\qxvprtv6.inf_amd64_0123456789abcdef";
    const wchar_t multi[] = L"C:\\Windows\\System32\\DriverStore\\FileRepository\\qxvprtv6.inf\0\0";
    HostSetRegistryValue(package, L"DriverStorePath", REG_MULTI_SZ, multi, sizeof(multi) - sizeof(WCHAR));
    HostSetRegistryValue(kScratchKey + L"\\DriverPackages\\another.inf_amd64_aa", L"DriverStorePath", REG_MULTI_SZ,
                         multi, sizeof(multi) - sizeof(WCHAR));

    HKEY packages = nullptr;
    ASSERT_EQ(Os().RegOpenKeyW(HKEY_LOCAL_MACHINE, (kScratchKey + L"\\DriverPackages").c_str(), &packages),
              ERROR_SUCCESS);
    WCHAR name[260];
    std::vector<std::wstring> names;
    for (DWORD index = 0; Os().RegEnumKeyW(packages, index, name, 260) == ERROR_SUCCESS; ++index) {
        names.push_back(name);
    }
    EXPECT_EQ(Os().RegEnumKeyW(packages, static_cast<DWORD>(names.size()), name, 260), ERROR_NO_MORE_ITEMS);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], L"another.inf_amd64_aa") << "subkeys come in alphabetical order";

    HKEY sub = nullptr;
    ASSERT_EQ(Os().RegOpenKeyW(packages, names[1].c_str(), &sub), ERROR_SUCCESS);
    WCHAR path[512] = {0};
    DWORD size = 1024;
    EXPECT_EQ(Os().RegGetValueW(sub, nullptr, L"DriverStorePath", RRF_RT_REG_MULTI_SZ, nullptr, path, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(path), L"C:\\Windows\\System32\\DriverStore\\FileRepository\\qxvprtv6.inf");
    Os().RegCloseKey(sub);
    Os().RegCloseKey(packages);
}

class DeviceContract : public ContractTest {
protected:
    void TearDown() override
    {
        HostUnplugUsbPrinter(L"CONTRACT01");
        ContractTest::TearDown();
    }
    static void ExpectNoPrinterInterface()
    {
        HDEVINFO devices =
            Os().SetupDiGetClassDevsW(&kUsbPrintClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        ASSERT_NE(devices, INVALID_HANDLE_VALUE);
        SP_DEVICE_INTERFACE_DATA data = {};
        data.cbSize = sizeof(data);
        EXPECT_FALSE(Os().SetupDiEnumDeviceInterfaces(devices, nullptr, &kUsbPrintClass, 0, &data));
        EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
        EXPECT_TRUE(Os().SetupDiDestroyDeviceInfoList(devices));
    }
};

TEST_F(DeviceContract, APluggedPrinterIsListedWithItsPortParameters)
{
    if (!HostPlugUsbPrinter(L"CONTRACT01", 7, L"VADedudoro PX630KT")) {
        GTEST_SKIP() << "this host cannot plug in a printer; it needs a real one";
    }
    HDEVINFO devices =
        Os().SetupDiGetClassDevsW(&kUsbPrintClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(devices, INVALID_HANDLE_VALUE);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof(data);
    ASSERT_TRUE(Os().SetupDiEnumDeviceInterfaces(devices, nullptr, &kUsbPrintClass, 0, &data));

    DWORD needed = 0;
    EXPECT_FALSE(Os().SetupDiGetDeviceInterfaceDetailW(devices, &data, nullptr, 0, &needed, nullptr));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    const std::wstring expectedPath = L"\\\\?\\usb#vid_7a3e&pid_00c7#contract01#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
    EXPECT_EQ(needed,
              offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) + (expectedPath.size() + 1) * sizeof(WCHAR));

    std::vector<BYTE> buffer(needed);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA info = {};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(Os().SetupDiGetDeviceInterfaceDetailW(devices, &data, detail, needed, nullptr, &info));
    const std::wstring path = detail->DevicePath;
    EXPECT_EQ(Lower(path), expectedPath);

    EXPECT_FALSE(Os().SetupDiEnumDeviceInterfaces(devices, nullptr, &kUsbPrintClass, 1, &data));
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    EXPECT_TRUE(Os().SetupDiDestroyDeviceInfoList(devices));

    // The parameters key is found from the interface path, whatever its letter case.
    const std::wstring key = L"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
                             L"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}\\##?#" +
                             path.substr(4) + L"\\#\\Device Parameters";
    HKEY parameters = nullptr;
    ASSERT_EQ(Os().RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE, &parameters), ERROR_SUCCESS);
    DWORD port = 0;
    DWORD size = sizeof(port);
    EXPECT_EQ(Os().RegGetValueW(parameters, nullptr, L"Port Number", RRF_RT_REG_DWORD, nullptr, &port, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(port, 7u);
    Os().RegCloseKey(parameters);
}

TEST_F(DeviceContract, NoPrinterOrAnUnpluggedOneMeansAnEmptyInterfaceList)
{
    ExpectNoPrinterInterface();
    if (!HostPlugUsbPrinter(L"CONTRACT01", 7, L"VADedudoro PX630KT")) {
        GTEST_SKIP() << "this host cannot plug in a printer; it needs a real one";
    }
    HostUnplugUsbPrinter(L"CONTRACT01");
    ExpectNoPrinterInterface();
}

} // namespace
