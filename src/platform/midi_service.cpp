#include "platform/midi_service.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <streambuf>
#include <vector>

#if defined(__UNIX_JACK__) && __has_include(<jack/jack.h>)
#include <jack/jack.h>
#define TESSARINE_PROBE_JACK 1
#endif

namespace {

class DiscardingBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
};

void Ignore(RtMidiError::Type, const std::string&, void*) {}

bool JackServerRuns() {
#ifdef TESSARINE_PROBE_JACK
    // Asked before RtMidi is, whose JACK client leaks when there is none.
    const auto discard = [](const char*) {};
    jack_set_error_function(discard);
    jack_set_info_function(discard);
    jack_client_t* probe = jack_client_open("tessarine-probe", JackNoStartServer, nullptr);
    if (probe == nullptr) return false;
    jack_client_close(probe);
    return true;
#else
    return false;
#endif
}

// RtMidi reports some failures while it constructs a client, before an error
// callback can be set.
template <typename Client>
std::unique_ptr<Client> MakeClient(RtMidi::Api api, const char* clientName, RtMidiErrorCallback onError,
                                   void* userData) {
    static DiscardingBuffer discard;
    std::streambuf* saved = std::cerr.rdbuf(&discard);
    std::unique_ptr<Client> client;
    try {
        client = std::make_unique<Client>(api, clientName);
        client->setErrorCallback(onError != nullptr ? onError : Ignore, userData);
    } catch (const RtMidiError&) {
        // the client stays null: the service cannot be opened
    }
    std::cerr.rdbuf(saved);
    return client;
}

}  // namespace

bool AlsaSequencerReachable() {
    return RtMidiCompiled(RtMidi::LINUX_ALSA) && access("/dev/snd/seq", R_OK | W_OK) == 0;
}

bool RtMidiCompiled(RtMidi::Api api) {
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    return std::find(apis.begin(), apis.end(), api) != apis.end();
}

std::optional<RtMidi::Api> ChosenMidiService() {
    static const std::optional<RtMidi::Api> chosen = []() -> std::optional<RtMidi::Api> {
        if (AlsaSequencerReachable()) return RtMidi::LINUX_ALSA;
        if (RtMidiCompiled(RtMidi::UNIX_JACK) && JackServerRuns()) return RtMidi::UNIX_JACK;
        if (RtMidiCompiled(RtMidi::MACOSX_CORE)) return RtMidi::MACOSX_CORE;
        return std::nullopt;
    }();
    return chosen;
}

std::unique_ptr<RtMidiIn> MakeMidiIn(RtMidi::Api api, const char* clientName, RtMidiErrorCallback onError,
                                     void* userData) {
    return MakeClient<RtMidiIn>(api, clientName, onError, userData);
}

std::unique_ptr<RtMidiOut> MakeMidiOut(RtMidi::Api api, const char* clientName, RtMidiErrorCallback onError,
                                       void* userData) {
    return MakeClient<RtMidiOut>(api, clientName, onError, userData);
}

std::unique_ptr<RtMidiIn> MakeMidiIn(const char* clientName, RtMidiErrorCallback onError, void* userData) {
    const std::optional<RtMidi::Api> service = ChosenMidiService();
    return service ? MakeMidiIn(*service, clientName, onError, userData) : nullptr;
}

std::unique_ptr<RtMidiOut> MakeMidiOut(const char* clientName, RtMidiErrorCallback onError, void* userData) {
    const std::optional<RtMidi::Api> service = ChosenMidiService();
    return service ? MakeMidiOut(*service, clientName, onError, userData) : nullptr;
}
