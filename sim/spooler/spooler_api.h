// What the simulated spooler's operations share: the API's text arguments
// read, and records packed into the caller's buffer as Windows packs them.
#pragma once

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_platform.h"

namespace sim::spooler_api {

inline const DWORD kInvalidUserBuffer = 1784; // ERROR_INVALID_USER_BUFFER

inline std::wstring Text(LPCWSTR text)
{
    return text != nullptr ? std::wstring(text) : std::wstring();
}

inline std::optional<std::wstring> OptionalText(LPCWSTR text)
{
    return text != nullptr ? std::optional<std::wstring>(text) : std::nullopt;
}

inline std::optional<std::vector<std::wstring>> MultiText(LPCWSTR text)
{
    if (text == nullptr) {
        return std::nullopt;
    }
    std::vector<std::wstring> strings;
    while (*text != 0) {
        strings.emplace_back(text);
        text += strings.back().size() + 1;
    }
    return strings;
}

// A string every record has: no optional made for it, nothing copied.
inline size_t Bytes(const std::wstring& text)
{
    return (text.size() + 1) * sizeof(WCHAR);
}

inline size_t Bytes(const std::optional<std::wstring>& text)
{
    return text ? Bytes(*text) : 0;
}

inline size_t Bytes(const std::optional<std::vector<std::wstring>>& strings)
{
    if (!strings) {
        return 0;
    }
    size_t chars = 1;
    for (const std::wstring& text : *strings) {
        chars += text.size() + 1;
    }
    return chars * sizeof(WCHAR);
}

// The strings after the records, in the caller's buffer.
class StringArea {
public:
    StringArea(LPBYTE buffer, size_t offset) : buffer_(buffer), offset_(offset) {}

    LPWSTR Put(const std::optional<std::wstring>& text) { return text ? Put(*text) : nullptr; }

    LPWSTR Put(const std::wstring& text)
    {
        auto* at = reinterpret_cast<LPWSTR>(buffer_ + offset_);
        std::memcpy(buffer_ + offset_, text.c_str(), Bytes(text));
        offset_ += Bytes(text);
        return at;
    }

    LPWSTR Put(const std::optional<std::vector<std::wstring>>& strings)
    {
        if (!strings) {
            return nullptr;
        }
        auto* at = reinterpret_cast<LPWSTR>(buffer_ + offset_);
        for (const std::wstring& text : *strings) {
            Put(text);
        }
        const WCHAR end = 0;
        std::memcpy(buffer_ + offset_, &end, sizeof(end));
        offset_ += sizeof(end);
        return at;
    }

private:
    LPBYTE buffer_;
    size_t offset_;
};

// Windows' packing of an enumeration: the records, then the strings they
// point to, all in the caller's buffer. A size query (no buffer, or one too
// small) fails with ERROR_INSUFFICIENT_BUFFER and the size needed; nothing
// to list is success with nothing needed.
template <typename Record, typename Item, typename StringBytes, typename Fill>
BOOL PackRecords(const std::vector<Item>& items, StringBytes stringBytes, Fill fill, LPBYTE buffer, DWORD size,
                 LPDWORD needed, LPDWORD returned)
{
    size_t total = items.size() * sizeof(Record);
    for (const Item& item : items) {
        total += stringBytes(item);
    }
    *needed = static_cast<DWORD>(total);
    *returned = 0;
    if (items.empty()) {
        return TRUE;
    }
    if (buffer == nullptr && size != 0) {
        SetLastErrorCode(kInvalidUserBuffer);
        return FALSE;
    }
    if (buffer == nullptr || size < total) {
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    StringArea strings(buffer, items.size() * sizeof(Record));
    for (size_t i = 0; i < items.size(); ++i) {
        Record record;
        std::memset(&record, 0, sizeof(record));
        fill(items[i], &record, &strings);
        std::memcpy(buffer + i * sizeof(Record), &record, sizeof(Record));
    }
    *returned = static_cast<DWORD>(items.size());
    return TRUE;
}

} // namespace sim::spooler_api

// A server name other than the local machine's: not modelled.
#define REQUIRE_LOCAL_SERVER(server, operation, failure)                                                               \
    do {                                                                                                               \
        if ((server) != nullptr && (server)[0] != 0) {                                                                 \
            machine_.ReportViolation(operation " for a remote server, which the machine does not model");              \
            SetLastErrorCode(ERROR_INVALID_PARAMETER);                                                                 \
            return failure;                                                                                            \
        }                                                                                                              \
    } while (0)
