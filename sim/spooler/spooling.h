// What the simulated spooler's files share: small path and text helpers.
#pragma once

#include <string>
#include <vector>

#include "common/wintypes.h"

namespace sim::spooling {

std::wstring FileName(const std::wstring& path);
std::wstring Folder(const std::wstring& path);
std::wstring AsciiLower(std::wstring text);
bool SamePath(const std::wstring& a, const std::wstring& b);
std::wstring UsbPortName(DWORD number);

// The records of a table, in its order.
template <typename Table> std::vector<typename Table::mapped_type> ValuesOf(const Table& table)
{
    std::vector<typename Table::mapped_type> values;
    for (const auto& entry : table) {
        values.push_back(entry.second);
    }
    return values;
}

} // namespace sim::spooling
