#include "protocol/wire_protocol.h"

#include "midi/midi_link.h"

void HexEncodeByte(std::uint8_t b, std::uint8_t* out) {
    const auto digit = [](unsigned nibble) {
        return static_cast<std::uint8_t>(nibble < 10 ? '0' + nibble : 'A' + nibble - 10);
    };
    out[0] = digit(b >> 4);
    out[1] = digit(b & 0x0F);
}

bool AwaitReply(std::uint16_t milliseconds, std::uint8_t* status) {
    // Every message that arrives ends a wait for input; a one-byte message
    // is no reply, and the wait goes on for the rest of the time, so that a
    // stray byte cannot end every later wait at once.
    const DWORD start = timeGetTime();
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
