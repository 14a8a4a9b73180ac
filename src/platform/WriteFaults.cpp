#include "platform/WriteFaults.h"

#include <algorithm>
#include <mutex>
#include <optional>

namespace {

struct FaultState {
    std::mutex mutex;
    std::optional<WriteFaultPlan> plan;
    int filesCreated = 0;
};

FaultState& State() {
    static FaultState state;
    return state;
}

}  // namespace

void InjectWriteFaults(const WriteFaultPlan& plan) {
    FaultState& state = State();
    const std::lock_guard lock(state.mutex);
    state.plan = plan;
    state.filesCreated = 0;
}

void ClearWriteFaults() {
    FaultState& state = State();
    const std::lock_guard lock(state.mutex);
    state.plan.reset();
}

int WriteFaultOnCreate() {
    FaultState& state = State();
    const std::lock_guard lock(state.mutex);
    if (!state.plan) return 0;
    ++state.filesCreated;
    const WriteFaultPlan& plan = *state.plan;
    if (plan.failingFile > 0 && state.filesCreated >= plan.failingFile) return plan.error;
    return 0;
}

qint64 WriteFaultAllowance(qint64 wanted, int* error) {
    FaultState& state = State();
    const std::lock_guard lock(state.mutex);
    if (!state.plan || state.plan->bytesBeforeFailure < 0) return wanted;
    WriteFaultPlan& plan = *state.plan;
    const qint64 allowed = std::min(wanted, plan.bytesBeforeFailure);
    plan.bytesBeforeFailure -= allowed;
    if (allowed < wanted && error != nullptr) *error = plan.error;
    return allowed;
}
