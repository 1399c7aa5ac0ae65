// The shell as the tool meets it: change notifications, and file operations
// with the shell's own confirmation, which the test answers. The Recycle Bin
// itself belongs to the volume.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/wintypes.h"

namespace sim {

struct ChangeNotification {
    unsigned sequence = 0; // order among all shell calls
    LONG event = 0;
    UINT flags = 0;
    std::optional<std::wstring> item1; // the paths, when the flags say SHCNF_PATHW
    std::optional<std::wstring> item2;
};

struct FileOperation {
    unsigned sequence = 0;
    HWND owner = nullptr;
    UINT function = 0;
    std::vector<std::wstring> paths; // pFrom, read up to its double NUL
    FILEOP_FLAGS flags = 0;
    bool confirmationShown = false;
    std::vector<std::wstring> foldersHeld; // by the tool, while the shell worked
    // Paths removed for good: without FOF_ALLOWUNDO, or where no Recycle Bin
    // could take them and the user let the shell delete them instead.
    std::vector<std::wstring> deletedForGood;
    int result = 0;
    BOOL anyOperationsAborted = FALSE;
};

class Shell {
public:
    // The user's answer to the shell's "move to the Recycle Bin?" (or "delete
    // for good?") confirmation.
    bool confirmDeletion = true;

    std::vector<ChangeNotification> Notifications() const;
    std::vector<FileOperation> FileOperations() const;
    // Paths that any delete removed for good.
    std::vector<std::wstring> PermanentlyDeleted() const;

    void Record(ChangeNotification notification);
    void Record(FileOperation operation);

private:
    mutable std::mutex mutex_;
    unsigned nextSequence_ = 1;
    std::vector<ChangeNotification> notifications_;
    std::vector<FileOperation> operations_;
};

} // namespace sim
