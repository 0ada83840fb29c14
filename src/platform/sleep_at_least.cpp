// The protocol's pauses, on the real platforms.
#include "platform/precise_sleep.h"
#include "platform/winmm.h"

void SleepAtLeast(DWORD milliseconds) { PreciseSleep(std::chrono::milliseconds(milliseconds)); }
