// The Windows program's request to keep its 1 ms timer resolution when its
// window is minimised or hidden.
#include "platform/host/power_throttling.h"

#include <gtest/gtest.h>

namespace {

struct Asked {
    int calls = 0;
    PROCESS_INFORMATION_CLASS kind{};
    PROCESS_POWER_THROTTLING_STATE state{};
    DWORD size = 0;
} asked;

BOOL WINAPI Accept(HANDLE, PROCESS_INFORMATION_CLASS kind, LPVOID information, DWORD size) {
    ++asked.calls;
    asked.kind = kind;
    asked.size = size;
    if (size == sizeof asked.state) asked.state = *static_cast<PROCESS_POWER_THROTTLING_STATE*>(information);
    return TRUE;
}

BOOL WINAPI Refuse(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD) { return FALSE; }

TEST(PowerThrottling, OptsOutOfThrottlingAndOfIgnoredTimerResolution) {
    EXPECT_TRUE(OptOutOfPowerThrottling(Accept));
    EXPECT_EQ(asked.calls, 1);
    EXPECT_EQ(asked.kind, ProcessPowerThrottling);
    EXPECT_EQ(asked.size, sizeof(PROCESS_POWER_THROTTLING_STATE));
    EXPECT_EQ(asked.state.Version, 1u);
    // Both kinds are controlled, and neither is on.
    EXPECT_EQ(asked.state.ControlMask, 0x1u | 0x4u);
    EXPECT_EQ(asked.state.StateMask, 0u);

    // Where the system lacks the call or refuses it (Wine does), the run
    // goes on without it.
    EXPECT_FALSE(OptOutOfPowerThrottling(nullptr));
    EXPECT_FALSE(OptOutOfPowerThrottling(Refuse));
}

}  // namespace
