// Every user-visible string, in both languages, as the resource loader hands
// it to the tool.
#include <string>

#include "common/platform.h"
#include "res/resource.h"
#include "tests/support/sim_test.h"

namespace {

struct Expected {
    UINT id;
    const wchar_t* english;
    const wchar_t* chinese;
};

// Written out here on purpose: the resource script and the simulated loader
// share one definition, and this is the independent check of its content.
const Expected kCatalogue[] = {
    {101, L"No printer found, please turn on the printer and plug in to your computer.",
     L"没有找到打印机，请开机并将USB线接入您的电脑。"},
    {102, L"Message", L"提示信息"},
    {103, L"The printer [%ws] is installed on the port [%ws].", L"打印机[%ws]驱动已成功安装到端口[%ws]。"},
    {104, L"The printer driver install failed, error code:%d. Please contact our technical support.",
     L"打印机驱动安装失败，错误码:%d，请联系技术支持。"},
    {105, L"Nothing need to be removed there", L"没有找到可以删除的打印机组件"},
    {106, L"Driver Package:%ws, version:%ws, %ws, %ws", L"驱动程序包:%ws,  版本:%ws, %ws, %ws"},
    {107, L"No driver package", L"未知驱动程序包"},
    {108, L"Printer Driver:%ws, %ws, version:%d.%d.%d.%d, %ws", L"打印机驱动:%ws, %ws, 版本:%d.%d.%d.%d, %ws"},
    {109, L"No printer driver", L"无打印机驱动"},
    {110, L"Printer:%ws on the port: %ws. %ws", L"打印机:%ws 安装在端口: %ws. %ws"},
    {111, L"No printer", L"无打印机"},
    {112, L"Removed.", L"已删除"},
    {113, L"Failed. Error:%d", L"删除失败，错误码:0x%x"},
    {114,
     L"Uninstall driver failed. Please try again, or reboot your OS then try again, or contact our support for "
     L"assistance.",
     L"驱动卸载失败，请重试，或者重启系统后再试，或者联系技术支持获得帮助。"},
    {115, L"The driver is uninstalled.", L"驱动卸载成功"},
    {116, L"The driver folder: %ws", L"驱动文件夹:%ws"},
};

class Catalogue : public SimTest {
protected:
    Catalogue() { machine.InstallTool(L"C:\\Drivers\\PrinterSetup.exe"); }

    // Loads inside a tool process, whose instance handle the loader knows.
    std::wstring Load(UINT id, int capacity)
    {
        std::wstring text;
        machine.SetToolEntry([&](HINSTANCE instance, const wchar_t*) {
            std::vector<WCHAR> buffer(static_cast<size_t>(capacity) + 1, L'#');
            int length = Os().LoadStringW(instance, id, buffer.data(), capacity);
            text.assign(buffer.data());
            EXPECT_EQ(static_cast<size_t>(length), text.size());
            return 0;
        });
        machine.RunTool(L"C:\\Drivers\\PrinterSetup.exe", L"");
        return text;
    }
};

TEST_F(Catalogue, EachUserInterfaceLanguageGetsEveryStringInThatLanguage)
{
    for (const Expected& row : kCatalogue) {
        machine.uiLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
        EXPECT_EQ(Load(row.id, 1024), row.english) << "string " << row.id;
        machine.uiLanguage = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
        EXPECT_EQ(Load(row.id, 1024), row.chinese) << "string " << row.id;
    }
}

TEST_F(Catalogue, LoadingCutsToTheCapacity)
{
    machine.uiLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    EXPECT_EQ(Load(IDS_UNINSTALL_FAILED, 25), L"Uninstall driver failed.");
    EXPECT_EQ(Load(IDS_MESSAGE_CAPTION, 25), L"Message");
}

} // namespace
