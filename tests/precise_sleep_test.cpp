// The pause after every chunk, on the real clock: the device needs all of
// it, so it may end late but never early.
#include "platform/host/precise_sleep.h"

#include <gtest/gtest.h>

namespace {

TEST(PreciseSleep, NeverEndsBeforeItsTime) {
    using Clock = std::chrono::steady_clock;
    for (int i = 0; i < 200; ++i) {
        const Clock::time_point start = Clock::now();
        PreciseSleep(std::chrono::milliseconds(1));
        ASSERT_GE(Clock::now() - start, std::chrono::milliseconds(1)) << "pause " << i;
    }
}

}  // namespace
