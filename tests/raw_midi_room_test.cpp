// The room in a card's raw MIDI buffers, read from the text the kernel
// shows for the card's device.
#include "platform/service/raw_midi_room.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

long RoomIn(const std::string& text, bool output, int substream = 0) {
    std::istringstream proc(text);
    return RawMidiRoom(proc, output, substream);
}

TEST(RawMidiRoom, AnOutputsFreeRoomAndTheLeastAnOpenInputHasLeft) {
    // A card's device, its two outputs open, its input too; then one of a
    // virtual device, whose inputs a program reads.
    const std::string card =
        "USB MIDI\n\nOutput 0\n  Tx bytes     : 96\n  Owner PID    : 7\n  Mode         : native\n"
        "  Buffer size  : 4096\n  Avail        : 4000\nOutput 1\n  Tx bytes     : 0\n  Owner PID    : 7\n"
        "  Mode         : native\n  Buffer size  : 4096\n  Avail        : 1500\nInput 0\n  Rx bytes     : 0\n"
        "  Owner PID    : 7\n  Buffer size  : 4096\n  Avail        : 20\n  Overruns     : 0\n";
    const std::string virtualDevice =
        "Virtual Raw MIDI\n\nInput 0\n  Rx bytes     : 0\n  Owner PID    : 9\n  Buffer size  : 4096\n"
        "  Avail        : 100\n  Overruns     : 0\nInput 1\n  Rx bytes     : 0\n  Owner PID    : 9\n"
        "  Buffer size  : 2048\n  Avail        : 300\n  Overruns     : 0\n";
    EXPECT_EQ(RoomIn(card, true, 0), 4000);
    EXPECT_EQ(RoomIn(card, true, 1), 1500);
    EXPECT_EQ(RoomIn(card, false), 4076);
    EXPECT_EQ(RoomIn(virtualDevice, false), 1748);
    // One input full: no room, whatever the others have.
    EXPECT_EQ(RoomIn("Input 0\n  Buffer size  : 64\n  Avail        : 64\n" + virtualDevice, false), 0);
    // Closed, a substream shows no buffer: its room is not known.
    EXPECT_EQ(RoomIn("USB MIDI\n\nOutput 0\n  Tx bytes     : 0\nInput 0\n  Rx bytes     : 0\n", true), -1);
    EXPECT_EQ(RoomIn(card, true, 2), -1);
}

}  // namespace
