#include "sim/registry/registry.h"

#include <cstring>

#include "sim/kernel/wide.h"

namespace sim {

namespace {

std::vector<std::wstring> SplitPath(const std::wstring& path)
{
    std::vector<std::wstring> parts;
    std::wstring part;
    for (wchar_t c : path) {
        if (c == L'\\') {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) {
        parts.push_back(part);
    }
    return parts;
}

std::vector<BYTE> Bytes(const void* data, size_t size)
{
    const BYTE* begin = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(begin, begin + size);
}

bool IsString(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

DWORD TypeFlag(DWORD type)
{
    switch (type) {
    case REG_NONE:
        return RRF_RT_REG_NONE;
    case REG_SZ:
        return RRF_RT_REG_SZ;
    case REG_EXPAND_SZ:
        return RRF_RT_REG_EXPAND_SZ;
    case REG_BINARY:
        return RRF_RT_REG_BINARY;
    case REG_DWORD:
        return RRF_RT_REG_DWORD;
    case REG_MULTI_SZ:
        return RRF_RT_REG_MULTI_SZ;
    case REG_QWORD:
        return RRF_RT_REG_QWORD;
    default:
        return 0;
    }
}

// The bytes RegGetValueW hands out: string data is completed with the
// terminators it lacks (two for a multi-string), in whole characters.
std::vector<BYTE> Terminated(const std::vector<BYTE>& data, DWORD type)
{
    std::vector<BYTE> out = data;
    if (!IsString(type)) {
        return out;
    }
    out.resize((out.size() + sizeof(WCHAR) - 1) / sizeof(WCHAR) * sizeof(WCHAR), 0);
    size_t needed = type == REG_MULTI_SZ ? 2 : 1;
    size_t chars = out.size() / sizeof(WCHAR);
    size_t trailingZeros = 0;
    while (trailingZeros < chars && trailingZeros < needed) {
        WCHAR c;
        std::memcpy(&c, out.data() + (chars - 1 - trailingZeros) * sizeof(WCHAR), sizeof(WCHAR));
        if (c != 0) {
            break;
        }
        ++trailingZeros;
    }
    out.resize(out.size() + (needed - trailingZeros) * sizeof(WCHAR), 0);
    return out;
}

// The type, the size, and the bytes if the caller's buffer takes them, as
// both value reads hand them out.
LSTATUS CopyValue(DWORD valueType, const std::vector<BYTE>& bytes, LPDWORD type, LPVOID data, LPDWORD size)
{
    if (type != nullptr) {
        *type = valueType;
    }
    if (size == nullptr) {
        return ERROR_SUCCESS;
    }
    DWORD capacity = *size;
    *size = static_cast<DWORD>(bytes.size());
    if (data == nullptr) {
        return ERROR_SUCCESS;
    }
    if (bytes.size() > capacity) {
        return ERROR_MORE_DATA;
    }
    if (!bytes.empty()) { // an empty value has no storage to copy from
        std::memcpy(data, bytes.data(), bytes.size());
    }
    return ERROR_SUCCESS;
}

} // namespace

Registry::Registry() : localMachine_(std::make_unique<Key>()), currentUser_(std::make_unique<Key>())
{
    localMachine_->name = L"HKEY_LOCAL_MACHINE";
    currentUser_->name = L"HKEY_CURRENT_USER";
}

Registry::Key* Registry::Root(HKEY root) const
{
    if (root == HKEY_LOCAL_MACHINE) {
        return localMachine_.get();
    }
    if (root == HKEY_CURRENT_USER) {
        return currentUser_.get();
    }
    return nullptr;
}

Registry::Key* Registry::Find(Key* from, const std::wstring& path) const
{
    for (const std::wstring& part : SplitPath(path)) {
        if (from == nullptr) {
            return nullptr;
        }
        auto found = from->subkeys.find(FoldCase(part));
        from = found == from->subkeys.end() ? nullptr : found->second.get();
    }
    return from;
}

Registry::Key* Registry::Make(Key* from, const std::wstring& path)
{
    for (const std::wstring& part : SplitPath(path)) {
        std::unique_ptr<Key>& slot = from->subkeys[FoldCase(part)];
        if (!slot) {
            slot = std::make_unique<Key>();
            slot->name = part;
        }
        from = slot.get();
    }
    return from;
}

void Registry::CreateKey(HKEY root, const std::wstring& path)
{
    Make(Root(root), path);
}

void Registry::DeleteKey(HKEY root, const std::wstring& path)
{
    std::vector<std::wstring> parts = SplitPath(path);
    if (parts.empty()) {
        return;
    }
    std::wstring last = parts.back();
    parts.pop_back();
    std::wstring parentPath;
    for (const std::wstring& part : parts) {
        parentPath += part + L"\\";
    }
    Key* parent = Find(Root(root), parentPath);
    if (parent != nullptr) {
        parent->subkeys.erase(FoldCase(last));
    }
}

bool Registry::KeyExists(HKEY root, const std::wstring& path) const
{
    return Find(Root(root), path) != nullptr;
}

void Registry::SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
                        const std::vector<BYTE>& data)
{
    Key* key = Make(Root(root), path);
    key->values[FoldCase(name)] = Value{name, type, data};
}

void Registry::SetString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text)
{
    SetValue(root, path, name, REG_SZ, Bytes(text.c_str(), (text.size() + 1) * sizeof(WCHAR)));
}

void Registry::SetMultiString(HKEY root, const std::wstring& path, const std::wstring& name,
                              const std::vector<std::wstring>& strings)
{
    std::wstring joined;
    for (const std::wstring& s : strings) {
        joined += s;
        joined += L'\0';
    }
    joined += L'\0';
    SetValue(root, path, name, REG_MULTI_SZ, Bytes(joined.data(), joined.size() * sizeof(WCHAR)));
}

void Registry::SetDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value)
{
    SetValue(root, path, name, REG_DWORD, Bytes(&value, sizeof(value)));
}

