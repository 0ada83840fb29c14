// The room in a card's raw MIDI buffers, as the kernel shows it in
// /proc/asound/cardC/midiD: "Output 0" or "Input 0", then for an open
// substream its "Buffer size" and "Avail", an output's free room, an
// input's bytes not yet read.
#pragma once

#include <istream>

// The room, in bytes, of the output `substream` (output) or of every input
// (the least of them); -1 when the text shows none of them open.
long RawMidiRoom(std::istream& proc, bool output, int substream);
