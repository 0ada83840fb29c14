#include "protocol/reply_ledger.h"

#include <algorithm>

#include "console/console.h"
#include "midi/midi_link.h"
#include "platform/host.h"

namespace {

// For each input port: requests about the current subject that no reply on
// it has been taken for.
std::uint8_t owed[kMaxPorts] = {};

// Takes the reply waiting on the lowest-numbered open input, if any. A
// one-byte message is no reply.
bool TakeReply(std::uint8_t* status, UINT* input) {
    for (UINT i = 0; i < kMaxPorts; ++i) {
        if (!MidiInIsOpen(i) || !Mailbox(i).Take(status)) continue;
        *input = i;
        if (owed[i] > 0) --owed[i];
        return true;
    }
    return false;
}

// How long a wait sleeps at a time at most: a request to stop, and what a
// long wait shows, are looked at in between.
constexpr DWORD kWakeEveryMs = 100;

// Every message that arrives ends a wait for input; one that is no reply
// does not end the wait, so that a stray byte cannot end every later wait at
// once.
bool AwaitReply(DWORD start, std::uint16_t milliseconds, std::uint8_t* status, UINT* input) {
    while (!TakeReply(status, input)) {
        const DWORD waited = timeGetTime() - start;
        if (waited >= milliseconds || StopRequested()) return false;
        TickWait();
        AwaitInput(std::min<DWORD>(milliseconds - waited, kWakeEveryMs));
    }
    return true;
}

}  // namespace

void RequestSent() {
    for (UINT i = 0; i < kMaxPorts; ++i) {
        if (MidiInIsOpen(i) && owed[i] < UINT8_MAX) ++owed[i];
    }
}

bool AwaitAnswer(std::uint16_t milliseconds, std::uint8_t* status, UINT* input) {
    UINT from = 0;
    if (!AwaitReply(timeGetTime(), milliseconds, status, &from)) return false;
    if (input != nullptr) *input = from;
    return true;
}

bool AnswersOwed() {
    for (UINT i = 0; i < kMaxPorts; ++i) {
        if (MidiInIsOpen(i) && owed[i] > 0) return true;
    }
    return false;
}

std::bitset<128> NextSubject(std::uint16_t milliseconds) {
    const DWORD start = timeGetTime();
    std::bitset<128> setAside;
    std::uint8_t status = 0;
    UINT input = 0;
    while (AnswersOwed() && AwaitReply(start, milliseconds, &status, &input)) setAside.set(status & 0x7F);
    // Nothing has been asked about the next subject yet: whatever is in the
    // mailboxes cannot answer it.
    for (UINT i = 0; i < kMaxPorts; ++i) {
        owed[i] = 0;
        Mailbox(i).Clear();
    }
    return setAside;
}
