// Splitting a module path into drive, folder, name and extension.
#include <string>

#include "common/path.h"
#include "tests/support/sim_test.h"

namespace {

struct Parts {
    std::wstring drive, directory, name, extension;
    bool ok;
};

Parts Split(const std::wstring& path)
{
    WCHAR drive[3], directory[256], name[MAX_PATH], extension[256];
    BOOL ok = SplitPath(path.c_str(), drive, 3, directory, 256, name, MAX_PATH, extension, 256);
    return {drive, directory, name, extension, ok != FALSE};
}

TEST(SplitPath, SplitsAModulePathAtTheLastDotOfTheName)
{
    Parts p = Split(L"C:\\Program Files\\PX Driver\\unins000.exe");
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.drive, L"C:");
    EXPECT_EQ(p.directory, L"\\Program Files\\PX Driver\\");
    EXPECT_EQ(p.name, L"unins000");
    EXPECT_EQ(p.extension, L".exe");

    // The last dot of the name only.
    p = Split(L"D:\\v1.2/setup.tar.exe");
    EXPECT_EQ(p.directory, L"\\v1.2/") << "either slash separates";
    EXPECT_EQ(p.name, L"setup.tar");
    EXPECT_EQ(p.extension, L".exe");

    Parts bare = Split(L"D:\\v1.2\\unins000");
    EXPECT_EQ(bare.name, L"unins000");
    EXPECT_EQ(bare.extension, L"");
}

TEST(SplitPath, EmptiesEveryPartWhenOneDoesNotFit)
{
    std::wstring longFolder = L"C:\\" + std::wstring(254, L'd') + L"\\tool.exe";
    Parts p = Split(longFolder);
    EXPECT_FALSE(p.ok) << "a folder of 256 characters leaves no room for its terminator";
    EXPECT_EQ(p.drive + p.directory + p.name + p.extension, L"");
}

} // namespace
