#include "sim/kernel/debug_output.h"

namespace sim {

void DebugOutput::Write(const wchar_t* text)
{
    std::lock_guard<std::mutex> guard(mutex_);
    writes_.emplace_back(text);
    for (const wchar_t* p = text; *p != 0; ++p) {
        if (*p == L'\n') {
            lines_.push_back(pending_);
            pending_.clear();
        } else {
            pending_ += *p;
        }
    }
}

std::vector<std::wstring> DebugOutput::Lines() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return lines_;
}

std::vector<std::wstring> DebugOutput::Writes() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return writes_;
}

} // namespace sim
