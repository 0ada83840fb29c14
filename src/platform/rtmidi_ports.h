// The ports of a MIDI service through RtMidi (the ALSA sequencer, CoreMIDI):
// one RtMidi client for each port opened, and one of each kind, kept to the
// process's end, that lists them.
#pragma once

#include <RtMidi.h>

#include "platform/service_ports.h"

ServicePorts* RtMidiServicePorts(RtMidi::Api api, const char* clientName);
