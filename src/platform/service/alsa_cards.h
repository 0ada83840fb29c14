// Which ports of the ALSA sequencer belong to a sound card: the kernel's
// clients of a card (a MIDI interface, a USB device, a virtual raw MIDI
// device), as against programs and the kernel's own Midi Through.
#pragma once

#include <string>

// The port RtMidi names so ("client:port C:P") is a sound card's.
bool AlsaPortIsOnACard(const std::string& rtmidiName);
