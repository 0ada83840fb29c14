#include "platform/midi_service.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <streambuf>
#include <thread>
#include <vector>

#if defined(__UNIX_JACK__) && __has_include(<jack/jack.h>)
#include <jack/jack.h>
#define TESSARINE_WITH_JACK 1
#endif

namespace {

bool Compiled(RtMidi::Api api) {
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    return std::find(apis.begin(), apis.end(), api) != apis.end();
}

class DiscardingBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
};

#ifdef TESSARINE_WITH_JACK
void Discard(const char*) {}

// JACK prints its own complaints, when no server runs for instance.
void SilenceJack() {
    jack_set_error_function(Discard);
    jack_set_info_function(Discard);
}

std::atomic<bool> serverGone{false};
// The client that finds a running server, asked before RtMidi is (whose
// JACK client leaks when there is none), and that is kept to hear when the
// server stops.
jack_client_t* watcher = nullptr;

// Called by libjack on its own thread when the server stops.
void OnServerStop(void*) { serverGone = true; }

// The server's process cycles so far, counted by the watcher's part in each.
std::atomic<unsigned> cycles{0};
int CountCycle(jack_nframes_t, void*) {
    ++cycles;
    return 0;
}

void StopWatchingJack() {
    // A stopped server's client is never closed (libjack would crash).
    if (watcher == nullptr || serverGone) return;
    jack_client_close(watcher);
    watcher = nullptr;
}

// Closed when the process ends, before libjack's own state goes: a client
// left open stalls a JACK server in synchronous mode until it notices.
bool WatchJack() {
    if (watcher != nullptr) return true;
    SilenceJack();
    watcher = jack_client_open("tessarine-watch", JackNoStartServer, nullptr);
    if (watcher == nullptr) return false;
    jack_on_shutdown(watcher, OnServerStop, nullptr);
    jack_set_process_callback(watcher, CountCycle, nullptr);
    jack_activate(watcher);
    static const bool closedAtExit = std::atexit(StopWatchingJack) == 0;
    (void)closedAtExit;
    return true;
}
#else
bool WatchJack() { return true; }
#endif

// RtMidi reports some failures while it constructs a client, before an error
// callback can be set.
template <typename Client>
std::unique_ptr<Client> MakeClient(const char* clientName, RtMidiErrorCallback onError, void* userData) {
    const std::optional<RtMidi::Api> service = ChosenMidiService();
    if (!service) return nullptr;
    static DiscardingBuffer discard;
    std::streambuf* saved = std::cerr.rdbuf(&discard);
    std::unique_ptr<Client> client;
    try {
        client = std::make_unique<Client>(*service, clientName);
        client->setErrorCallback(onError, userData);
    } catch (const RtMidiError&) {
        // the client stays null: the service cannot be opened
    }
    std::cerr.rdbuf(saved);
    return client;
}

}  // namespace

std::optional<RtMidi::Api> ChosenMidiService() {
    // Without /dev/snd/seq RtMidi's ALSA client fails (and ALSA complains on
    // standard error) instead of falling back, so the choice is made here.
    static const std::optional<RtMidi::Api> chosen = []() -> std::optional<RtMidi::Api> {
        if (Compiled(RtMidi::LINUX_ALSA) && access("/dev/snd/seq", R_OK | W_OK) == 0) return RtMidi::LINUX_ALSA;
        if (Compiled(RtMidi::UNIX_JACK) && WatchJack()) return RtMidi::UNIX_JACK;
        if (Compiled(RtMidi::MACOSX_CORE)) return RtMidi::MACOSX_CORE;
        return std::nullopt;
    }();
    return chosen;
}

bool MidiServiceGone() {
#ifdef TESSARINE_WITH_JACK
    return serverGone;
#else
    return false;
#endif
}

void AwaitSentMessages() {
#ifdef TESSARINE_WITH_JACK
    if (watcher == nullptr) return;
    // Counted from here, the first cycle may be the one under way, which may
    // have passed the sending client by; the second begins later and hands
    // the messages over; a destination that the server runs before the
    // sender takes them in the third, which has ended when a fourth begins.
    // At most a second: a server can stall.
    const unsigned start = cycles;
    for (int waited = 0; cycles - start < 4 && !serverGone && waited < 1000; ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
#endif
}

std::unique_ptr<RtMidiIn> MakeMidiIn(const char* clientName, RtMidiErrorCallback onError, void* userData) {
    return MakeClient<RtMidiIn>(clientName, onError, userData);
}

std::unique_ptr<RtMidiOut> MakeMidiOut(const char* clientName, RtMidiErrorCallback onError, void* userData) {
    return MakeClient<RtMidiOut>(clientName, onError, userData);
}
