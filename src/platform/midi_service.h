// The MIDI service behind RtMidi on platforms other than Windows, chosen once
// for the whole process: the ALSA sequencer when it can be opened, else a
// JACK server that is already running (one is never started), else the
// platform's own (CoreMIDI on macOS). None when there is none of them.
#pragma once

#include <RtMidi.h>

#include <memory>
#include <optional>

std::optional<RtMidi::Api> ChosenMidiService();

// A client of the chosen service, or null when the service cannot be
// opened. Nothing is printed: RtMidi's errors and warnings go to onError.
std::unique_ptr<RtMidiIn> MakeMidiIn(const char* clientName, RtMidiErrorCallback onError, void* userData);
std::unique_ptr<RtMidiOut> MakeMidiOut(const char* clientName, RtMidiErrorCallback onError, void* userData);

// A JACK server can stop under a running program, and RtMidi's clients then
// go on "sending" into the void: a client of our own, from the choice of the
// service to the process's end, hears it stop. The service has then gone:
// nothing can be sent or received any more, and its clients must not be
// closed (libjack crashes closing a client whose server has gone).
bool MidiServiceGone();

// Returns once the messages sent so far have left for their destinations. A
// JACK server hands them over in its next process cycle, and a client closed
// before then loses them, where winmm has delivered what it accepted; the
// other services deliver as they accept.
void AwaitSentMessages();
