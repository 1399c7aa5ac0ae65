// What the simulated spooler's files share: small path and text helpers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/wintypes.h"

namespace sim::spooling {

std::wstring FileName(const std::wstring& path);
std::wstring Folder(const std::wstring& path);
std::wstring AsciiLower(std::wstring text);
bool SamePath(const std::wstring& a, const std::wstring& b);
std::wstring UsbPortName(DWORD number);

// The records of a table, in its order, not copied: for a listing made while
// the machine's lock is held (a print server has thousands of queues).
template <typename Table>
std::vector<std::reference_wrapper<const typename Table::mapped_type>> RecordsOf(const Table& table)
{
    std::vector<std::reference_wrapper<const typename Table::mapped_type>> records;
    records.reserve(table.size());
    for (const auto& entry : table) {
        records.emplace_back(entry.second);
    }
    return records;
}

// The same, copied: for a caller that keeps them.
template <typename Table> std::vector<typename Table::mapped_type> ValuesOf(const Table& table)
{
    const auto records = RecordsOf(table);
    return {records.begin(), records.end()};
}

} // namespace sim::spooling
