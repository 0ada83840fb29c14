// How far a port that keeps a 5-pin cable's pace may run ahead of it.
//
// A cable carries 3125 bytes a second, where the program hands over a
// record's chunks about seven times as fast. Windows' drivers hold a long
// message as still playing until the wire has taken it; the ALSA sequencer
// and a JACK bridge to a card do not: they pass what they are given to the
// card's buffer (4 KiB by default) and drop what does not fit there, without
// a word. So no more than half that buffer is let ahead of the cable, which
// is taken to drain at its own rate; a message that does not fit is held,
// as a driver holds one still playing. A reply from the device tells that
// everything sent before it has left every buffer: what is on its way is
// then nothing. A record that fits the budget goes out at the usual pace; a
// larger one at the cable's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/cable.h"

class WireBudget {
public:
    // Whether a message of `size` bytes may go at `nowMs` (a millisecond
    // clock that wraps). `repliesHeard` is a count of the replies received
    // so far: one more than last time empties the wire.
    bool Fits(std::size_t size, std::uint32_t nowMs, std::uint32_t repliesHeard);
    // A message of `size` bytes went.
    void Sent(std::size_t size) { onItsWay_ += std::uint64_t{size} * 1000; }

private:
    // On its way, in thousandths of a byte: the wire drains 3125 of them
    // a millisecond.
    std::uint64_t onItsWay_ = 0;
    std::uint32_t drainedAt_ = 0;
    std::uint32_t repliesHeard_ = 0;
};
