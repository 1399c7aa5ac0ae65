// The registry of the simulated machine: keys with case-insensitive names,
// typed values stored as raw bytes, and handles with Windows' read contracts.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/wintypes.h"

namespace sim {

class Registry {
public:
    Registry();

    // ---- Staging by tests (paths below a predefined root such as HKEY_LOCAL_MACHINE) ----
    void CreateKey(HKEY root, const std::wstring& path);
    void DeleteKey(HKEY root, const std::wstring& path);
    bool KeyExists(HKEY root, const std::wstring& path) const;
    void SetValue(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
                  const std::vector<BYTE>& data);
    // A REG_SZ with its terminator.
    void SetString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text);
    // A REG_MULTI_SZ: each string terminated, then one more terminator.
    void SetMultiString(HKEY root, const std::wstring& path, const std::wstring& name,
                        const std::vector<std::wstring>& strings);
    void SetDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value);
    void DeleteValue(HKEY root, const std::wstring& path, const std::wstring& name);

    // ---- The operations, with Windows' results ----
    LSTATUS Open(HKEY parent, LPCWSTR subKey, HKEY* result);
    LSTATUS EnumKey(HKEY key, DWORD index, LPWSTR name, DWORD capacity);
    LSTATUS GetValue(HKEY key, LPCWSTR subKey, LPCWSTR valueName, DWORD flags, LPDWORD type, PVOID data, LPDWORD size);
    LSTATUS QueryValue(HKEY key, LPCWSTR valueName, LPDWORD type, LPBYTE data, LPDWORD size);
    LSTATUS Close(HKEY key);
    size_t OpenHandles() const { return handles_.size(); }

private:
    struct Value {
        std::wstring name;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };
    struct Key {
        std::wstring name;
        std::map<std::wstring, std::unique_ptr<Key>> subkeys; // by folded name, so in Windows' order
        std::map<std::wstring, Value> values;                 // by folded name
    };

    Key* Root(HKEY root) const;
    Key* Find(Key* from, const std::wstring& path) const;
    Key* Make(Key* from, const std::wstring& path);
    // The key behind a handle or predefined root; null for an unknown or deleted one.
    Key* Resolve(HKEY key, LSTATUS* error) const;
    const Value* FindValue(HKEY key, LPCWSTR subKey, LPCWSTR valueName, LSTATUS* error) const;

    std::unique_ptr<Key> localMachine_;
    std::unique_ptr<Key> currentUser_;
    std::map<HKEY, std::vector<std::wstring>> handles_; // handle -> root name and path parts
    uintptr_t nextHandle_ = 0x7000;
};

} // namespace sim
