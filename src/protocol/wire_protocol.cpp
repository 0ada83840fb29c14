#include "protocol/wire_protocol.h"

#include "midi/midi_link.h"

void HexEncodeByte(std::uint8_t b, std::uint8_t* out) {
    const auto digit = [](unsigned nibble) {
        return static_cast<std::uint8_t>(nibble < 10 ? '0' + nibble : 'A' + nibble - 10);
    };
    out[0] = digit(b >> 4);
    out[1] = digit(b & 0x0F);
}

bool AwaitReply(std::uint16_t polls, std::uint8_t* status) {
    // A one-byte message is no reply: waiting on for the real one keeps a
    // stray byte from ending every later wait at once.
    for (std::uint16_t i = 0; i < polls && Mailbox().receivedCount <= 1; ++i) Sleep(1);
    if (Mailbox().receivedCount <= 1) return false;
    Mailbox().receivedCount = 0;
    *status = ReplyStatus();
    return true;
}
