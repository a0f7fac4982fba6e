#include "host/Faults.h"

namespace vhost {

void FaultPlan::FailCall(const std::string& call, int k, bool onward) {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_[call] = Rule{k, onward};
}

bool FaultPlan::ShouldFail(const std::string& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int n = ++calls_[call];
    const auto rule = rules_.find(call);
    if (rule == rules_.end()) return false;
    return n == rule->second.k || (rule->second.onward && n >= rule->second.k);
}

int FaultPlan::Calls(const std::string& call) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = calls_.find(call);
    return it == calls_.end() ? 0 : it->second;
}

void FaultPlan::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_.clear();
    calls_.clear();
    withheld_suites.clear();
    null_suites.clear();
    erroring_suites.clear();
    failing_releases.clear();
    no_basic_suite = false;
    null_drawing_reference = false;
    abort_after_rows = -1;
    injected_error = PF_Err_INTERNAL_STRUCT_DAMAGED;
}

}  // namespace vhost
