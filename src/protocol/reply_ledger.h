// Which reply answers which request.
//
// Replies carry no sequence number, so the host keeps to what the device
// does: it answers every request it has received whole, once or not at all,
// in the order received, and now and then after the host's wait for the
// answer has ended (while it erases its memory, say), though within one more
// wait of that length.
//
// The host asks about one subject at a time: whether the device sits behind
// a set of output ports (all of them, a half, one), then one record after
// another. All the requests about a subject are the same message, so any
// reply that comes while the host asks about it answers one of them, and is
// taken for the subject. Each input the host listens on may answer every
// request. Before the host asks about the next subject, it waits for the
// answers it is still owed about this one and sets them aside; the next
// subject starts with nothing owed and empty mailboxes. Nothing is owed
// unless a wait ran out (or an input never answers), so a run without
// silences never waits here.
#pragma once

#include <bitset>
#include <cstdint>

#include "base/stop_token.h"
#include "midi/midi_link.h"
#include "protocol/progress.h"

class ReplyLedger {
public:
    // The replies that arrive on the link's inputs; its waits are told to
    // the reporter, and end when the user asks the run to stop.
    ReplyLedger(MidiLink& link, ProtocolReporter& reporter, const StopToken& stop)
        : link_(link), reporter_(reporter), stop_(stop), missedCycles_(MidiServiceMissedCycles()) {}

    // A wait for the device begins, or ends: while it goes on, every whole
    // second it has lasted is told.
    void WaitBegins(Wait what);
    void WaitEnds();

    // A request about the current subject has been handed over whole: every
    // open input may answer it.
    void RequestSent();

    // Waits up to `milliseconds` for a reply of at least two bytes on any
    // open input. When one comes, takes it for the current subject and fills
    // its status byte and, when asked, the input it came from.
    bool AwaitAnswer(std::uint16_t milliseconds, std::uint8_t* status, UINT* input = nullptr);

    // Some open input has not yet answered every request about the subject.
    bool AnswersOwed() const;

    // Ends the current subject: waits, up to `milliseconds` in all, until
    // every request about it has been answered, and sets those answers
    // aside; the status bytes they held.
    std::bitset<128> NextSubject(std::uint16_t milliseconds);

    // Waits `milliseconds` with nothing asked (for a device to appear),
    // telling the wait's seconds, or until the user asks the run to stop;
    // nothing is owed afterwards.
    void Idle(std::uint16_t milliseconds);

    // Tells the reporter, once, when the MIDI service has missed cycles
    // since the ledger began: what went wrong, or slowly, may be why.
    void NoticeMissedCycles();

private:
    bool TakeReply(std::uint8_t* status, UINT* input);
    bool AwaitReply(DWORD start, std::uint16_t milliseconds, std::uint8_t* status, UINT* input);

    MidiLink& link_;
    ProtocolReporter& reporter_;
    const StopToken& stop_;
    bool waiting_ = false;
    DWORD waitStart_ = 0;
    unsigned toldSeconds_ = 0;
    // For each input port: requests about the current subject that no reply
    // on it has been taken for.
    std::uint8_t owed_[kMaxPorts] = {};
    DWORD missedCycles_;  // as the service counted them when the ledger began
    bool toldMissedCycles_ = false;
};
