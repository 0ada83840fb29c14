// What the device search and the transfer tell while they run: facts, for
// whoever shows them (the console, a log, a web page) to draw; they never
// print.
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

    // A wait for the device: for the search or for a record's answer. While
    // the search waits it tells what it asks: outputs `first` to `last`, and
    // `name`, the output's, when it asks one alone. `Waiting` comes once
    // for every whole second the wait has lasted.
    enum class Wait { kSearch, kRecord };
    virtual void WaitBegins(Wait what) = 0;
    virtual void Asking(unsigned first, unsigned last, const char* name) = 0;
    virtual void Waiting(unsigned seconds) = 0;
    virtual void WaitEnds() = 0;

    // The device answered on this pair, before the other ports close.
    virtual void DeviceFound(const char* input, const char* output) = 0;

    // The MIDI service missed cycles during the run (a JACK server's
    // xruns): messages may have been lost or held back. Told once.
    virtual void ServiceMissedCycles() = 0;

    // A try of record `record` (from 0) of `records` begins: its try
    // `attempt` (from 0), with `percent` of the image accepted.
    virtual void RecordTry(unsigned record, unsigned records, unsigned attempt, unsigned percent) = 0;
    // How the device answered that try: with a status byte, or not at all.
    virtual void RecordAnswered(unsigned record, bool replied, std::uint8_t status) = 0;
    // The device refused the try, with a status byte other than "accepted",
    // and the record goes again.
    virtual void Refused(std::uint8_t status) = 0;
};
