// Pauses that last at least their length and not much more. The platform's
// own sleep wakes late, by its timer's latency (tens of microseconds on
// Linux, up to a tick on Windows), so it sleeps the bulk, to the deadline
// less how late it has been waking, and the clock finishes the pause.
#pragma once

#include <chrono>

void PreciseSleep(std::chrono::microseconds duration);
