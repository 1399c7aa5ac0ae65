// Checks of the built PrinterSetup.exe: what it imports, and the resources
// the resource compiler actually stored. Expected values are written out here
// rather than taken from the resource sources, so that a wrong define or a
// resource compiler quirk shows up as a difference.
#include "tests/exe/pe_resources.h"

#include "sim/kernel/wide.h"
#include "sim/ui/catalogue_texts.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cwchar>
#include <map>
#include <set>
#include <sstream>

namespace {

using pe::Bytes;

constexpr std::uint16_t kEnglishNeutral = 0x0009;
constexpr std::uint16_t kChineseNeutral = 0x0004;
constexpr std::uint16_t kChineseSimplified = 0x0804;

// Window and control styles, spelled out because <windows.h> is not available here.
constexpr std::uint32_t kWsPopup = 0x80000000, kWsChild = 0x40000000, kWsVisible = 0x10000000;
constexpr std::uint32_t kWsCaption = 0x00C00000, kWsBorder = 0x00800000, kWsSysMenu = 0x00080000;
constexpr std::uint32_t kWsHScroll = 0x00100000, kWsGroup = 0x00020000, kWsTabStop = 0x00010000;
constexpr std::uint32_t kDsFixedSys = 0x0008, kDsSetFont = 0x0040, kDsModalFrame = 0x0080, kDsCenter = 0x0800;
constexpr std::uint32_t kBsPushButton = 0x0, kBsDefPushButton = 0x1, kSsLeft = 0x0;
constexpr std::uint32_t kTvsHasLines = 0x2, kTvsLinesAtRoot = 0x4;
constexpr std::uint16_t kButtonClass = 0x0080, kStaticClass = 0x0082;

std::string hex(std::uint32_t v)
{
    std::ostringstream out;
    out << "0x" << std::hex << v;
    return out.str();
}

// For failure messages only.
std::string utf8(const std::u16string& s)
{
    return sim::Utf8(std::wstring(s.begin(), s.end()));
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The built executable, read once for all its checks.
class Executable : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        auto bytes = pe::readFile(PRINTER_SETUP_EXE);
        error_ = std::string("cannot read ") + PRINTER_SETUP_EXE;
        if (bytes) {
            error_.clear();
            image_ = pe::Image::parse(std::move(*bytes), &error_);
        }
    }
    void SetUp() override { ASSERT_TRUE(image_) << error_; }
    static const pe::Image& Image() { return *image_; }

private:
    static inline std::optional<pe::Image> image_;
    static inline std::string error_;
};

// A resource stored in one language, whichever it is.
std::optional<Bytes> anyLanguage(const pe::Image& image, std::uint16_t type, std::uint16_t id)
{
    const auto languages = image.resourceLanguages(type, id);
    return languages.empty() ? std::nullopt : image.resource(type, id, languages.front());
}

// ---------------------------------------------------------------- imports

// Imported DLL (lower case) -> names of the functions taken from it.
std::map<std::string, std::set<std::string>> importedDlls(const std::string& objdump)
{
    std::map<std::string, std::set<std::string>> imports;
    std::istringstream lines(objdump);
    std::string line;
    std::set<std::string>* current = nullptr;
    const std::string marker = "DLL Name:";
    while (std::getline(lines, line)) {
        const auto at = line.find(marker);
        if (at != std::string::npos) {
            std::istringstream name(line.substr(at + marker.size()));
            std::string dll;
            name >> dll;
            current = &imports[lower(dll)];
            continue;
        }
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            current = nullptr; // a blank line closes the function list
            continue;
        }
        if (current && line.find("Hint/Ord") == std::string::npos) {
            std::istringstream fields(line);
            std::string field, last;
            while (fields >> field)
                last = field;
            current->insert(last);
        }
    }
    return imports;
}

