#include "platform/service/wire_budget.h"

bool WireBudget::Fits(std::size_t size, std::uint32_t nowMs, std::uint32_t repliesHeard) {
    if (repliesHeard != repliesHeard_) {
        repliesHeard_ = repliesHeard;
        onItsWay_ = 0;
    }
    const std::uint64_t drained = std::uint64_t{nowMs - drainedAt_} * kCableBytesPerSecond;
    onItsWay_ = drained < onItsWay_ ? onItsWay_ - drained : 0;
    drainedAt_ = nowMs;
    return onItsWay_ + std::uint64_t{size} * 1000 <= std::uint64_t{kCableBudgetBytes} * 1000;
}
