// Where the device hears the host and answers it: two ports of a MIDI
// service of its own, or a raw MIDI device of the kernel, as a device behind
// a sound card's MIDI port reads and writes it.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>

#include "options.h"
#include "wire.h"

class HostLink {
public:
    virtual ~HostLink() = default;
    // Waits, until `wake` at most, for what the host sends, and adds the
    // messages that have arrived whole (or cut short) by then.
    virtual void Receive(Clock::time_point wake, std::deque<Bytes>* messages) = 0;
    // Puts an answer on its way; false when it cannot be taken yet.
    virtual bool Answer(const Bytes& message) = 0;
    // Bytes lost because they did not fit the card's buffer.
    virtual std::size_t Dropped() { return 0; }
};

// The ports 'device in' and 'device out' of the MIDI service; with
// --wire, presented as a sound card's and read at the wire's pace. Null,
// having said why, with the exit status in `status`.
std::unique_ptr<HostLink> OpenServiceLink(const SimOptions& options, int* status);
// Standard input and output (--stdio).
std::unique_ptr<HostLink> OpenStdioLink();
// The raw MIDI device --rawmidi names (Linux), read at the wire's pace with
// --wire. Null, having said why, with the exit status in `status`.
std::unique_ptr<HostLink> OpenRawMidiLink(const SimOptions& options, int* status);
