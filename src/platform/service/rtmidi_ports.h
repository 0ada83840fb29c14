// The ports of a MIDI service through RtMidi (the ALSA sequencer, CoreMIDI):
// one RtMidi client for each port opened, and one of each kind, kept to the
// process's end, that lists them.
#pragma once

#include <RtMidi.h>

#include <memory>

#include "platform/service/service_ports.h"

std::unique_ptr<ServicePorts> MakeRtMidiServicePorts(RtMidi::Api api, const char* clientName);
