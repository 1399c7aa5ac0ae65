// An in-memory volume with Windows path rules: names compare without case,
// '/' and '\' both separate, doubled separators are accepted.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/wintypes.h"
#include "sim/kernel/security.h"

namespace sim {

struct PendingRename {
    std::wstring source;
    std::wstring destination; // empty: delete at restart
    DWORD flags = MOVEFILE_DELAY_UNTIL_REBOOT;
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
    void SetReadOnly(const std::wstring& path, bool readOnly = true);
    // Marks a folder as a reparse point (a junction or a folder link someone
    // made). The volume does not follow it: it only carries the attribute.
    void SetReparsePoint(const std::wstring& path);
    // A file link someone planted: a reparse point that opening follows to
    // target unless the caller asks for the link itself.
    void PlantSymbolicLink(const std::wstring& path, const std::wstring& target);
    // A second name for an existing file: reading or appending through either
    // reaches the same content, and the file counts two links.
    void PlantHardLink(const std::wstring& path, const std::wstring& existing);
    // GetFileAttributesW's view: the attributes, or INVALID_FILE_ATTRIBUTES
    // with *error set as Windows sets it.
    DWORD Attributes(const std::wstring& path, DWORD* error) const;

    // Who may do what: every object carries a descriptor; what the machine
    // itself (or a test) creates inherits its parent's, owned by Administrators.
    void SetSecurity(const std::wstring& path, const SecurityDescriptor& security);
    std::optional<SecurityDescriptor> Security(const std::wstring& path) const;
    // Folders directly in a folder, by their stored names.
    std::vector<std::wstring> ListFolders(const std::wstring& directory) const;

    // Operations with the error codes Windows gives; 0 on success. With a
    // token, its access is checked as Windows checks it; without one the
    // machine itself acts.
    DWORD Copy(const std::wstring& source, const std::wstring& destination, bool failIfExists,
               const Token* who = nullptr);
    DWORD Delete(const std::wstring& path, const Token* who = nullptr);
    // A rename keeps what it renames, its descriptor included; a folder goes with everything in it.
    DWORD Move(const std::wstring& source, const std::wstring& destination, DWORD flags, const Token* who = nullptr);
    // CreateDirectoryW: never over anything that exists, a link included.
    DWORD MakeDirectory(const std::wstring& path, const SecurityDescriptor* own, const Token* who);
    DWORD RemoveDirectory(const std::wstring& path, const Token* who);
    // Creates an empty file that must not exist yet.
    DWORD CreateNewFile(const std::wstring& path, const Token* who);
    // Every file and folder has an identity that stays with it through
    // renames, as a handle does: what a handle is open on.
    typedef uint64_t FileId;
    // CreateFileW with OPEN_ALWAYS for appending: the file opened (a link's
    // target unless openLink), created empty if it was missing.
    DWORD OpenForAppend(const std::wstring& path, bool openLink, const Token* who, FileId* id);
    // The identity of what a path names now, or 0.
    FileId IdOf(const std::wstring& path) const;
    // Appends to the file; one deleted since takes the bytes with it.
    void Append(FileId id, const std::string& bytes);
    struct FileFacts {
        DWORD attributes = 0;
        uint64_t size = 0;
        DWORD links = 1;
        std::wstring finalPath; // as GetFinalPathNameByHandleW spells it, "\\?\C:\..."
    };
    // What a handle on the file learns of it; nullopt when it is gone.
    std::optional<FileFacts> Facts(FileId id) const;

    const std::vector<PendingRename>& PendingRenames() const { return pending_; }
    // What a restart does before anything runs: every file and folder is
    // closed, then the pending renames happen in order, as Windows does them:
    // a deletion deletes a file or an empty folder; a move needs its source
    // as it is now, the same drive, and MOVEFILE_REPLACE_EXISTING to replace
    // a file that is there.
    void Restart();

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

    // The key of the folder that holds the keyed path; empty for a root.
    static std::wstring ParentKey(const std::wstring& key);
    static bool IsAbsolute(const std::wstring& path);

private:
    struct Entry {
        std::wstring path; // as created
        bool directory = false;
        std::string content;
        bool heldOpen = false;
        bool readOnly = false;
        bool reparsePoint = false;
        FileId id = 0;
        std::wstring linkTarget; // a planted file link: where opening leads
        FileId sameFileAs = 0;   // a hard link: the file that holds the content
        SecurityDescriptor security;
    };
    void CreateParent(const std::wstring& path);
    DWORD CheckParent(const std::wstring& key) const;
    Entry& NewEntry(const std::wstring& path, bool directory, const std::wstring& owner,
                    const SecurityDescriptor* own = nullptr);
    bool Allowed(const std::wstring& key, DWORD rights, const Token* who) const;
    bool MayDelete(const std::wstring& key, const Token* who) const;
    void Rekey(const std::wstring& fromKey, const std::wstring& toKey, const std::wstring& toPath);
    const Entry* Find(const std::wstring& path) const;
    // The entry of an identity, and the one that holds its content (through a hard link).
    const Entry* EntryOf(FileId id, std::wstring* key = nullptr) const;
    Entry* ContentOf(FileId id);
    // Takes a whole tree off the volume, unless a file in it is held open.
    DWORD TakeTree(const std::wstring& path, std::map<std::wstring, Entry>* taken);

    std::map<std::wstring, Entry> entries_;
    FileId nextId_ = 1;
    std::vector<PendingRename> pending_;
    struct BinItem {
        RecycledItem item;
        std::map<std::wstring, Entry> entries; // by key, for Restore
    };
    std::vector<BinItem> bin_;
};

} // namespace sim
