#include "sim/kernel/volume.h"

#include <algorithm>
#include <iterator>

#include "sim/kernel/wide.h"

namespace sim {

namespace {

// The folder part of a path as written, without trailing separators.
std::wstring ParentPath(const std::wstring& path)
{
    size_t last = path.find_last_not_of(L"\\/");
    if (last == std::wstring::npos) {
        return std::wstring();
    }
    size_t slash = path.find_last_of(L"\\/", last);
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

} // namespace

Volume::Volume()
{
    CreateDirectory(L"C:\\");
    // The root as Windows sets it up: whoever signs in may make folders there
    // and change what those hold.
    SetSecurity(L"C:\\", *ParseSddl(L"O:SYD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
                                    L"(A;;0x4;;;AU)(A;OICIIO;0x1301bf;;;AU)"));
}

std::wstring Volume::ParentKey(const std::wstring& key)
{
    size_t slash = key.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : key.substr(0, slash);
}

bool Volume::IsAbsolute(const std::wstring& path)
{
    return path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

std::wstring Volume::Key(const std::wstring& path)
{
    std::wstring key;
    key.reserve(path.size());
    for (wchar_t c : FoldCase(path)) {
        if (c == L'/') {
            c = L'\\';
        }
        if (c == L'\\' && !key.empty() && key.back() == L'\\') {
            continue;
        }
        key += c;
    }
    while (key.size() > 2 && key.back() == L'\\') {
        key.pop_back();
    }
    if (key.find(L"\\.") == std::wstring::npos && key.compare(0, 1, L".") != 0) {
        return key; // no "." or ".." component: nothing to resolve
    }
    // "." and ".." components resolve as Windows resolves them; ".." stops at the root.
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= key.size()) {
        size_t end = key.find(L'\\', start);
        end = end == std::wstring::npos ? key.size() : end;
        const std::wstring part = key.substr(start, end - start);
        if (part == L"..") {
            if (parts.size() > 1) {
                parts.pop_back();
            }
        } else if (part != L"." || parts.empty()) {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::wstring resolved;
    for (const std::wstring& part : parts) {
        resolved += (resolved.empty() ? L"" : L"\\") + part;
    }
    return resolved;
}

void Volume::CreateParent(const std::wstring& path)
{
    if (!ParentKey(Key(path)).empty() && !DirectoryExists(ParentPath(path))) {
        CreateDirectory(ParentPath(path));
    }
}

Volume::Entry& Volume::NewEntry(const std::wstring& path, bool directory, const std::wstring& owner,
                                const SecurityDescriptor* own)
{
    const std::wstring key = Key(path);
    auto parent = entries_.find(ParentKey(key));
    Entry& entry = entries_[key];
    entry = Entry();
    entry.id = nextId_++;
    entry.path = path;
    entry.directory = directory;
    entry.security =
        Inherit(parent != entries_.end() ? parent->second.security : SecurityDescriptor(), directory, owner, own);
    return entry;
}

void Volume::CreateDirectory(const std::wstring& path)
{
    CreateParent(path);
    auto found = entries_.find(Key(path));
    if (found == entries_.end()) {
        NewEntry(path, true, L"BA");
    } else {
        found->second.directory = true;
    }
}

void Volume::WriteFile(const std::wstring& path, const std::string& content)
{
    CreateParent(path);
    auto found = entries_.find(Key(path));
    Entry& entry = found == entries_.end() || found->second.directory ? NewEntry(path, false, L"BA") : found->second;
    entry.content = content;
}

void Volume::SetSecurity(const std::wstring& path, const SecurityDescriptor& security)
{
    auto found = entries_.find(Key(path));
    if (found != entries_.end()) {
        found->second.security = security;
    }
}

std::optional<SecurityDescriptor> Volume::Security(const std::wstring& path) const
{
    const Entry* entry = Find(path);
    return entry != nullptr ? std::optional<SecurityDescriptor>(entry->security) : std::nullopt;
}

bool Volume::Allowed(const std::wstring& key, DWORD rights, const Token* who) const
{
    if (who == nullptr) {
        return true;
    }
    auto found = entries_.find(key);
    return found != entries_.end() && (GrantedAccess(found->second.security, *who) & rights) == rights;
}

bool Volume::MayDelete(const std::wstring& key, const Token* who) const
{
    return Allowed(key, DELETE, who) || Allowed(ParentKey(key), FILE_DELETE_CHILD, who);
}

const Volume::Entry* Volume::Find(const std::wstring& path) const
{
    auto found = entries_.find(Key(path));
    return found == entries_.end() ? nullptr : &found->second;
}

bool Volume::FileExists(const std::wstring& path) const
{
    const Entry* entry = Find(path);
    return entry != nullptr && !entry->directory;
}

bool Volume::DirectoryExists(const std::wstring& path) const
{
    const Entry* entry = Find(path);
    return entry != nullptr && entry->directory;
}

std::optional<std::string> Volume::ReadFile(const std::wstring& path) const
{
    const Entry* entry = Find(path);
    if (entry != nullptr && entry->sameFileAs != 0) {
        entry = EntryOf(entry->sameFileAs);
    }
    if (entry == nullptr || entry->directory) {
        return std::nullopt;
    }
    return entry->content;
}

void Volume::PlantSymbolicLink(const std::wstring& path, const std::wstring& target)
{
    CreateParent(path);
    Entry& entry = NewEntry(path, false, L"BA");
    entry.reparsePoint = true;
    entry.linkTarget = target;
}

void Volume::PlantHardLink(const std::wstring& path, const std::wstring& existing)
{
    CreateParent(path);
    auto found = entries_.find(Key(existing));
    NewEntry(path, false, L"BA").sameFileAs = found != entries_.end() ? found->second.id : 0;
}

const Volume::Entry* Volume::EntryOf(FileId id, std::wstring* key) const
{
    for (const auto& entry : entries_) {
        if (entry.second.id == id) {
            if (key != nullptr) {
                *key = entry.first;
            }
            return &entry.second;
        }
    }
    return nullptr;
}

Volume::Entry* Volume::ContentOf(FileId id)
{
    const Entry* entry = EntryOf(id);
    if (entry != nullptr && entry->sameFileAs != 0) {
        entry = EntryOf(entry->sameFileAs);
    }
    return const_cast<Entry*>(entry);
}

Volume::FileId Volume::IdOf(const std::wstring& path) const
{
    const Entry* entry = Find(path);
    return entry != nullptr ? entry->id : 0;
}

DWORD Volume::OpenForAppend(const std::wstring& path, bool openLink, const Token* who, FileId* id)
{
    if (!IsAbsolute(path)) {
        return ERROR_PATH_NOT_FOUND;
    }
    std::wstring opened = path;
    std::wstring key = Key(path);
    auto found = entries_.find(key);
    if (found != entries_.end() && !found->second.linkTarget.empty() && !openLink) {
        // Windows follows the link, and creates its target if that is missing.
        opened = found->second.linkTarget;
        key = Key(opened);
        found = entries_.find(key);
    }
    if (found == entries_.end()) {
        if (DWORD error = CheckParent(key)) {
            return error;
        }
        if (!Allowed(ParentKey(key), FILE_ADD_FILE, who)) {
            return ERROR_ACCESS_DENIED;
        }
        *id = NewEntry(opened, false, who != nullptr ? who->DefaultOwner() : L"BA").id;
        return ERROR_SUCCESS;
    }
    if (found->second.directory || found->second.readOnly || !Allowed(key, FILE_APPEND_DATA, who)) {
        return ERROR_ACCESS_DENIED;
    }
    *id = found->second.id;
    return found->second.heldOpen ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
}

void Volume::Append(FileId id, const std::string& bytes)
{
    if (Entry* entry = ContentOf(id)) {
        entry->content += bytes;
    }
}

std::optional<Volume::FileFacts> Volume::Facts(FileId id) const
{
    std::wstring key;
    const Entry* entry = EntryOf(id, &key);
    if (entry == nullptr) {
        return std::nullopt;
    }
    FileFacts facts;
    DWORD error = ERROR_SUCCESS;
    facts.attributes = Attributes(entry->path, &error);
    const FileId content = entry->sameFileAs != 0 ? entry->sameFileAs : id;
    const Entry* holder = EntryOf(content);
    facts.size = holder != nullptr ? holder->content.size() : 0;
    for (const auto& other : entries_) {
        facts.links += other.second.sameFileAs == content ? 1 : 0;
    }
    // Each name as it is stored, from the root down.
    std::wstring final;
    for (std::wstring prefix = key; !prefix.empty(); prefix = ParentKey(prefix)) {
        auto part = entries_.find(prefix);
        std::wstring name = part != entries_.end() ? part->second.path : prefix;
        while (name.size() > 3 && (name.back() == L'\\' || name.back() == L'/')) {
            name.pop_back();
        }
        const size_t slash = name.find_last_of(L"\\/");
        name = ParentKey(prefix).empty() || slash == std::wstring::npos ? name : name.substr(slash + 1);
        final = final.empty() ? name : (name.back() == L'\\' ? name : name + L"\\") + final;
    }
    facts.finalPath = L"\\\\?\\" + final;
    return facts;
}

std::vector<std::wstring> Volume::ListFiles(const std::wstring& directory) const
{
    std::vector<std::wstring> files;
    std::wstring key = Key(directory);
    for (const auto& [entryKey, entry] : entries_) {
        if (!entry.directory && ParentKey(entryKey) == key) {
            files.push_back(entry.path);
        }
    }
    return files;
}

std::vector<std::wstring> Volume::ListFolders(const std::wstring& directory) const
{
    std::vector<std::wstring> folders;
    std::wstring key = Key(directory);
    for (const auto& [entryKey, entry] : entries_) {
        if (entry.directory && entryKey != key && ParentKey(entryKey) == key) {
            folders.push_back(entry.path);
        }
    }
    return folders;
}

void Volume::SetReadOnly(const std::wstring& path, bool readOnly)
{
    auto found = entries_.find(Key(path));
    if (found != entries_.end()) {
        found->second.readOnly = readOnly;
    }
}

void Volume::SetReparsePoint(const std::wstring& path)
{
    auto found = entries_.find(Key(path));
    if (found != entries_.end() && found->second.directory) {
        found->second.reparsePoint = true;
    }
}

DWORD Volume::Attributes(const std::wstring& path, DWORD* error) const
{
    const Entry* entry = Find(path);
    if (entry == nullptr) {
        *error = CheckParent(Key(path)) != ERROR_SUCCESS ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = entry->directory ? FILE_ATTRIBUTE_DIRECTORY : 0;
    attributes |= entry->readOnly ? FILE_ATTRIBUTE_READONLY : 0;
    attributes |= entry->reparsePoint ? FILE_ATTRIBUTE_REPARSE_POINT : 0;
    return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

void Volume::SetHeldOpen(const std::wstring& path, bool held)
{
    auto found = entries_.find(Key(path));
    if (found != entries_.end()) {
        found->second.heldOpen = held;
    }
}

DWORD Volume::CheckParent(const std::wstring& key) const
{
    std::wstring parent = ParentKey(key);
    auto found = entries_.find(parent);
    if (parent.empty() || found == entries_.end() || !found->second.directory) {
        return ERROR_PATH_NOT_FOUND;
    }
    return ERROR_SUCCESS;
}

DWORD Volume::Copy(const std::wstring& source, const std::wstring& destination, bool failIfExists, const Token* who)
{
    if (!IsAbsolute(source) || !IsAbsolute(destination)) {
        return ERROR_PATH_NOT_FOUND;
    }
    const Entry* from = Find(source);
    if (from == nullptr) {
        return CheckParent(Key(source)) != ERROR_SUCCESS ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    }
    if (from->directory) {
        return ERROR_ACCESS_DENIED;
    }
    std::wstring key = Key(destination);
    if (DWORD error = CheckParent(key)) {
        return error;
    }
    auto existing = entries_.find(key);
    if (existing != entries_.end()) {
        if (existing->second.directory) {
            return ERROR_ACCESS_DENIED;
        }
        if (failIfExists) {
            return ERROR_FILE_EXISTS;
        }
        if (existing->second.heldOpen) {
            return ERROR_SHARING_VIOLATION;
        }
        if (existing->second.readOnly || !Allowed(key, FILE_WRITE_DATA, who)) {
            return ERROR_ACCESS_DENIED;
        }
    } else if (!Allowed(ParentKey(key), FILE_ADD_FILE, who)) {
        return ERROR_ACCESS_DENIED;
    }
    std::string content = from->content;
    Entry& entry =
        existing != entries_.end() ? existing->second : NewEntry(destination, false, who ? who->DefaultOwner() : L"BA");
    entry.content = std::move(content);
    return ERROR_SUCCESS;
}

DWORD Volume::Delete(const std::wstring& path, const Token* who)
{
    if (!IsAbsolute(path)) {
        return ERROR_PATH_NOT_FOUND;
    }
    std::wstring key = Key(path);
    auto found = entries_.find(key);
    if (found == entries_.end()) {
        return CheckParent(key) != ERROR_SUCCESS ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    }
    if (found->second.directory) {
        return ERROR_ACCESS_DENIED;
    }
    if (found->second.heldOpen || found->second.readOnly || !MayDelete(key, who)) {
        return ERROR_ACCESS_DENIED;
    }
    entries_.erase(found);
    return ERROR_SUCCESS;
}

DWORD Volume::Move(const std::wstring& source, const std::wstring& destination, DWORD flags, const Token* who)
{
    if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        // Recorded for the next restart, in a list only administrators may
        // write; the source need not exist now.
        if (who != nullptr && !who->elevated) {
            return ERROR_ACCESS_DENIED;
        }
        if (!IsAbsolute(source)) {
            return ERROR_PATH_NOT_FOUND;
        }
        pending_.push_back({source, destination, flags});
        return ERROR_SUCCESS;
    }
    if (!IsAbsolute(source) || !IsAbsolute(destination)) {
        return ERROR_PATH_NOT_FOUND;
    }
    const std::wstring key = Key(source);
    const std::wstring toKey = Key(destination);
    auto found = entries_.find(key);
    if (found == entries_.end()) {
        return CheckParent(key) != ERROR_SUCCESS ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    }
    if (toKey[0] != key[0]) {
        if (found->second.directory || (flags & MOVEFILE_COPY_ALLOWED) == 0) {
            return ERROR_NOT_SAME_DEVICE;
        }
        DWORD error = Copy(source, destination, (flags & MOVEFILE_REPLACE_EXISTING) == 0, who);
        return error == ERROR_FILE_EXISTS ? ERROR_ALREADY_EXISTS : error != ERROR_SUCCESS ? error : Delete(source, who);
    }
    if (toKey == key) {
        return ERROR_SUCCESS;
    }
    if (DWORD error = CheckParent(toKey)) {
        return error;
    }
    if (toKey.compare(0, key.size() + 1, key + L"\\") == 0 || ParentKey(key).empty()) {
        return ERROR_ACCESS_DENIED;
    }
    for (const std::wstring& stored : ListTree(source)) {
        if (entries_.at(Key(stored)).heldOpen) {
            return ERROR_SHARING_VIOLATION;
        }
    }
    const bool directory = found->second.directory;
    if (!MayDelete(key, who) || !Allowed(ParentKey(toKey), directory ? FILE_ADD_SUBDIRECTORY : FILE_ADD_FILE, who)) {
        return ERROR_ACCESS_DENIED;
    }
    auto existing = entries_.find(toKey);
    if (existing != entries_.end()) {
        if ((flags & MOVEFILE_REPLACE_EXISTING) == 0 || existing->second.directory || directory) {
            return ERROR_ALREADY_EXISTS;
        }
        if (existing->second.heldOpen || existing->second.readOnly || !MayDelete(toKey, who)) {
            return ERROR_ACCESS_DENIED;
        }
        entries_.erase(existing);
    }
    Rekey(key, toKey, destination);
    return ERROR_SUCCESS;
}

void Volume::Rekey(const std::wstring& fromKey, const std::wstring& toKey, const std::wstring& toPath)
{
    std::map<std::wstring, Entry> moved;
    const std::wstring prefix = fromKey + L'\\';
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->first == fromKey || it->first.compare(0, prefix.size(), prefix) == 0) {
            Entry entry = it->second;
            const std::wstring rest = it->first.substr(fromKey.size());
            // The names below keep how they were written: the last components of the stored path.
            std::wstring stored = toPath;
            if (!rest.empty()) {
                size_t depth = static_cast<size_t>(std::count(rest.begin(), rest.end(), L'\\'));
                std::wstring tail;
                std::wstring path = entry.path;
                while (depth-- > 0) {
                    size_t last = path.find_last_not_of(L"\\/");
                    size_t slash = path.find_last_of(L"\\/", last);
                    tail = L"\\" + path.substr(slash + 1, last - slash) + tail;
                    path = path.substr(0, slash);
                }
                stored = toPath + tail;
            }
            entry.path = stored;
            moved.emplace(toKey + rest, entry);
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
    entries_.insert(moved.begin(), moved.end());
}

DWORD Volume::MakeDirectory(const std::wstring& path, const SecurityDescriptor* own, const Token* who)
{
    if (!IsAbsolute(path)) {
        return ERROR_PATH_NOT_FOUND;
    }
    const std::wstring key = Key(path);
    if (entries_.count(key) != 0) {
        return ERROR_ALREADY_EXISTS;
    }
    if (DWORD error = CheckParent(key)) {
        return error;
    }
    if (!Allowed(ParentKey(key), FILE_ADD_SUBDIRECTORY, who)) {
        return ERROR_ACCESS_DENIED;
    }
    // Only the owner's own groups may be named as the owner.
    if (own != nullptr && who != nullptr && !own->owner.empty() && !who->Has(own->owner)) {
        return ERROR_INVALID_OWNER;
    }
    NewEntry(path, true, who != nullptr ? who->DefaultOwner() : L"BA", own);
    return ERROR_SUCCESS;
}

DWORD Volume::RemoveDirectory(const std::wstring& path, const Token* who)
{
    if (!IsAbsolute(path)) {
        return ERROR_PATH_NOT_FOUND;
    }
    const std::wstring key = Key(path);
    auto found = entries_.find(key);
    if (found == entries_.end()) {
        return CheckParent(key) != ERROR_SUCCESS ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    }
    if (!found->second.directory) {
        return ERROR_DIRECTORY;
    }
    if (ListTree(path).size() > 1) {
        return ERROR_DIR_NOT_EMPTY;
    }
    if (found->second.heldOpen) {
        return ERROR_SHARING_VIOLATION;
    }
    if (ParentKey(key).empty() || !MayDelete(key, who)) {
        return ERROR_ACCESS_DENIED;
    }
    entries_.erase(found);
    return ERROR_SUCCESS;
}

DWORD Volume::CreateNewFile(const std::wstring& path, const Token* who)
{
    if (!IsAbsolute(path)) {
        return ERROR_PATH_NOT_FOUND;
    }
    const std::wstring key = Key(path);
    if (entries_.count(key) != 0) {
        return ERROR_FILE_EXISTS;
    }
    if (DWORD error = CheckParent(key)) {
        return error;
    }
    if (!Allowed(ParentKey(key), FILE_ADD_FILE, who)) {
        return ERROR_ACCESS_DENIED;
    }
    NewEntry(path, false, who != nullptr ? who->DefaultOwner() : L"BA");
    return ERROR_SUCCESS;
}

void Volume::Restart()
{
    for (auto& entry : entries_) {
        entry.second.heldOpen = false;
    }
    for (const PendingRename& rename : pending_) {
        const std::wstring key = Key(rename.source);
        auto found = entries_.find(key);
        if (found == entries_.end()) {
            continue;
        }
        if (rename.destination.empty()) {
            if (!found->second.directory || ListTree(rename.source).size() == 1) {
                entries_.erase(found);
            }
            continue;
        }
        const std::wstring toKey = Key(rename.destination);
        if (toKey.empty() || toKey[0] != key[0] || CheckParent(toKey) != ERROR_SUCCESS) {
            continue;
        }
        auto existing = entries_.find(toKey);
        if (existing != entries_.end()) {
            if ((rename.flags & MOVEFILE_REPLACE_EXISTING) == 0 || existing->second.directory ||
                existing->second.readOnly) {
                continue;
            }
            entries_.erase(existing);
        }
        Rekey(key, toKey, rename.destination);
    }
    pending_.clear();
}

} // namespace sim
