#include "platform/service/rtmidi_clients.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <streambuf>
#include <vector>

namespace {

class DiscardingBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
};

void Ignore(RtMidiError::Type, const std::string&, void*) {}

// RtMidi reports a failure while it constructs a client (no sequencer
// client to be had, say) on std::cerr before it throws, as no error
// callback can be set yet. For that moment std::cerr writes nowhere: the
// program itself never writes to it, and the clients made before report
// to their own callbacks.
template <typename Client>
std::unique_ptr<Client> MakeClient(RtMidi::Api api, const char* clientName) {
    DiscardingBuffer discard;
    std::streambuf* saved = std::cerr.rdbuf(&discard);
    std::unique_ptr<Client> client;
    try {
        client = std::make_unique<Client>(api, clientName);
        client->setErrorCallback(Ignore, nullptr);
    } catch (const RtMidiError&) {
        // the client stays null: the service cannot be opened
    }
    std::cerr.rdbuf(saved);
    return client;
}

}  // namespace

bool AlsaSequencerReachable() { return RtMidiCompiled(RtMidi::LINUX_ALSA) && access("/dev/snd/seq", R_OK | W_OK) == 0; }

bool RtMidiCompiled(RtMidi::Api api) {
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    return std::find(apis.begin(), apis.end(), api) != apis.end();
}

std::unique_ptr<RtMidiIn> MakeMidiIn(RtMidi::Api api, const char* clientName) {
    return MakeClient<RtMidiIn>(api, clientName);
}

std::unique_ptr<RtMidiOut> MakeMidiOut(RtMidi::Api api, const char* clientName) {
    return MakeClient<RtMidiOut>(api, clientName);
}
