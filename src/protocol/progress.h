// What the device search and the transfer tell while they run: facts, each
// an event of its own, for whoever shows them (the console, a log, a web
// page) to draw; they never print. A face shows the events it cares for
// and leaves the others alone.
#pragma once

#include <cstdint>
#include <variant>

#include "platform/winmm/winmm.h"

// What a wait for the device is for.
enum class Wait { kSearch, kRecord };

namespace event {

// Before the search's report: what kept ports from being used. No MIDI
// service answered the listing; a port another program holds was left out.
struct NoMidiService {};
struct PortHeld {
    bool input;
    unsigned index;
    const char* name;
};

// A wait for the device begins. While the search waits it tells what it
// asks: outputs `first` to `last`, and `name`, the output's, when it asks
// one alone. `Waiting` comes once for every whole second the wait has
// lasted.
struct WaitBegins {
    Wait what;
};
struct Asking {
    unsigned first;
    unsigned last;
    const char* name;
};
struct Waiting {
    unsigned seconds;
};
struct WaitEnds {};

// The device answered on this pair, before the other ports close.
struct DeviceFound {
    const char* input;
    const char* output;
};

// The pace the image goes at (LinkPace): told as the transfer begins, and
// again when a record of more than a cable's budget went unanswered at a
// faster pace, and the rest of the image, from record `record` (from 0)
// on, goes at a cable's.
struct Pace {
    LinkPace pace;
    unsigned record;
};

// The MIDI service missed cycles during the run (a JACK server's xruns):
// messages may have been lost or held back. Told once.
struct ServiceMissedCycles {};

// A try of record `record` (from 0) of `records` begins: its try `attempt`
// (from 0), with `percent` of the image accepted; once a record has been
// accepted, the bytes of the image accepted a second, and the seconds the
// rest will take at that rate (-1 before).
struct RecordTry {
    unsigned record;
    unsigned records;
    unsigned attempt;
    unsigned percent;
    unsigned bytesPerSecond;
    int secondsLeft;
};
// How the device answered that try: with a status byte, or not at all.
struct RecordAnswered {
    unsigned record;
    bool replied;
    std::uint8_t status;
};
// The device refused the try with a status byte other than "accepted", and
// the record goes again.
struct Refused {
    std::uint8_t status;
};

}  // namespace event

using ProtocolEvent = std::variant<event::NoMidiService, event::PortHeld, event::WaitBegins, event::Asking,
                                   event::Waiting, event::WaitEnds, event::DeviceFound, event::ServiceMissedCycles,
                                   event::RecordTry, event::RecordAnswered, event::Refused, event::Pace>;

class ProtocolReporter {
public:
    virtual ~ProtocolReporter() = default;
    virtual void Tell(const ProtocolEvent& event) = 0;
};
