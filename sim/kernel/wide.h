// Small helpers for the simulated machine's wide texts.
#pragma once

#include <string>

namespace sim {

// Windows compares names (paths, registry keys) without regard to case.
std::wstring FoldCase(const std::wstring& text);
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);

// For readable test failures.
std::string Utf8(const std::wstring& text);
std::wstring Widen(const std::string& utf8);

// A wide text of at most `capacity` characters that need not be terminated.
std::wstring BoundedText(const wchar_t* text, size_t capacity);

} // namespace sim
