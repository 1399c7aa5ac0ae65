// Fault injection: any operation can be made to fail on its Nth call with a
// chosen error. Every call is counted and logged so a sweep can enumerate
// the failure points of a scenario.
//
// Operation names are the string literals the platform calls pass: the plan
// keeps views of them, so counting a call allocates nothing (the sweep and
// the fuzz targets make millions of calls). OperationName takes only an
// array, so a string that could go away before the plan does not compile.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/wintypes.h"

namespace sim {

struct OperationName {
    template <size_t N> constexpr OperationName(const char (&name)[N]) : text(name) {}
    const char* text;
};

class FaultPlan {
public:
    // Fails the nth call (1-based) of the operation with the given error.
    void FailCall(const std::string& operation, int nth, DWORD error);
    // Fails every call of the operation from the nth on.
    void FailFrom(const std::string& operation, int nth, DWORD error);

    // Counts a call of an operation that cannot fail.
    void Count(OperationName operation);
    // Counts a call made from `site` (the caller's return address); true
    // (with the error) when this call must fail.
    bool Check(OperationName operation, const void* site, DWORD* error);
    // Forgets the rules, the counts and the log: a scenario's setup is done.
    void Reset();

    int Calls(const std::string& operation) const;
    std::vector<std::string> CallLog() const;
    // The sites of the calls that were made to fail, in order.
    std::vector<const void*> FailedSites() const;
    // Every operation that can fail, with each site it was called from.
    std::set<std::pair<std::string, const void*>> Sites() const;

private:
    struct Rule {
        std::string operation;
        int first;
        bool onward;
        DWORD error;
    };
    mutable std::mutex mutex_;
    std::vector<Rule> rules_;
    std::map<std::string_view, int> counts_;
    std::vector<std::string_view> log_;
    std::vector<const void*> failedSites_;
    std::set<std::pair<std::string_view, const void*>> sites_;
};

} // namespace sim
