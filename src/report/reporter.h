// What a run tells, to whoever shows it: the console's text, a batch log's
// lines, JSON events, a web page. The core tells it events and never
// prints; a face shows the events it cares for and leaves the others alone.
#pragma once

#include "base/ending.h"
#include "image/image_buffer.h"
#include "midi/midi_ports.h"
#include "protocol/progress.h"

namespace event {

// The run begins.
struct Banner {};
// The image file has been opened and is read.
struct ImageOpened {
    const char* name;
};
// It has been read and checked: its size, the SHA-256 of the file as
// stored, and what its check found; when it is sound, its records; with
// `mismatch`, its SHA-256 is not the one asked for (--sha256).
struct ImageRead {
    unsigned bytes;
    const char* sha256;
    ImageCheck check;
    bool mismatch;
    unsigned records;
};
// --list: the ports as the search numbers them, and the MIDI service they
// are its ("" when none can be reached).
struct PortsListed {
    const PortNames* inputs;
    const PortNames* outputs;
    const char* service;
};
// The run has ended so; its ports are still open.
struct Ended {
    Outcome outcome;
};
// The final wait begins, and it has ended (a key, or a request to stop).
struct KeyAwaited {};
struct KeyWaitEnds {};

}  // namespace event

using RunEvent = std::variant<event::Banner, event::ImageOpened, event::ImageRead, event::PortsListed, event::Ended,
                              event::KeyAwaited, event::KeyWaitEnds>;

class Reporter : public ProtocolReporter {
public:
    using ProtocolReporter::Tell;
    virtual void Tell(const RunEvent& event) = 0;
};

// Calls the one of `shows` that takes the event, and none when none does:
// a face names only the events it shows.
template <typename... Shows>
struct Showing : Shows... {
    using Shows::operator()...;
    template <typename Event>
    void operator()(const Event&) const {}
};
template <typename... Shows>
Showing(Shows...) -> Showing<Shows...>;
