// Every text the user sees, in English and Simplified Chinese. The resource
// script and the simulated machine both read this file, so the texts exist once.
// (UTF-8; the resource compiler reads it with code page 65001.)

#ifdef CATALOGUE_TEXT
CATALOGUE_TEXT(IDS_NO_PRINTER_FOUND, L"No printer found, please turn on the printer and plug in to your computer.", L"没有找到打印机，请开机并将USB线接入您的电脑。")
CATALOGUE_TEXT(IDS_MESSAGE_CAPTION, L"Message", L"提示信息")
CATALOGUE_TEXT(IDS_PRINTER_INSTALLED, L"The printer [%ws] is installed on the port [%ws].", L"打印机[%ws]驱动已成功安装到端口[%ws]。")
CATALOGUE_TEXT(IDS_INSTALL_FAILED, L"The printer driver install failed, error code:%d. Please contact our technical support.", L"打印机驱动安装失败，错误码:%d，请联系技术支持。")
CATALOGUE_TEXT(IDS_NOTHING_TO_REMOVE, L"Nothing need to be removed there", L"没有找到可以删除的打印机组件")
CATALOGUE_TEXT(IDS_PACKAGE_LINE, L"Driver Package:%ws, version:%ws, %ws, %ws", L"驱动程序包:%ws,  版本:%ws, %ws, %ws")
CATALOGUE_TEXT(IDS_NO_PACKAGE, L"No driver package", L"未知驱动程序包")
CATALOGUE_TEXT(IDS_DRIVER_LINE, L"Printer Driver:%ws, %ws, version:%d.%d.%d.%d, %ws", L"打印机驱动:%ws, %ws, 版本:%d.%d.%d.%d, %ws")
CATALOGUE_TEXT(IDS_NO_DRIVER, L"No printer driver", L"无打印机驱动")
CATALOGUE_TEXT(IDS_PRINTER_LINE, L"Printer:%ws on the port: %ws. %ws", L"打印机:%ws 安装在端口: %ws. %ws")
CATALOGUE_TEXT(IDS_NO_PRINTER, L"No printer", L"无打印机")
CATALOGUE_TEXT(IDS_REMOVED, L"Removed.", L"已删除")
CATALOGUE_TEXT(IDS_REMOVE_FAILED, L"Failed. Error:%d", L"删除失败，错误码:0x%x")
CATALOGUE_TEXT(IDS_UNINSTALL_FAILED, L"Uninstall driver failed. Please try again, or reboot your OS then try again, or contact our support for assistance.", L"驱动卸载失败，请重试，或者重启系统后再试，或者联系技术支持获得帮助。")
CATALOGUE_TEXT(IDS_UNINSTALLED, L"The driver is uninstalled.", L"驱动卸载成功")
CATALOGUE_TEXT(IDS_DRIVER_FOLDER, L"The driver folder: %ws", L"驱动文件夹:%ws")
#endif

#ifndef PRINTER_SETUP_DIALOG_TEXTS
#define PRINTER_SETUP_DIALOG_TEXTS
#define TEXT_EN_UNINSTALL_CAPTION L"Uninstall printer driver"
#define TEXT_ZH_UNINSTALL_CAPTION L"卸载打印机驱动"
#define TEXT_EN_REMOVE_BUTTON L"Remove"
#define TEXT_ZH_REMOVE_BUTTON L"删除"
#define TEXT_EN_CLOSE_BUTTON L"Close"
#define TEXT_ZH_CLOSE_BUTTON L"关闭"
#define TEXT_EN_HEADLINE L"The printer components below will be removed from you computer."
#define TEXT_ZH_HEADLINE L"以下打印机驱动组件将被删除，请确认。"
#endif