TEST(ExecutableImports, OnlyKnownDllsAreLinkedAndDllSearchIsRestricted)
{
    const std::string command = std::string("'") + MINGW_OBJDUMP + "' -p '" + PRINTER_SETUP_EXE + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr) << command;
    std::string objdump;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        objdump.append(buffer, n);
    ASSERT_EQ(pclose(pipe), 0) << MINGW_OBJDUMP << " -p failed:\n" << objdump;
    const auto imports = importedDlls(objdump);
    ASSERT_TRUE(imports.count("kernel32.dll")) << "no kernel32.dll import found; objdump output not understood:\n"
                                               << objdump;

    // KnownDLLs: Windows maps these from the system directory whatever folder the program runs from.
    const std::set<std::string> knownDlls = {
        "kernel32.dll", "user32.dll",   "advapi32.dll", "shell32.dll", "gdi32.dll",  "ole32.dll",   "oleaut32.dll",
        "msvcrt.dll",   "comdlg32.dll", "shlwapi.dll",  "ws2_32.dll",  "rpcrt4.dll", "sechost.dll",
    };
    // These resolve through the DLL search path if linked; the program loads them itself from system32.
    const std::set<std::string> loadedAtRunTime = {"winspool.drv", "setupapi.dll", "newdev.dll", "cfgmgr32.dll",
                                                   "comctl32.dll"};
    for (const auto& entry : imports) {
        const std::string& dll = entry.first;
        if (loadedAtRunTime.count(dll)) {
            ADD_FAILURE() << dll << " is linked; it must be loaded at run time from the system directory";
        } else if (dll.rfind("libstdc++", 0) == 0 || dll.rfind("libgcc", 0) == 0 ||
                   dll.rfind("libwinpthread", 0) == 0) {
            ADD_FAILURE() << dll << " is a MinGW runtime DLL; the runtime must be linked statically";
        } else {
            EXPECT_TRUE(knownDlls.count(dll)) << dll
                                              << " is imported but is no KnownDLL: it could be taken from the "
                                                 "program's own folder";
        }
    }

    const auto& kernel32 = imports.at("kernel32.dll");
    EXPECT_TRUE(kernel32.count("SetDefaultDllDirectories")) << "kernel32 SetDefaultDllDirectories not imported";
    EXPECT_TRUE(kernel32.count("LoadLibraryExW")) << "kernel32 LoadLibraryExW not imported";
}

// The reader refuses anything but a PE32+ image.
TEST_F(Executable, IsA64BitWindowsGuiProgram)
{
    EXPECT_EQ(Image().machine(), 0x8664) << "not x86-64";
    EXPECT_EQ(Image().subsystem(), 2) << "subsystem is not Windows GUI";
}

// ---------------------------------------------------------------- strings

// The 16 strings of one string table block, or nothing if the block is malformed.
std::optional<std::vector<std::u16string>> stringBlock(const Bytes& data)
{
    pe::Cursor cursor(data);
    std::vector<std::u16string> strings(16);
    for (auto& s : strings) {
        const std::uint16_t length = cursor.u16();
        for (std::uint16_t i = 0; i < length; ++i)
            s += static_cast<char16_t>(cursor.u16());
    }
    if (!cursor.ok())
        return std::nullopt;
    return strings;
}

TEST_F(Executable, EnglishAndChineseStringTablesAreExact)
{
    // The texts themselves are checked letter by letter in catalogue_test.cpp;
    // here the compiled tables must carry exactly those texts, and no other.
    std::set<std::uint16_t> blocks;
    std::size_t count = 0;
    for (std::uint16_t id = 1; id < 1024; ++id) {
        if (sim::CatalogueText(id, 0x0409) != nullptr) {
            blocks.insert(static_cast<std::uint16_t>(id / 16 + 1));
            ++count;
        }
    }
    ASSERT_GE(count, 18u);

    for (const std::uint16_t language : {kEnglishNeutral, kChineseNeutral}) {
        for (const std::uint16_t block : blocks) {
            const auto data = Image().resource(pe::kString, block, language);
            const auto strings = data ? stringBlock(*data) : std::nullopt;
            if (!strings) {
                ADD_FAILURE() << "string block " << block << " missing or truncated in language " << hex(language);
                continue;
            }
            for (std::uint16_t i = 0; i < 16; ++i) {
                const std::uint16_t id = static_cast<std::uint16_t>((block - 1) * 16 + i);
                const wchar_t* text = sim::CatalogueText(id, language == kEnglishNeutral ? 0x0409 : 0x0804);
                const std::u16string want = text != nullptr ? std::u16string(text, text + std::wcslen(text)) : u"";
                EXPECT_TRUE((*strings)[i] == want)
                    << "string " << id << " in language " << hex(language) << "\n  actual:   \"" << utf8((*strings)[i])
                    << "\"\n  expected: \"" << utf8(want) << "\"";
            }
        }
    }
}

// ---------------------------------------------------------------- dialog

std::string describe(const pe::SzOrOrd& f)
{
    return f.isOrdinal ? "ordinal " + hex(f.ordinal) : "\"" + utf8(f.text) + "\"";
}

