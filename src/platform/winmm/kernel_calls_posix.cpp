// The sleep, the clock and the events of the Windows kernel that the
// program uses, on POSIX systems.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/winmm/winmm.h"

namespace {

struct Event {
    std::mutex lock;
    std::condition_variable changed;
    bool manualReset = false;
    bool set = false;
};

}  // namespace

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

DWORD timeGetTime() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*) {
    auto* event = new Event;
    event->manualReset = manualReset != 0;
    event->set = initialState != 0;
    return event;
}

BOOL SetEvent(HANDLE handle) {
    auto* event = static_cast<Event*>(handle);
    std::lock_guard<std::mutex> guard(event->lock);
    event->set = true;
    event->changed.notify_all();
    return 1;
}

BOOL CloseHandle(HANDLE handle) {
    delete static_cast<Event*>(handle);
    return 1;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto* event = static_cast<Event*>(handle);
    std::unique_lock<std::mutex> guard(event->lock);
    if (!event->changed.wait_for(guard, std::chrono::milliseconds(milliseconds), [&] { return event->set; })) {
        return WAIT_TIMEOUT;
    }
    if (!event->manualReset) event->set = false;
    return WAIT_OBJECT_0;
}