void Registry::DeleteValue(HKEY root, const std::wstring& path, const std::wstring& name)
{
    Key* key = Find(Root(root), path);
    if (key != nullptr) {
        key->values.erase(FoldCase(name));
    }
}

Registry::Key* Registry::Resolve(HKEY key, LSTATUS* error) const
{
    if (Key* root = Root(key)) {
        return root;
    }
    auto handle = handles_.find(key);
    if (handle == handles_.end()) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    const std::vector<std::wstring>& parts = handle->second;
    Key* found = Find(parts[0] == L"HKLM" ? localMachine_.get() : currentUser_.get(), parts[1]);
    if (found == nullptr) {
        *error = 1018; // ERROR_KEY_DELETED
    }
    return found;
}

LSTATUS Registry::Open(HKEY parent, LPCWSTR subKey, HKEY* result)
{
    LSTATUS error = ERROR_SUCCESS;
    if (Resolve(parent, &error) == nullptr) {
        return error;
    }
    std::vector<std::wstring> location;
    if (Root(parent) != nullptr) {
        location = {parent == HKEY_LOCAL_MACHINE ? L"HKLM" : L"HKCU", L""};
    } else {
        location = handles_.at(parent);
    }
    std::wstring path = location[1] + L"\\" + (subKey != nullptr ? subKey : L"");
    if (Find(location[0] == L"HKLM" ? localMachine_.get() : currentUser_.get(), path) == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    HKEY handle = reinterpret_cast<HKEY>(nextHandle_);
    nextHandle_ += 4;
    handles_[handle] = {location[0], path};
    *result = handle;
    return ERROR_SUCCESS;
}

LSTATUS Registry::EnumKey(HKEY key, DWORD index, LPWSTR name, DWORD capacity)
{
    LSTATUS error = ERROR_SUCCESS;
    Key* found = Resolve(key, &error);
    if (found == nullptr) {
        return error;
    }
    if (index >= found->subkeys.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    auto entry = found->subkeys.begin();
    std::advance(entry, index);
    const std::wstring& subName = entry->second->name;
    if (subName.size() + 1 > capacity) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, subName.c_str(), (subName.size() + 1) * sizeof(WCHAR));
    return ERROR_SUCCESS;
}

const Registry::Value* Registry::FindValue(HKEY key, LPCWSTR subKey, LPCWSTR valueName, LSTATUS* error) const
{
    Key* found = Resolve(key, error);
    if (found == nullptr) {
        return nullptr;
    }
    if (subKey != nullptr && subKey[0] != 0) {
        found = Find(found, subKey);
        if (found == nullptr) {
            *error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
    }
    auto value = found->values.find(FoldCase(valueName != nullptr ? valueName : L""));
    if (value == found->values.end()) {
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    return &value->second;
}

LSTATUS Registry::GetValue(HKEY key, LPCWSTR subKey, LPCWSTR valueName, DWORD flags, LPDWORD type, PVOID data,
                           LPDWORD size)
{
    if ((flags & RRF_RT_ANY) == 0 || (data != nullptr && size == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    LSTATUS error = ERROR_SUCCESS;
    const Value* value = FindValue(key, subKey, valueName, &error);
    if (value == nullptr) {
        return error;
    }
    bool allowed = (TypeFlag(value->type) & flags) != 0;
    // A 4-byte REG_BINARY counts as a DWORD for RRF_RT_DWORD, as on Windows.
    if (!allowed && value->type == REG_BINARY && (flags & RRF_RT_REG_DWORD) && (flags & RRF_RT_REG_BINARY) &&
        value->data.size() == 4) {
        allowed = true;
    }
    if (!allowed) {
        return ERROR_UNSUPPORTED_TYPE;
    }
    return CopyValue(value->type, Terminated(value->data, value->type), type, data, size);
}

LSTATUS Registry::QueryValue(HKEY key, LPCWSTR valueName, LPDWORD type, LPBYTE data, LPDWORD size)
{
    if (data != nullptr && size == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    LSTATUS error = ERROR_SUCCESS;
    const Value* value = FindValue(key, nullptr, valueName, &error);
    if (value == nullptr) {
        return error;
    }
    // Raw bytes: a string stored without terminator comes back without one.
    return CopyValue(value->type, value->data, type, data, size);
}

LSTATUS Registry::Close(HKEY key)
{
    if (Root(key) != nullptr) {
        return ERROR_SUCCESS;
    }
    return handles_.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // namespace sim
