#include "platform/midi_service.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <streambuf>
#include <vector>

#if defined(__UNIX_JACK__) && __has_include(<jack/jack.h>)
#include <jack/jack.h>
#define TESSARINE_SILENCE_JACK 1
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

#ifdef TESSARINE_SILENCE_JACK
void Discard(const char*) {}
#endif

// RtMidi reports some failures while it constructs a client, before an error
// callback can be set; JACK prints its own complaints when no server runs.
template <typename Client>
std::unique_ptr<Client> MakeClient(const char* clientName, RtMidiErrorCallback onError, void* userData) {
#ifdef TESSARINE_SILENCE_JACK
    jack_set_error_function(Discard);
    jack_set_info_function(Discard);
#endif
    static DiscardingBuffer discard;
    std::streambuf* saved = std::cerr.rdbuf(&discard);
    std::unique_ptr<Client> client;
    try {
        client = std::make_unique<Client>(ChosenMidiService(), clientName);
        client->setErrorCallback(onError, userData);
    } catch (const RtMidiError&) {
        client.reset();
    }
    std::cerr.rdbuf(saved);
    return client;
}

}  // namespace

RtMidi::Api ChosenMidiService() {
    // Without /dev/snd/seq RtMidi's ALSA client fails instead of falling back,
    // so the choice is made here, once.
    static const RtMidi::Api chosen = [] {
        if (Compiled(RtMidi::LINUX_ALSA) && access("/dev/snd/seq", R_OK | W_OK) == 0) return RtMidi::LINUX_ALSA;
        if (Compiled(RtMidi::UNIX_JACK)) return RtMidi::UNIX_JACK;
        return RtMidi::UNSPECIFIED;
    }();
    return chosen;
}

std::unique_ptr<RtMidiIn> MakeMidiIn(const char* clientName, RtMidiErrorCallback onError, void* userData) {
    return MakeClient<RtMidiIn>(clientName, onError, userData);
}

std::unique_ptr<RtMidiOut> MakeMidiOut(const char* clientName, RtMidiErrorCallback onError, void* userData) {
    return MakeClient<RtMidiOut>(clientName, onError, userData);
}
