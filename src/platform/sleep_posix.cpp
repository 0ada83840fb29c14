#include <chrono>
#include <thread>

#include "platform/winmm.h"

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
