#include "platform/service/alsa_cards.h"

#include <alsa/asoundlib.h>

#include <cstdio>

bool AlsaPortIsOnACard(const std::string& rtmidiName) {
    // RtMidi ends every name with the client's and the port's numbers.
    const std::size_t space = rtmidiName.rfind(' ');
    int client = -1;
    int port = -1;
    if (space == std::string::npos || std::sscanf(rtmidiName.c_str() + space, " %d:%d", &client, &port) != 2) {
        return false;
    }
    snd_seq_t* sequencer = nullptr;
    if (snd_seq_open(&sequencer, "default", SND_SEQ_OPEN_OUTPUT, 0) < 0) return false;
    snd_seq_client_info_t* info = nullptr;
    snd_seq_client_info_alloca(&info);
    const bool onACard =
        snd_seq_get_any_client_info(sequencer, client, info) == 0 && snd_seq_client_info_get_card(info) >= 0;
    snd_seq_close(sequencer);
    return onACard;
}