// An extended dialog template as one line for the dialog and one per control,
// every stored field in each, so that a difference shows in full. Nothing if
// the template runs past its end. (<< evaluates left to right since C++17.)
std::optional<std::vector<std::string>> describeDialog(const Bytes& data)
{
    pe::Cursor c(data);
    std::ostringstream dialog;
    dialog << "version " << c.u16() << " signature " << hex(c.u16()) << " help " << c.u32() << " exstyle "
           << hex(c.u32());
    const std::uint32_t style = c.u32();
    const std::uint16_t count = c.u16();
    dialog << " style " << hex(style) << " at " << c.s16() << "," << c.s16() << " size " << c.s16() << "x" << c.s16()
           << " menu " << describe(c.szOrOrd()) << " class " << describe(c.szOrOrd()) << " title "
           << describe(c.szOrOrd());
    if (style & kDsSetFont) {
        dialog << " font " << c.u16() << " weight " << c.u16() << " italic " << int{c.u8()} << " charset "
               << int{c.u8()} << " \"" << utf8(c.sz()) << "\"";
    }
    std::vector<std::string> lines = {dialog.str()};
    for (std::uint16_t i = 0; i < count && c.ok(); ++i) {
        c.align(4);
        std::ostringstream item;
        item << "help " << c.u32() << " exstyle " << hex(c.u32()) << " style " << hex(c.u32()) << " at " << c.s16()
             << "," << c.s16() << " size " << c.s16() << "x" << c.s16() << " id "
             << c.u32()
             // windres stores class names in capitals; Windows looks classes up without regard to case.
             << " class " << lower(describe(c.szOrOrd())) << " title " << describe(c.szOrOrd());
        const std::uint16_t extra = c.u16();
        c.skip(extra);
        item << " creation data " << extra;
        lines.push_back(item.str());
    }
    if (!c.ok())
        return std::nullopt;
    return lines;
}

TEST_F(Executable, UninstallDialogLayoutAndTextsInEnglishAndChinese)
{
    struct Control {
        std::uint32_t id;
        std::string windowClass; // lower case
        std::uint32_t style;
        std::string placement;
        std::u16string english, chinese;
    };
    const std::vector<Control> controls = {
        {1, "ordinal " + hex(kButtonClass), kWsChild | kWsVisible | kWsTabStop | kBsDefPushButton,
         "at 198,155 size 50x14", u"Remove", u"删除"},
        {2, "ordinal " + hex(kButtonClass), kWsChild | kWsVisible | kWsTabStop | kBsPushButton, "at 252,155 size 50x14",
         u"Close", u"关闭"},
        {1001, "\"systreeview32\"",
         kWsChild | kWsVisible | kWsBorder | kWsHScroll | kWsTabStop | kTvsHasLines | kTvsLinesAtRoot,
         "at 7,22 size 295x126", u"", u""},
        {1002, "ordinal " + hex(kStaticClass), kWsChild | kWsVisible | kWsGroup | kSsLeft, "at 8,9 size 294x8",
         u"The printer components below will be removed from you computer.", u"以下打印机驱动组件将被删除，请确认。"},
        {1003, "\"msctls_progress32\"", kWsChild | kWsBorder, "at 17,56 size 273x20", u"", u""},
    };

    for (const std::uint16_t language : {kEnglishNeutral, kChineseSimplified}) {
        SCOPED_TRACE("dialog 105, language " + hex(language));
        const bool english = language == kEnglishNeutral;
        const auto quoted = [](const std::u16string& text) { return "\"" + utf8(text) + "\""; };
        // An extended template, no help or menu, the default class, MS Shell Dlg 8.
        std::vector<std::string> expected = {
            "version 1 signature 0xffff help 0 exstyle 0x0 style " +
            hex(kWsPopup | kWsCaption | kWsSysMenu | kDsModalFrame | kDsCenter | kDsSetFont | kDsFixedSys) +
            " at 0,0 size 309x176 menu \"\" class \"\" title " +
            quoted(english ? u"Uninstall printer driver" : u"卸载打印机驱动") +
            " font 8 weight 400 italic 0 charset 1 \"MS Shell Dlg\""};
        for (const Control& control : controls) {
            expected.push_back("help 0 exstyle 0x0 style " + hex(control.style) + " " + control.placement + " id " +
                               std::to_string(control.id) + " class " + control.windowClass + " title " +
                               quoted(english ? control.english : control.chinese) + " creation data 0");
        }
        const auto data = Image().resource(pe::kDialog, 105, language);
        const auto dialog = data ? describeDialog(*data) : std::nullopt;
        if (!dialog) {
            ADD_FAILURE() << "dialog 105 missing or truncated";
            continue;
        }
        ASSERT_EQ(dialog->size(), expected.size()) << "controls";
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ((*dialog)[i], expected[i]);
        }
    }
}

// ---------------------------------------------------------------- icon

