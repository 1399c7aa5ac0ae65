// The debugger output of the machine, collected line by line.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace sim {

class DebugOutput {
public:
    void Write(const wchar_t* text);
    // Complete lines, without their line feed.
    std::vector<std::wstring> Lines() const;
    // Every OutputDebugStringW call's text, as written.
    std::vector<std::wstring> Writes() const;

private:
    mutable std::mutex mutex_;
    std::wstring pending_;
    std::vector<std::wstring> lines_;
    std::vector<std::wstring> writes_;
};

} // namespace sim
