// The MIDI link on the simulated platform: its ports, what the mailboxes
// hold, and what the platform is left with. The frames it sends are
// checked where the search and the transfer send them.
#include "midi/midi_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/scene.h"

namespace {

TEST(MidiLink, PortsOpenNamedAndCloseCleanly) {
    SetUpScene(2, 1);
    sim::AddInput({"Busy", MMSYSERR_NOERROR, MMSYSERR_ALLOCATED});
    sim::AddInput({"Stuck", MMSYSERR_NOERROR, MMSYSERR_NOERROR, MMSYSERR_NOMEM});
    sim::AddOutput({"Busy", MMSYSERR_NOERROR, MMSYSERR_ALLOCATED});
    {
        MidiLink link;
        link.Mailbox(0).Post(3, 0x1A);
        ASSERT_EQ(link.OpenMidiIn(0), MMSYSERR_NOERROR);
        ASSERT_EQ(link.OpenMidiIn(1, "In 1"), MMSYSERR_NOERROR);
        EXPECT_EQ(link.OpenMidiIn(1), MMSYSERR_ALLOCATED);
        EXPECT_EQ(link.OpenMidiIn(2), MMSYSERR_ALLOCATED);
        EXPECT_EQ(link.OpenMidiIn(3), MMSYSERR_NOMEM);
        EXPECT_FALSE(sim::InputIsOpen(3)) << "an input that did not start is left open";
        EXPECT_EQ(link.OpenMidiOut(1), MMSYSERR_ALLOCATED);
        const std::size_t calls = sim::Calls().size();
        EXPECT_EQ(link.OpenMidiIn(10), MMSYSERR_BADDEVICEID);
        EXPECT_EQ(sim::Calls().size(), calls) << "an input past the link's ten reached the platform";
        // A port that no longer bears the name it was chosen by is not opened.
        EXPECT_EQ(link.OpenMidiOut(0, "Out 9"), MMSYSERR_BADDEVICEID);
        ASSERT_EQ(link.OpenMidiOut(0, "Out 0"), MMSYSERR_NOERROR);
        EXPECT_STREQ(link.MidiInName(1), "In 1");
        EXPECT_STREQ(link.MidiOutName(0), "Out 0");
        EXPECT_EQ(link.Mailbox(0).Count(), 3) << "opening cleared the mailbox";
        // An input holding its buffer refuses to close: it is stopped and
        // the buffer taken back first.
        link.CloseOtherMidiIns(1);
        EXPECT_FALSE(sim::InputIsOpen(0));
        EXPECT_TRUE(link.MidiInIsOpen(1) && sim::InputIsOpen(1));
    }
    // The link that went closed what it had open, the inputs first; closing
    // what is not open reaches no platform.
    EXPECT_FALSE(sim::InputIsOpen(1) || sim::OutputIsOpen(0));
    const std::vector<std::string>& calls = sim::Calls();
    EXPECT_EQ(calls.back(), "midiOutClose 0");
    EXPECT_EQ(calls[calls.size() - 2], "midiInClose 1");
}

TEST(MidiLink, EachInputsMailboxKeepsItsLatestMessage) {
    SetUpScene(2, 1);
    MidiLink link;
    ASSERT_EQ(link.OpenMidiIn(0), MMSYSERR_NOERROR);
    ASSERT_EQ(link.OpenMidiIn(1), MMSYSERR_NOERROR);
    // Each message's buffer goes back to its port, or the next went unheard;
    // short messages are no replies, and an incomplete one's buffer goes back
    // too.
    sim::ScheduleArrival(1, {0, 1}, {0xF0, 0x1A, 0xF7});
    sim::ScheduleArrival(2, {0, 1}, {0xF0, 0x1A, 0xF7});
    sim::ScheduleArrival(3, {0, 1}, {0xF0, 0x20, 0x01, 0xF7});
    sim::ScheduleArrival(4, {0, 1}, {0x90, 0x40, 0x7F}, sim::Arrival::kShort);
    Sleep(10);
    for (UINT input : {0u, 1u}) {
        std::uint8_t status = 0;
        EXPECT_EQ(link.Mailbox(input).Count(), 4);
        EXPECT_TRUE(link.Mailbox(input).Take(&status));
        EXPECT_EQ(status, 0x20);
    }
    sim::ScheduleArrival(1, {0, 1}, {0xF0, 0x1A}, sim::Arrival::kIncomplete);
    sim::ScheduleArrival(2, {0, 1}, {0xF0, 0x1A, 0x01, 0xF7});
    Sleep(2);
    EXPECT_EQ(link.Mailbox(1).Count(), 4) << "a message after an incomplete one went unheard";
    // Closed, an input hears nothing more.
    link.CloseOtherMidiIns(1);
    link.Mailbox(0).Clear();
    sim::ScheduleArrival(1, {0, 1}, {0xF0, 0x1A, 0xF7});
    Sleep(1);
    EXPECT_EQ(link.Mailbox(0).Count(), 0);
    EXPECT_EQ(link.Mailbox(1).Count(), 3);
}

TEST(MidiLink, AReplyArrivingWhileOneIsTakenIsNeitherLostNorTakenTwice) {
    // Replies whose status byte follows from their count, posted as fast as
    // the service's thread can while the main flow takes them.
    constexpr std::int16_t kLast = 20000;
    for (int round = 0; round < 50 && !HasFailure(); ++round) {
        ReplyMailbox mailbox;
        std::atomic<bool> posted{false};
        std::thread service([&] {
            for (std::int16_t count = 2; count <= kLast; ++count) {
                mailbox.Post(count, static_cast<std::uint8_t>(count & 0x7F));
            }
            posted = true;
        });
        std::int16_t last = 0;
        for (bool finished = false; !finished && !HasFailure();) {
            finished = posted;  // then this take comes after the last reply
            std::uint8_t status = 0;
            std::int16_t count = 0;
            if (!mailbox.Take(&status, &count)) continue;
            EXPECT_GT(count, last) << "taken twice";
            EXPECT_EQ(status, count & 0x7F) << "a count paired with another reply's status";
            last = count;
        }
        service.join();
        EXPECT_EQ(last, kLast) << "the last reply was lost";
    }
}

}  // namespace
