// Attributes, drive types and the folders the system names: what the
// uninstall weighs before it sends a folder to the Recycle Bin.
#include <string>
#include <utility>

#include "tests/contract/contract_host.h"

namespace {

using FolderContract = ContractTest;

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

TEST_F(FolderContract, AttributesTellFilesFromFoldersAndAMissingFileFromAMissingFolder)
{
    const std::wstring missing = ScratchFolder() + L"\\qxvprtv6.inf";
    EXPECT_EQ(Os().GetFileAttributesW(missing.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    const std::wstring inMissingFolder = ScratchFolder() + L"\\dat\\qxvprtdrv6.dat";
    EXPECT_EQ(Os().GetFileAttributesW(inMissingFolder.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(LastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    HostWriteFile(missing, "[Version]");
    const DWORD file = Os().GetFileAttributesW(missing.c_str());
    ASSERT_NE(file, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(file & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT), 0u) << "attributes " << file;

    const DWORD folder = Os().GetFileAttributesW(ScratchFolder().c_str());
    ASSERT_NE(folder, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(folder & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY))
        << "a plain folder, no link";
    const DWORD root = Os().GetFileAttributesW(L"C:\\");
    ASSERT_NE(root, INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(root & FILE_ATTRIBUTE_DIRECTORY, 0u) << "a drive root is a folder";
}

TEST_F(FolderContract, TheSystemDriveIsFixedAndALetterWithoutDriveHasNoRoot)
{
    EXPECT_EQ(Os().GetDriveTypeW(L"C:\\"), static_cast<UINT>(DRIVE_FIXED));
    const wchar_t unused = HostUnusedDriveLetter();
    ASSERT_NE(unused, 0) << "every drive letter is in use";
    const WCHAR root[] = {unused, L':', L'\\', 0};
    EXPECT_EQ(Os().GetDriveTypeW(root), static_cast<UINT>(DRIVE_NO_ROOT_DIR)) << Narrow(root);
}

// S_OK and the folder's path, or the failure; the block is freed as the tool frees it.
HRESULT KnownFolder(const KNOWNFOLDERID& id, std::wstring* folder)
{
    PWSTR path = nullptr;
    const HRESULT result = Os().SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path);
    *folder = path != nullptr ? path : L"";
    Os().CoTaskMemFree(path);
    return result;
}

TEST_F(FolderContract, KnownFoldersAreAbsolutePathsOfExistingFolders)
{
    const KNOWNFOLDERID* const ids[] = {&FOLDERID_Profile, &FOLDERID_Windows, &FOLDERID_ProgramFiles};
    for (const KNOWNFOLDERID* id : ids) {
        std::wstring folder;
        ASSERT_EQ(KnownFolder(*id, &folder), S_OK);
        ASSERT_GT(folder.size(), 3u);
        EXPECT_EQ(folder.substr(1, 2), L":\\") << Narrow(folder);
        EXPECT_NE(folder.back(), L'\\') << Narrow(folder);
        const DWORD attributes = Os().GetFileAttributesW(folder.c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            << Narrow(folder);
    }
    // The guard finds the Windows folder above the system directory; both must agree.
    std::wstring windows;
    ASSERT_EQ(KnownFolder(FOLDERID_Windows, &windows), S_OK);
    WCHAR system[MAX_PATH] = {0};
    ASSERT_GT(Os().GetSystemDirectoryW(system, MAX_PATH), 0u);
    EXPECT_EQ(Lower(windows + L"\\system32"), Lower(system));
}

TEST_F(FolderContract, AnUnknownFolderFailsWithoutAPath)
{
    const KNOWNFOLDERID unknown = {0x5a1e0c3d, 0x7f24, 0x4b8e, {0x9c, 0x11, 0x2d, 0x6e, 0x8a, 0x40, 0xb3, 0x77}};
    WCHAR stale[] = L"stale";
    PWSTR path = stale;
    const HRESULT result = Os().SHGetKnownFolderPath(unknown, KF_FLAG_DEFAULT, nullptr, &path);
    EXPECT_TRUE(FAILED(result));
    ASSERT_EQ(path, nullptr) << "the result is cleared, so freeing it is harmless";
    Os().CoTaskMemFree(path);
}

// A protected folder that cannot be read makes the guard keep every folder
// whole, so a folder a machine lacks must come back as one of these three.
TEST_F(FolderContract, EveryProtectedFolderIsFoundOrNotDefined)
{
#define KNOWN(name) std::make_pair(&FOLDERID_##name, #name)
    const std::pair<const KNOWNFOLDERID*, const char*> folders[] = {
        KNOWN(Windows),         KNOWN(UserProfiles), KNOWN(Profile),         KNOWN(Desktop),
        KNOWN(Documents),       KNOWN(Downloads),    KNOWN(Music),           KNOWN(Pictures),
        KNOWN(Videos),          KNOWN(Public),       KNOWN(PublicDesktop),   KNOWN(PublicDocuments),
        KNOWN(PublicDownloads), KNOWN(ProgramFiles), KNOWN(ProgramFilesX86), KNOWN(ProgramData)};
#undef KNOWN
    for (const auto& [id, name] : folders) {
        std::wstring folder;
        const HRESULT result = KnownFolder(*id, &folder);
        EXPECT_TRUE(result == S_OK || result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
                    result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) || result == E_INVALIDARG)
            << name << ": 0x" << std::hex << static_cast<unsigned long>(result);
        EXPECT_EQ(result == S_OK, !folder.empty()) << name;
    }
}

} // namespace
