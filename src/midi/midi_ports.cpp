#include "midi/midi_ports.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

template <typename Caps, typename Query>
void ListPorts(bool input, Query query, PortNames* ports) {
    Caps caps;
    while (ports->count < kMaxPorts) {
        ports->ended = query(ports->count, &caps, sizeof caps);
        if (ports->ended != MMSYSERR_NOERROR) return;
        caps.szPname[MAXPNAMELEN - 1] = '\0';
        ListedName(input, ports->count, caps.szPname, ports->names[ports->count]);
        ++ports->count;
    }
}

}  // namespace

void ListedName(bool input, UINT index, const char* capsName, char (&name)[kPortNameSize]) {
    if (!MidiPortWholeName(input, index, name, sizeof name)) std::snprintf(name, sizeof name, "%s", capsName);
}

bool NoMidiService(const PortNames& inputs, const PortNames& outputs) {
#if defined(_WIN32) || defined(__EMSCRIPTEN__)
    return inputs.count == 0 && outputs.count == 0;
#else
    return inputs.ended == MMSYSERR_NODRIVER || outputs.ended == MMSYSERR_NODRIVER;
#endif
}

bool PortNameContains(const char* name, const char* part) {
    const std::size_t length = std::strlen(part);
    for (; *name != '\0'; ++name) {
        std::size_t i = 0;
        while (i < length &&
               std::tolower(static_cast<unsigned char>(name[i])) == std::tolower(static_cast<unsigned char>(part[i]))) {
            ++i;
        }
        if (i == length) return true;
    }
    return false;
}

void ListMidiInputs(PortNames* ports) { ListPorts<MIDIINCAPSA>(true, midiInGetDevCapsA, ports); }
void ListMidiOutputs(PortNames* ports) { ListPorts<MIDIOUTCAPSA>(false, midiOutGetDevCapsA, ports); }

PortMatch MatchPort(const PortNames& ports, const char* wanted, UINT* index) {
    char* end = nullptr;
    const unsigned long number = std::strtoul(wanted, &end, 10);
    if (std::isdigit(static_cast<unsigned char>(wanted[0])) && *end == '\0') {
        if (number >= ports.count) return PortMatch::kNone;
        *index = static_cast<UINT>(number);
        return PortMatch::kOne;
    }
    UINT matches = 0;
    for (UINT i = 0; i < ports.count; ++i) {
        if (!PortNameContains(ports.names[i], wanted)) continue;
        *index = i;
        ++matches;
    }
    if (matches == 0) return PortMatch::kNone;
    return matches == 1 ? PortMatch::kOne : PortMatch::kSeveral;
}
