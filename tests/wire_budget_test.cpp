// What a port that leads to hardware lets ahead of its wire, on a clock the
// test sets.
#include "platform/service/wire_budget.h"

#include <gtest/gtest.h>

namespace {

// The bytes of `size`-byte messages a port lets go at `nowMs`, one after
// another, until one is held.
std::size_t SendUntilHeld(WireBudget& wire, std::size_t size, std::uint32_t nowMs, std::uint32_t replies) {
    std::size_t sent = 0;
    while (wire.Fits(size, nowMs, replies)) {
        wire.Sent(size);
        sent += size;
    }
    return sent;
}

TEST(WireBudget, NoMoreThanHalfACardsBufferRunsAheadOfTheWire) {
    WireBudget wire;
    const std::uint32_t start = 0xFFFFFF00u;  // the millisecond clock wraps meanwhile
    // At once: 2048 bytes of 24-byte chunks, no more.
    EXPECT_EQ(SendUntilHeld(wire, 24, start, 0), 2040u);
    // 3125 bytes a second drain: 3.125 bytes a millisecond. The next 24
    // bytes fit after 6 ms (8 bytes were left), the next after 7 more.
    EXPECT_FALSE(wire.Fits(24, start + 5, 0));
    EXPECT_TRUE(wire.Fits(24, start + 6, 0));
    wire.Sent(24);
    EXPECT_FALSE(wire.Fits(24, start + 12, 0));
    EXPECT_TRUE(wire.Fits(24, start + 13, 0));
    wire.Sent(24);
    // A second drains 3125 bytes: all of them.
    EXPECT_EQ(SendUntilHeld(wire, 24, start + 1013, 0), 2040u);
    // A reply: the device has what was sent before it, and the wire is
    // empty at once.
    EXPECT_FALSE(wire.Fits(24, start + 1014, 0));
    EXPECT_EQ(SendUntilHeld(wire, 24, start + 1014, 1), 2040u);
    EXPECT_FALSE(wire.Fits(24, start + 1014, 1)) << "a reply counted twice";
    // After the next, the whole budget at once, to the byte.
    EXPECT_TRUE(wire.Fits(2048, start + 1014, 2));
}

}  // namespace
