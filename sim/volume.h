// An in-memory volume with Windows path rules: names compare without case,
// '/' and '\' both separate, doubled separators are accepted.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/wintypes.h"

namespace sim {

struct PendingRename {
    std::wstring source;
    std::wstring destination; // empty: delete at restart
};

struct RecycledItem {
    std::wstring originalPath; // as the caller named it
    bool directory = false;
    std::vector<std::wstring> files; // paths of the files it held, as stored
};

class Volume {
public:
    Volume();

    void CreateDirectory(const std::wstring& path);
    void WriteFile(const std::wstring& path, const std::string& content);
    bool FileExists(const std::wstring& path) const;
    bool DirectoryExists(const std::wstring& path) const;
    std::optional<std::string> ReadFile(const std::wstring& path) const;
    // Files directly in a folder, by their stored names.
    std::vector<std::wstring> ListFiles(const std::wstring& directory) const;

    // A file held open (a DLL a running service has loaded) cannot be
    // deleted or overwritten.
    void SetHeldOpen(const std::wstring& path, bool held);
    // A read-only file cannot be deleted or overwritten either (access denied).
    void SetReadOnly(const std::wstring& path);
    // Marks a folder as a reparse point (a junction or a folder link someone
    // made). The volume does not follow it: it only carries the attribute.
    void SetReparsePoint(const std::wstring& path);
    // GetFileAttributesW's view: the attributes, or INVALID_FILE_ATTRIBUTES
    // with *error set as Windows sets it.
    DWORD Attributes(const std::wstring& path, DWORD* error) const;

    // Operations with the error codes Windows gives; 0 on success.
    DWORD Copy(const std::wstring& source, const std::wstring& destination, bool failIfExists);
    DWORD Delete(const std::wstring& path);
    DWORD Move(const std::wstring& source, const std::wstring& destination, DWORD flags);

    const std::vector<PendingRename>& PendingRenames() const { return pending_; }

    // A file, or a folder with everything below it: its paths as stored, the
    // path itself first; empty when it does not exist.
    std::vector<std::wstring> ListTree(const std::wstring& path) const;
    // Moves a file or a folder with everything below it to the Recycle Bin,
    // from where Restore puts it back; 0 or the error Windows gives.
    DWORD Recycle(const std::wstring& path);
    // Removes a file or a folder with everything below it for good.
    DWORD RemoveTree(const std::wstring& path);
    std::vector<RecycledItem> RecycleBin() const;
    // Puts the latest recycled item of that original path back.
    DWORD Restore(const std::wstring& originalPath);

    static std::wstring Key(const std::wstring& path);
    static bool IsAbsolute(const std::wstring& path);

private:
    struct Entry {
        std::wstring path; // as created
        bool directory = false;
        std::string content;
        bool heldOpen = false;
        bool readOnly = false;
        bool reparsePoint = false;
    };
    void CreateParent(const std::wstring& path);
    DWORD CheckParent(const std::wstring& key) const;
    const Entry* Find(const std::wstring& path) const;
    // Takes a whole tree off the volume, unless a file in it is held open.
    DWORD TakeTree(const std::wstring& path, std::map<std::wstring, Entry>* taken);

    std::map<std::wstring, Entry> entries_;
    std::vector<PendingRename> pending_;
    struct BinItem {
        RecycledItem item;
        std::map<std::wstring, Entry> entries; // by key, for Restore
    };
    std::vector<BinItem> bin_;
};

} // namespace sim
