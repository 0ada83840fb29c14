#include "platform/service/alsa_cards.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "platform/service/raw_midi_room.h"

namespace {

// The kernel's sequencer binds a card's raw MIDI devices on one client of
// its own, device D subdevice S at port 32 D + S, a port of the card's
// hardware; a virtual raw MIDI device (snd-virmidi) has a client of its
// own, the card's clients one a device in order, whose one port, a
// program's (software), writes into the device's inputs.
constexpr int kPortsPerDevice = 32;

// The card's client with the lowest number.
int FirstClientOf(snd_seq_t* sequencer, int card) {
    snd_seq_client_info_t* info = nullptr;
    snd_seq_client_info_alloca(&info);
    snd_seq_client_info_set_client(info, -1);
    int first = -1;
    while (snd_seq_query_next_client(sequencer, info) == 0) {
        const int client = snd_seq_client_info_get_client(info);
        if (snd_seq_client_info_get_card(info) == card && (first < 0 || client < first)) first = client;
    }
    return first;
}

}  // namespace

std::unique_ptr<CardBuffer> CardBuffer::Behind(const std::string& rtmidiName) {
    // RtMidi ends every name with the client's and the port's numbers.
    const std::size_t space = rtmidiName.rfind(' ');
    int client = -1;
    int port = -1;
    if (space == std::string::npos || std::sscanf(rtmidiName.c_str() + space, " %d:%d", &client, &port) != 2) {
        return nullptr;
    }
    snd_seq_t* sequencer = nullptr;
    if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0) return nullptr;
    snd_seq_client_info_t* clientInfo = nullptr;
    snd_seq_client_info_alloca(&clientInfo);
    snd_seq_port_info_t* portInfo = nullptr;
    snd_seq_port_info_alloca(&portInfo);
    int card = -1;
    bool bound = false;
    int first = -1;
    if (snd_seq_get_any_client_info(sequencer, client, clientInfo) == 0 &&
        snd_seq_get_any_port_info(sequencer, client, port, portInfo) == 0) {
        card = snd_seq_client_info_get_card(clientInfo);
        bound = (snd_seq_port_info_get_type(portInfo) & SND_SEQ_PORT_TYPE_HARDWARE) != 0;
        first = card >= 0 ? FirstClientOf(sequencer, card) : -1;
    }
    snd_seq_close(sequencer);
    if (card < 0) return nullptr;
    const int device = bound ? port / kPortsPerDevice : client - first;
    const std::string proc = "/proc/asound/card" + std::to_string(card) + "/midi" + std::to_string(device);
    return std::unique_ptr<CardBuffer>(new CardBuffer(proc, bound, port % kPortsPerDevice));
}

long CardBuffer::Room() const {
    std::ifstream file(proc_);
    return RawMidiRoom(file, output_, substream_);
}

bool CardBuffer::TakeRoom(std::size_t size) {
    if (credit_ < size) credit_ = static_cast<std::size_t>(std::max(0L, Room()));
    if (credit_ < size) return false;
    credit_ -= size;
    return true;
}
