// Whole folders taken from the volume: into the Recycle Bin and back, or for good.
#include "sim/kernel/volume.h"

#include <algorithm>
#include <iterator>

#include "sim/kernel/wide.h"

namespace sim {

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
