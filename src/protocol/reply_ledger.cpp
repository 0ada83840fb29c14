#include "protocol/reply_ledger.h"

#include <algorithm>

namespace {

// How long a wait sleeps at a time at most: a request to stop, and what a
// long wait shows, are looked at in between.
constexpr DWORD kWakeEveryMs = 100;

}  // namespace

// Takes the reply waiting on the lowest-numbered open input, if any. A
// one-byte message is no reply.
bool ReplyLedger::TakeReply(std::uint8_t* status, UINT* input) {
    for (UINT i = 0; i < kMaxPorts; ++i) {
        if (!link_.MidiInIsOpen(i) || !link_.Mailbox(i).Take(status)) continue;
        *input = i;
        if (owed_[i] > 0) --owed_[i];
        return true;
    }
    return false;
}

// Every message that arrives ends a wait for input; one that is no reply
// does not end the wait, so that a stray byte cannot end every later wait at
// once.
bool ReplyLedger::AwaitReply(DWORD start, std::uint16_t milliseconds, std::uint8_t* status, UINT* input) {
    NoticeMissedCycles();
    while (!TakeReply(status, input)) {
        NoticeMissedCycles();
        const DWORD now = timeGetTime();
        if (now - start >= milliseconds || stop_.Requested()) return false;
        const unsigned seconds = (now - waitStart_) / 1000;
        if (waiting_ && seconds > toldSeconds_) {
            toldSeconds_ = seconds;
            reporter_.Tell(event::Waiting{seconds});
        }
        link_.AwaitInput(std::min<DWORD>(milliseconds - (now - start), kWakeEveryMs));
    }
    return true;
}

void ReplyLedger::WaitBegins(Wait what) {
    waiting_ = true;
    waitStart_ = timeGetTime();
    toldSeconds_ = 0;
    reporter_.Tell(event::WaitBegins{what});
}

void ReplyLedger::WaitEnds() {
    waiting_ = false;
    reporter_.Tell(event::WaitEnds{});
}

void ReplyLedger::Idle(std::uint16_t milliseconds) {
    std::uint8_t status = 0;
    UINT input = 0;
    AwaitReply(timeGetTime(), milliseconds, &status, &input);
    NextSubject(0);
}

void ReplyLedger::NoticeMissedCycles() {
    if (toldMissedCycles_ || MidiServiceMissedCycles() == missedCycles_) return;
    toldMissedCycles_ = true;
    reporter_.Tell(event::ServiceMissedCycles{});
}

void ReplyLedger::RequestSent() {
    for (UINT i = 0; i < kMaxPorts; ++i) {
        if (link_.MidiInIsOpen(i) && owed_[i] < UINT8_MAX) ++owed_[i];
    }
}

bool ReplyLedger::AwaitAnswer(std::uint16_t milliseconds, std::uint8_t* status, UINT* input) {
    UINT from = 0;
    if (!AwaitReply(timeGetTime(), milliseconds, status, &from)) return false;
    if (input != nullptr) *input = from;
    return true;
}

bool ReplyLedger::AnswersOwed() const {
    for (UINT i = 0; i < kMaxPorts; ++i) {
        if (link_.MidiInIsOpen(i) && owed_[i] > 0) return true;
    }
    return false;
}

std::bitset<128> ReplyLedger::NextSubject(std::uint16_t milliseconds) {
    const DWORD start = timeGetTime();
    std::bitset<128> setAside;
    std::uint8_t status = 0;
    UINT input = 0;
    while (AnswersOwed() && AwaitReply(start, milliseconds, &status, &input)) setAside.set(status & 0x7F);
    // Nothing has been asked about the next subject yet: whatever is in the
    // mailboxes cannot answer it.
    for (UINT i = 0; i < kMaxPorts; ++i) {
        owed_[i] = 0;
        link_.Mailbox(i).Clear();
    }
    return setAside;
}
