// What the device search and the transfer tell while they run, to whoever
// shows it (the console, a log, a web page); they never print.
#pragma once

#include <cstdint>

class ProtocolReporter {
public:
    virtual ~ProtocolReporter() = default;

    // Before the search's report: what kept ports from being used. No MIDI
    // service answered the listing; a port another program holds was left
    // out.
    virtual void NoMidiService() = 0;
    virtual void PortHeld(bool input, unsigned index, const char* name) = 0;

    // A wait for the device: for the search (which asks outputs `first` to
    // `last`; `name` is the output's when it is asked alone) or for a
    // record's answer. `nowMs` is the time on one millisecond clock, from
    // which the reporter tells how long the wait has lasted; `Waiting` comes
    // at least every second while it goes on.
    enum class Wait { kSearch, kRecord };
    virtual void WaitBegins(Wait what, std::uint32_t nowMs) = 0;
    virtual void Asking(unsigned first, unsigned last, const char* name, std::uint32_t nowMs) = 0;
    virtual void Waiting(std::uint32_t nowMs) = 0;
    virtual void WaitEnds() = 0;

    // The device answered on this pair, before the other ports close.
    virtual void DeviceFound(const char* input, const char* output) = 0;

    // The MIDI service missed cycles during the run (a JACK server's
    // xruns): messages may have been lost or held back. Told once.
    virtual void ServiceMissedCycles() = 0;

    // A try of a record begins: the spinner's glyph and the share of the
    // image the device has accepted.
    virtual void RecordTry(char glyph, unsigned percent) = 0;
    // How the device answered a try of record `record` (from 0): with a
    // status byte, or not at all; for a log of the run.
    virtual void RecordAnswered(unsigned record, bool replied, std::uint8_t status) = 0;
    // The device refused a try, with a status byte other than "accepted",
    // and the record goes again.
    virtual void Refused(std::uint8_t status) = 0;
};
