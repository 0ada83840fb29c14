#include "platform/host/precise_sleep.h"

#include <algorithm>
#include <thread>

#include "platform/host/host.h"

namespace {

using Clock = std::chrono::steady_clock;

// How late the platform's sleep wakes: the median of what it has really
// given, followed a microsecond at a time, so that a late outlier (a busy
// machine) barely moves it.
Clock::duration lateness{0};
constexpr auto kStep = std::chrono::microseconds(1);

}  // namespace

void PreciseSleep(std::chrono::microseconds duration) {
    const Clock::time_point deadline = Clock::now() + duration;
    // Where the sleep is too coarse to finish on the clock without burning
    // the processor, most of the pause is left to it.
    const Clock::time_point wake = deadline - std::min<Clock::duration>(lateness, duration / 4);
    SleepUntil(wake);
    const Clock::duration late = Clock::now() - wake;
    if (late > lateness) {
        lateness += kStep;
    } else if (lateness >= kStep) {
        lateness -= kStep;
    }
    while (Clock::now() < deadline) std::this_thread::yield();
}
