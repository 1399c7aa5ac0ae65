#include "sim/kernel/faults.h"

namespace sim {

void FaultPlan::FailCall(const std::string& operation, int nth, DWORD error)
{
    std::lock_guard<std::mutex> guard(mutex_);
    rules_.push_back({operation, nth, false, error});
}

void FaultPlan::FailFrom(const std::string& operation, int nth, DWORD error)
{
    std::lock_guard<std::mutex> guard(mutex_);
    rules_.push_back({operation, nth, true, error});
}

void FaultPlan::Count(OperationName operation)
{
    std::lock_guard<std::mutex> guard(mutex_);
    ++counts_[operation.text];
    log_.emplace_back(operation.text);
}

bool FaultPlan::Check(OperationName operation, const void* site, DWORD* error)
{
    std::lock_guard<std::mutex> guard(mutex_);
    int call = ++counts_[operation.text];
    log_.emplace_back(operation.text);
    sites_.emplace(operation.text, site);
    for (const Rule& rule : rules_) {
        if (rule.operation == operation.text && (call == rule.first || (rule.onward && call > rule.first))) {
            *error = rule.error;
            failedSites_.push_back(site);
            return true;
        }
    }
    return false;
}

void FaultPlan::Reset()
{
    std::lock_guard<std::mutex> guard(mutex_);
    rules_.clear();
    counts_.clear();
    log_.clear();
    failedSites_.clear();
    sites_.clear();
}

std::set<std::pair<std::string, const void*>> FaultPlan::Sites() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    std::set<std::pair<std::string, const void*>> sites;
    for (const auto& [operation, site] : sites_) {
        sites.emplace(operation, site);
    }
    return sites;
}

std::vector<const void*> FaultPlan::FailedSites() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return failedSites_;
}

int FaultPlan::Calls(const std::string& operation) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    auto found = counts_.find(operation);
    return found == counts_.end() ? 0 : found->second;
}

std::vector<std::string> FaultPlan::CallLog() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return std::vector<std::string>(log_.begin(), log_.end());
}

} // namespace sim
