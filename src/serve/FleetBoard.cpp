#include "serve/FleetBoard.h"

namespace hoplark {

void FleetBoard::publish(size_t slot, TargetMetrics metrics) {
    std::lock_guard guard(lock_);
    if (slot < metrics_.size()) metrics_[slot] = std::move(metrics);
}

std::vector<TargetMetrics> FleetBoard::metrics() const {
    std::lock_guard guard(lock_);
    return metrics_;
}

}  // namespace hoplark
