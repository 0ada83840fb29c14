// The protocol's pauses, on the real platforms.
#include "platform/host/precise_sleep.h"
#include "platform/winmm/winmm.h"

void SleepAtLeast(DWORD milliseconds) { PreciseSleep(std::chrono::milliseconds(milliseconds)); }
