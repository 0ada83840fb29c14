#include "protocol/wire_protocol.h"

void HexEncodeByte(std::uint8_t b, std::uint8_t* out) {
    const auto digit = [](unsigned nibble) {
        return static_cast<std::uint8_t>(nibble < 10 ? '0' + nibble : 'A' + nibble - 10);
    };
    out[0] = digit(b >> 4);
    out[1] = digit(b & 0x0F);
}
