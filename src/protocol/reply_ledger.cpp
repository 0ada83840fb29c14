#include "protocol/reply_ledger.h"

#include "midi/midi_link.h"

namespace {

// Requests about the current subject that no reply has been taken for.
std::uint8_t owed = 0;

// Every message that arrives ends a wait for input; a one-byte message is no
// reply, and the wait goes on for the rest of the time, so that a stray byte
// cannot end every later wait at once.
bool AwaitReply(DWORD start, std::uint16_t milliseconds, std::uint8_t* status) {
    while (Mailbox().receivedCount <= 1) {
        const DWORD waited = timeGetTime() - start;
        if (waited >= milliseconds) break;
        AwaitInput(milliseconds - waited);
    }
    if (Mailbox().receivedCount <= 1) return false;
    Mailbox().receivedCount = 0;
    *status = ReplyStatus();
    return true;
}

}  // namespace

void RequestSent() {
    if (owed < UINT8_MAX) ++owed;
}

bool AwaitAnswer(std::uint16_t milliseconds, std::uint8_t* status) {
    if (!AwaitReply(timeGetTime(), milliseconds, status)) return false;
    if (owed > 0) --owed;
    return true;
}

void NextSubject(std::uint16_t milliseconds) {
    const DWORD start = timeGetTime();
    std::uint8_t dropped = 0;
    while (owed > 0 && AwaitReply(start, milliseconds, &dropped)) --owed;
    owed = 0;
    // Nothing has been asked about the next subject yet: whatever is in the
    // mailbox cannot answer it.
    Mailbox().receivedCount = 0;
}
