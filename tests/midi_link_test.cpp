// The MIDI link on the simulated platform: what goes on the wire, what the
// mailboxes hold, and what the platform is left with.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "midi/midi_link.h"
#include "sim/sim_platform.h"
#include "support/scene.h"

namespace {

class MidiLinkTest : public testing::Test {
protected:
    void SetUp() override { SetUpScene(2, 1, {0}, {0, 1}, nullptr); }
    MidiLink link;
};

// The frames themselves are checked where the search and the transfer send them.
TEST_F(MidiLinkTest, SendSysExReturnsOnceThePlatformLetsGo) {
    const Bytes body(23, '7');
    EXPECT_EQ(link.SendSysEx(0, body.data(), 1), MMSYSERR_INVALHANDLE) << "no output port open";
    ASSERT_EQ(link.OpenMidiOut(0), MMSYSERR_NOERROR);
    EXPECT_EQ(link.SendSysEx(0, body.data(), 22), MMSYSERR_NOERROR);
    const std::size_t calls = sim::Calls().size();
    EXPECT_EQ(link.SendSysEx(0, body.data(), 23), MMSYSERR_INVALPARAM);
    EXPECT_EQ(sim::Calls().size(), calls) << "a body too long for a chunk reached the platform";

    sim::SetSendResult([](std::size_t) { return MMSYSERR_NODRIVER; });
    EXPECT_EQ(link.SendSysEx(0, body.data(), 1), MMSYSERR_NODRIVER);
    EXPECT_EQ(sim::Sent().size(), 1u);
    // A closed port's handle is refused, as winmm refuses it.
    EXPECT_TRUE(link.CloseMidiOut());
    EXPECT_EQ(link.SendSysEx(0, body.data(), 1), MMSYSERR_INVALHANDLE);
}

TEST_F(MidiLinkTest, PortsOpenNamedAndCloseCleanly) {
    link.Mailbox(0).Post(3, 0x1A);
    ASSERT_EQ(link.OpenMidiIn(0), MMSYSERR_NOERROR);
    ASSERT_EQ(link.OpenMidiIn(1, "In 1"), MMSYSERR_NOERROR);
    EXPECT_EQ(link.OpenMidiIn(1), MMSYSERR_ALLOCATED);
    const std::size_t calls = sim::Calls().size();
    EXPECT_EQ(link.OpenMidiIn(10), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(sim::Calls().size(), calls) << "an input past the link's ten reached the platform";
    // A port that no longer bears the name it was chosen by is not opened.
    EXPECT_EQ(link.OpenMidiOut(0, "Out 9"), MMSYSERR_BADDEVICEID);
    EXPECT_FALSE(sim::OutputIsOpen(0));
    ASSERT_EQ(link.OpenMidiOut(0), MMSYSERR_NOERROR);
    EXPECT_STREQ(link.MidiInName(1), "In 1");
    EXPECT_STREQ(link.MidiOutName(0), "Out 0");
    EXPECT_EQ(link.Mailbox(0).Count(), 3) << "opening cleared the mailbox";

    // An input holding its buffer refuses to close: it is stopped and the
    // buffer taken back first.
    link.CloseOtherMidiIns(1);
    EXPECT_FALSE(sim::InputIsOpen(0));
    EXPECT_TRUE(link.MidiInIsOpen(1) && sim::InputIsOpen(1));
    EXPECT_TRUE(link.CloseMidiIn());
    EXPECT_TRUE(link.CloseMidiOut());
    EXPECT_FALSE(sim::InputIsOpen(1) || sim::OutputIsOpen(0));
    const std::size_t closed = sim::Calls().size();
    EXPECT_FALSE(link.CloseMidiIn());
    EXPECT_FALSE(link.CloseMidiOut());
    EXPECT_EQ(sim::Calls().size(), closed) << "closing what was not open reached the platform";

    // Ports that do not open, or start, are not open afterwards; a link
    // that goes closes what it opened.
    sim::Reset();
    sim::AddInput({"Busy", MMSYSERR_NOERROR, MMSYSERR_ALLOCATED});
    sim::AddInput({"Stuck", MMSYSERR_NOERROR, MMSYSERR_NOERROR, MMSYSERR_NOMEM});
    sim::AddInput({"In 2"});
    sim::AddOutput({"Busy", MMSYSERR_NOERROR, MMSYSERR_ALLOCATED});
    sim::AddOutput({"Out 1"});
    {
        MidiLink other;
        EXPECT_EQ(other.OpenMidiIn(0), MMSYSERR_ALLOCATED);
        EXPECT_EQ(other.OpenMidiIn(1), MMSYSERR_NOMEM);
        EXPECT_FALSE(sim::InputIsOpen(1));
        EXPECT_EQ(other.OpenMidiOut(0), MMSYSERR_ALLOCATED);
        ASSERT_EQ(other.OpenMidiIn(2), MMSYSERR_NOERROR);
        ASSERT_EQ(other.OpenMidiOut(1), MMSYSERR_NOERROR);
    }
    EXPECT_FALSE(sim::InputIsOpen(2) || sim::OutputIsOpen(1));
    EXPECT_LT(std::find(sim::Calls().begin(), sim::Calls().end(), "midiInClose 2"),
              std::find(sim::Calls().begin(), sim::Calls().end(), "midiOutClose 1"))
        << "the input closes first";
}

TEST_F(MidiLinkTest, EachInputsMailboxKeepsItsLatestMessage) {
    ASSERT_EQ(link.OpenMidiIn(0), MMSYSERR_NOERROR);
    ASSERT_EQ(link.OpenMidiIn(1), MMSYSERR_NOERROR);
    // Each message's buffer goes back to its port, or the next went unheard.
    sim::ScheduleArrival(1, {0, 1}, {0xF0, 0x1A, 0xF7});
    sim::ScheduleArrival(2, {0, 1}, {0xF0, 0x1A, 0xF7});
    sim::ScheduleArrival(3, {0, 1}, {0xF0, 0x20, 0x01, 0xF7});
    sim::ScheduleArrival(4, {0, 1}, {0x90, 0x40, 0x7F}, sim::Arrival::kShort);
    sim::ScheduleArrival(5, {0, 1}, {0xF0, 0x1A}, sim::Arrival::kIncomplete);
    Sleep(10);
    for (UINT input : {0u, 1u}) {
        std::uint8_t status = 0;
        EXPECT_EQ(link.Mailbox(input).Count(), 4);
        EXPECT_TRUE(link.Mailbox(input).Take(&status));
        EXPECT_EQ(status, 0x20);
    }
    // After the incomplete one too.
    sim::ScheduleArrival(1, {0, 1}, {0xF0, 0x1A, 0x01, 0xF7});
    Sleep(1);
    EXPECT_EQ(link.Mailbox(1).Count(), 4) << "a message after an incomplete one went unheard";
    // Closed, an input hears nothing more; a notification already under way
    // still counts, but its buffer is not handed to the closed port.
    link.CloseOtherMidiIns(1);
    link.Mailbox(0).Clear();
    sim::ScheduleArrival(1, {0, 1}, {0xF0, 0x1A, 0xF7});
    Sleep(1);
    EXPECT_EQ(link.Mailbox(0).Count(), 0);
    EXPECT_EQ(link.Mailbox(1).Count(), 3);
}

TEST(ReplyMailbox, AReplyArrivingWhileOneIsTakenIsNeitherLostNorTakenTwice) {
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
