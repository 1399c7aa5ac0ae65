#include "sim/volume.h"

#include <iterator>

#include "sim/wide.h"

namespace sim {

namespace {

std::wstring ParentKey(const std::wstring& key)
{
    size_t slash = key.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : key.substr(0, slash);
}

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
}

bool Volume::IsAbsolute(const std::wstring& path)
{
    return path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

std::wstring Volume::Key(const std::wstring& path)
{
    std::wstring key;
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

void Volume::CreateDirectory(const std::wstring& path)
{
    CreateParent(path);
    Entry& entry = entries_[Key(path)];
    entry.path = path;
    entry.directory = true;
}

void Volume::WriteFile(const std::wstring& path, const std::string& content)
{
    CreateParent(path);
    Entry& entry = entries_[Key(path)];
    entry.path = path;
    entry.directory = false;
    entry.content = content;
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
    if (entry == nullptr || entry->directory) {
        return std::nullopt;
    }
    return entry->content;
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

void Volume::SetReadOnly(const std::wstring& path)
{
    auto found = entries_.find(Key(path));
    if (found != entries_.end()) {
        found->second.readOnly = true;
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

DWORD Volume::Copy(const std::wstring& source, const std::wstring& destination, bool failIfExists)
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
        if (existing->second.readOnly) {
            return ERROR_ACCESS_DENIED;
        }
    }
    std::string content = from->content;
    Entry& entry = entries_[key];
    if (entry.path.empty()) {
        entry.path = destination;
    }
    entry.directory = false;
    entry.content = std::move(content);
    return ERROR_SUCCESS;
}

DWORD Volume::Delete(const std::wstring& path)
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
    if (found->second.heldOpen || found->second.readOnly) {
        return ERROR_ACCESS_DENIED;
    }
    entries_.erase(found);
    return ERROR_SUCCESS;
}

DWORD Volume::Move(const std::wstring& source, const std::wstring& destination, DWORD flags)
{
    if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
        // Recorded for the next restart; the source need not exist now.
        if (!IsAbsolute(source)) {
            return ERROR_PATH_NOT_FOUND;
        }
        pending_.push_back({source, destination});
        return ERROR_SUCCESS;
    }
    DWORD error = Copy(source, destination, (flags & MOVEFILE_REPLACE_EXISTING) == 0);
    if (error == ERROR_FILE_EXISTS) {
        return ERROR_ALREADY_EXISTS;
    }
    return error != ERROR_SUCCESS ? error : Delete(source);
}

std::vector<std::wstring> Volume::ListTree(const std::wstring& path) const
{
    std::vector<std::wstring> paths;
    std::wstring key = Key(path);
    auto self = entries_.find(key);
    if (self == entries_.end()) {
        return paths;
    }
    paths.push_back(self->second.path);
    // Keys sort by their text: everything below a folder is one run of keys
    // that start with the folder's key and a separator.
    std::wstring prefix = key + L'\\';
    for (auto it = entries_.lower_bound(prefix);
         it != entries_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        paths.push_back(it->second.path);
    }
    return paths;
}

DWORD Volume::TakeTree(const std::wstring& path, std::map<std::wstring, Entry>* taken)
{
    if (!IsAbsolute(path)) {
        return ERROR_PATH_NOT_FOUND;
    }
    std::wstring key = Key(path);
    if (ParentKey(key).empty()) {
        return ERROR_ACCESS_DENIED; // the root of the volume
    }
    if (entries_.find(key) == entries_.end()) {
        return CheckParent(key) != ERROR_SUCCESS ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    }
    std::vector<std::wstring> keys;
    for (const std::wstring& stored : ListTree(path)) {
        keys.push_back(Key(stored));
        if (entries_.at(keys.back()).heldOpen) {
            return ERROR_SHARING_VIOLATION;
        }
    }
    for (const std::wstring& entryKey : keys) {
        auto found = entries_.find(entryKey);
        taken->emplace(entryKey, found->second);
        entries_.erase(found);
    }
    return ERROR_SUCCESS;
}

DWORD Volume::Recycle(const std::wstring& path)
{
    BinItem recycled;
    if (DWORD error = TakeTree(path, &recycled.entries)) {
        return error;
    }
    recycled.item.originalPath = path;
    recycled.item.directory = recycled.entries.at(Key(path)).directory;
    for (const auto& [entryKey, entry] : recycled.entries) {
        if (!entry.directory) {
            recycled.item.files.push_back(entry.path);
        }
    }
    bin_.push_back(std::move(recycled));
    return ERROR_SUCCESS;
}

DWORD Volume::RemoveTree(const std::wstring& path)
{
    std::map<std::wstring, Entry> removed;
    return TakeTree(path, &removed);
}

std::vector<RecycledItem> Volume::RecycleBin() const
{
    std::vector<RecycledItem> items;
    for (const BinItem& recycled : bin_) {
        items.push_back(recycled.item);
    }
    return items;
}

DWORD Volume::Restore(const std::wstring& originalPath)
{
    std::wstring key = Key(originalPath);
    for (auto it = bin_.rbegin(); it != bin_.rend(); ++it) {
        if (Key(it->item.originalPath) != key) {
            continue;
        }
        if (entries_.count(key) != 0) {
            return ERROR_ALREADY_EXISTS;
        }
        if (DWORD error = CheckParent(key)) {
            return error;
        }
        entries_.insert(it->entries.begin(), it->entries.end());
        bin_.erase(std::next(it).base());
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

} // namespace sim
