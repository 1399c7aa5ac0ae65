// What of the driver folder may go to the Recycle Bin. The folder comes from
// the command line of an elevated process, so it is judged by where it really
// is, not by how it is written.
#pragma once

#include <cstddef>

#include "common/wintypes.h"

enum FolderVerdict {
    FOLDER_REFUSED = 0,     // nothing of it: no Recycle Bin can take it, or it is the system's
    FOLDER_LAYOUT_ONLY = 1, // only the driver's own files: the folder holds more than the driver
    FOLDER_WHOLE = 2,
};

// A plain absolute path on a drive letter, written the one way: separators
// single, no trailing backslash (a drive root keeps its own). FALSE for
// anything else: network and device paths, relative paths, wildcards, quotes,
// forward slashes, "." and ".." components, names ending in a dot or blank,
// and names with a tilde, which may be the short name of another folder.
BOOL NormaliseFolderPath(const WCHAR* path, WCHAR* normal, size_t capacity);
// Judges a normalised folder; *reason says why it is not taken whole.
FolderVerdict JudgeDriverFolder(const WCHAR* folder, const WCHAR** reason);
