// RtMidi clients of the MIDI services of platforms other than Windows, for
// the ports of the ALSA sequencer and CoreMIDI (rtmidi_ports.cpp), made
// without a word: RtMidi's own complaints are neither printed nor thrown.
#pragma once

#include <RtMidi.h>

#include <memory>

// RtMidi's client fails without /dev/snd/seq (and ALSA complains on standard
// error) instead of falling back, so the choice looks first.
bool AlsaSequencerReachable();
bool RtMidiCompiled(RtMidi::Api api);

// A client, or null when the service cannot be opened; its errors are
// dropped until it is given a callback of its own.
std::unique_ptr<RtMidiIn> MakeMidiIn(RtMidi::Api api, const char* clientName);
std::unique_ptr<RtMidiOut> MakeMidiOut(RtMidi::Api api, const char* clientName);
