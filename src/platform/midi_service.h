// RtMidi clients of the MIDI service of platforms other than Windows, with
// their errors and warnings sent to a callback rather than printed or
// thrown: for the ports of the ALSA sequencer and CoreMIDI, and for the
// device simulator and the tests, which play devices on virtual ports.
#pragma once

#include <RtMidi.h>

#include <memory>
#include <optional>

// RtMidi's client fails without /dev/snd/seq (and ALSA complains on standard
// error) instead of falling back, so the choice looks first.
bool AlsaSequencerReachable();
bool RtMidiCompiled(RtMidi::Api api);

// The service for RtMidi's clients, chosen once for the whole process: the
// ALSA sequencer when it can be opened, else a JACK server that is already
// running (one is never started), else the platform's own. None when there
// is none of them.
std::optional<RtMidi::Api> ChosenMidiService();

// A client, or null when the service cannot be opened. Without a callback,
// errors are dropped.
std::unique_ptr<RtMidiIn> MakeMidiIn(RtMidi::Api api, const char* clientName, RtMidiErrorCallback onError = nullptr,
                                     void* userData = nullptr);
std::unique_ptr<RtMidiOut> MakeMidiOut(RtMidi::Api api, const char* clientName, RtMidiErrorCallback onError = nullptr,
                                       void* userData = nullptr);
// The same, of the chosen service.
std::unique_ptr<RtMidiIn> MakeMidiIn(const char* clientName, RtMidiErrorCallback onError, void* userData);
std::unique_ptr<RtMidiOut> MakeMidiOut(const char* clientName, RtMidiErrorCallback onError, void* userData);
