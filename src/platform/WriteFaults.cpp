#include "platform/WriteFaults.h"

#include <algorithm>
#include <mutex>
#include <optional>

namespace {

struct FaultState {
    std::mutex mutex;
    std::optional<WriteFaultPlan> plan;
    int filesCreated = 0;
    int syncs = 0;
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
    state.syncs = 0;
}

void ClearWriteFaults() {
    FaultState& state = State();
    const std::lock_guard lock(state.mutex);
    state.plan.reset();
}

namespace {

// Counts one more call of a kind (a creation, a flush): the plan's errno once the count
// reaches the plan's first failing one.
int CountedFault(int FaultState::*count, int WriteFaultPlan::*failingFrom) {
    FaultState& state = State();
    const std::lock_guard lock(state.mutex);
    if (!state.plan) return 0;
    const int reached = ++(state.*count);
    const int failing = (*state.plan).*failingFrom;
    return failing > 0 && reached >= failing ? state.plan->error : 0;
}

}  // namespace

int WriteFaultOnCreate() {
    return CountedFault(&FaultState::filesCreated, &WriteFaultPlan::failingFile);
}

int WriteFaultOnSync() {
    return CountedFault(&FaultState::syncs, &WriteFaultPlan::failingSync);
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
