// The sleep, the clock and the events of the Windows kernel that the
// program uses, in the browser. Waits give the page its turn (the program
// is paused, not the page), and take the MIDI messages that came meanwhile.
// The pause after a chunk is not slept: the page holds the next message
// until it is over (page/midi.js), where a timer would be stretched, and
// throttled in a tab in the background.
#include <emscripten.h>

#include "platform/service/web_ports.h"
#include "platform/winmm/winmm.h"

// The JavaScript below is the page's, as the browser reads it.
// clang-format off
EM_ASYNC_JS(void, WebWait, (double milliseconds), { await Module.tessarine.wait(milliseconds); });
EM_JS(void, WebPace, (double milliseconds), { Module.tessarine.pace(milliseconds); });
// clang-format on

namespace {

struct Event {
    bool manualReset = false;
    bool set = false;
};

}  // namespace

void Sleep(DWORD milliseconds) {
    const double until = emscripten_get_now() + milliseconds;
    for (double now = emscripten_get_now(); now < until; now = emscripten_get_now()) WebWait(until - now);
    PumpWebMidi();
}

void SleepAtLeast(DWORD milliseconds) { WebPace(milliseconds); }

DWORD timeGetTime() { return static_cast<DWORD>(emscripten_get_now()); }

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*) {
    return new Event{manualReset != 0, initialState != 0};
}

BOOL SetEvent(HANDLE handle) {
    static_cast<Event*>(handle)->set = true;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    delete static_cast<Event*>(handle);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto* event = static_cast<Event*>(handle);
    const double until = emscripten_get_now() + milliseconds;
    PumpWebMidi();
    // A message wakes the wait early; so does its time running out.
    for (double now = emscripten_get_now(); !event->set && now < until; now = emscripten_get_now()) {
        WebWait(until - now);
        PumpWebMidi();
    }
    if (!event->set) return WAIT_TIMEOUT;
    if (!event->manualReset) event->set = false;
    return WAIT_OBJECT_0;
}