TEST_F(Executable, IconGroupHasA32PixelImageAndAllImagesExist)
{
    const auto group = anyLanguage(Image(), pe::kGroupIcon, 102);
    ASSERT_TRUE(group) << "icon group 102 missing or unreadable";

    pe::Cursor c(*group);
    const std::uint16_t reserved = c.u16(), type = c.u16(), count = c.u16();
    ASSERT_TRUE(c.ok()) << "icon group header truncated";
    EXPECT_EQ(reserved, 0);
    EXPECT_EQ(type, 1) << "icon group is not of icons";
    EXPECT_GE(count, 2) << "icon group should offer more than one size";

    bool has32 = false;
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint8_t width = c.u8(), height = c.u8();
        c.skip(6); // colour count, reserved, planes, bit count
        const std::uint32_t bytes = c.u32();
        const std::uint16_t iconId = c.u16();
        ASSERT_TRUE(c.ok()) << "icon group entry " << i << " truncated";
        has32 = has32 || (width == 32 && height == 32);

        const auto icon = anyLanguage(Image(), pe::kIcon, iconId);
        if (!icon) {
            ADD_FAILURE() << "icon " << iconId << " referenced by group 102 is missing or unreadable";
            continue;
        }
        EXPECT_EQ(icon->size(), bytes) << "icon " << iconId << " size differs from its group entry";
    }
    EXPECT_TRUE(has32) << "icon group 102 has no 32x32 image";
}

// ---------------------------------------------------------------- manifest

// The opening tag "<name ...>" of the first element with that name inside text.
std::string openingTag(const std::string& text, const std::string& name, std::size_t from = 0)
{
    for (auto at = text.find("<" + name, from); at != std::string::npos; at = text.find("<" + name, at + 1)) {
        const char next = at + name.size() + 1 < text.size() ? text[at + name.size() + 1] : '\0';
        if (next == ' ' || next == '>' || next == '/' || next == '\t' || next == '\r' || next == '\n') {
            return text.substr(at, text.find('>', at) - at + 1);
        }
    }
    return {};
}

TEST_F(Executable, ManifestRequiresAdministratorUsesCommonControls6AndIsDpiAware)
{
    const auto data = anyLanguage(Image(), pe::kManifest, 1);
    ASSERT_TRUE(data) << "manifest 1 missing or unreadable";
    const std::string xml(data->begin(), data->end());

    const std::string level = openingTag(xml, "requestedExecutionLevel");
    EXPECT_THAT(level, ::testing::HasSubstr("level=\"requireAdministrator\""));
    EXPECT_THAT(level, ::testing::HasSubstr("uiAccess=\"false\""));

    const auto dependency = xml.find("<dependency");
    const auto dependencyEnd = xml.find("</dependency>");
    ASSERT_NE(dependency, std::string::npos) << "no dependency in manifest";
    const std::string identity = openingTag(xml.substr(0, dependencyEnd), "assemblyIdentity", dependency);
    EXPECT_THAT(identity, ::testing::HasSubstr("name=\"Microsoft.Windows.Common-Controls\""));
    EXPECT_THAT(identity, ::testing::HasSubstr("version=\"6.0.0.0\""));

    bool dpiSetting = false;
    for (const char* name : {"dpiAware", "dpiAwareness"}) {
        const std::string tag = openingTag(xml, name);
        if (tag.empty())
            continue;
        const auto value = xml.find(tag) + tag.size();
        const std::string content = xml.substr(value, xml.find('<', value) - value);
        dpiSetting = dpiSetting || content.find_first_not_of(" \t\r\n") != std::string::npos;
    }
    EXPECT_TRUE(dpiSetting) << "manifest has no dpiAware or dpiAwareness value";
}

// ---------------------------------------------------------------- version

TEST_F(Executable, VersionInfoHasFixedInfoAndAProductName)
{
    const auto data = anyLanguage(Image(), pe::kVersion, 1);
    ASSERT_TRUE(data) << "version resource 1 missing or unreadable";

    pe::Cursor root(*data, 2);
    const std::uint16_t fixedSize = root.u16();
    root.skip(2);
    EXPECT_EQ(utf8(root.sz()), "VS_VERSION_INFO");
    root.align(4);
    ASSERT_EQ(fixedSize, 52) << "fixed file info missing or of the wrong size";
    EXPECT_EQ(hex(root.u32()), hex(0xFEEF04BD)) << "fixed file info signature";

    // Read as UTF-16, the ProductName entry's header gives its value's length, terminator included.
    std::u16string text;
    for (std::size_t i = 0; i + 1 < data->size(); i += 2)
        text += static_cast<char16_t>((*data)[i] | (*data)[i + 1] << 8);
    const auto key = text.find(std::u16string(u"ProductName") + u'\0');
    ASSERT_TRUE(key != std::u16string::npos && key >= 3) << "no ProductName";
    EXPECT_GT(text[key - 2], 1) << "ProductName is empty";
}

} // namespace
