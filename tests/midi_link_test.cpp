// The MIDI link on the simulated platform: what goes on the wire, what the
// mailboxes hold, and which platform calls are made.
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
    void TearDown() override {
        CloseMidiIn();
        CloseMidiOut();
    }
    // The platform calls made since `mark` calls had been made.
    static std::vector<std::string> CallsSince(std::size_t mark) {
        return {sim::Calls().begin() + static_cast<std::ptrdiff_t>(mark), sim::Calls().end()};
    }
};

// The frames themselves are checked where the search and the transfer send them.
TEST_F(MidiLinkTest, SendSysExReturnsOnceThePlatformLetsGo) {
    const Bytes body(23, '7');
    EXPECT_EQ(SendSysEx(0, body.data(), 1), MMSYSERR_INVALHANDLE) << "no output port open";
    ASSERT_EQ(OpenMidiOut(0), MMSYSERR_NOERROR);
    EXPECT_EQ(SendSysEx(0, body.data(), 22), MMSYSERR_NOERROR);
    const std::size_t calls = sim::Calls().size();
    EXPECT_EQ(SendSysEx(0, body.data(), 23), MMSYSERR_INVALPARAM);
    EXPECT_EQ(sim::Calls().size(), calls) << "a body too long for a chunk reached the platform";

    sim::SetSendResult([](std::size_t) { return MMSYSERR_NODRIVER; });
    EXPECT_EQ(SendSysEx(0, body.data(), 1), MMSYSERR_NODRIVER);
    EXPECT_EQ(sim::Sent().size(), 1u);
    // A closed port's handle is refused, as winmm refuses it.
    EXPECT_TRUE(CloseMidiOut());
    EXPECT_EQ(SendSysEx(0, body.data(), 1), MMSYSERR_INVALHANDLE);
}

TEST_F(MidiLinkTest, PortsOpenNamedAndCloseCleanly) {
    Mailbox(0).Post(3, 0x1A);
    ASSERT_EQ(OpenMidiIn(0), MMSYSERR_NOERROR);
    ASSERT_EQ(OpenMidiIn(1), MMSYSERR_NOERROR);
    EXPECT_EQ(OpenMidiIn(1), MMSYSERR_ALLOCATED);
    std::size_t mark = sim::Calls().size();
    EXPECT_EQ(OpenMidiIn(10), MMSYSERR_BADDEVICEID);
    EXPECT_TRUE(CallsSince(mark).empty()) << "an input past the link's ten reached the platform";
    ASSERT_EQ(OpenMidiOut(0), MMSYSERR_NOERROR);
    EXPECT_STREQ(MidiInName(1), "In 1");
    EXPECT_STREQ(MidiOutName(0), "Out 0");
    EXPECT_EQ(Mailbox(0).Count(), 3) << "opening cleared the mailbox";

    // An input is stopped and its buffer taken back first: a port holding a
    // buffer does not close.
    mark = sim::Calls().size();
    CloseOtherMidiIns(1);
    EXPECT_EQ(CallsSince(mark), (std::vector<std::string>{"midiInStop", "midiInReset", "midiInUnprepareHeader",
                                                          "midiInClose 0"}));
    EXPECT_FALSE(sim::InputIsOpen(0));
    EXPECT_TRUE(MidiInIsOpen(1) && sim::InputIsOpen(1));
    EXPECT_TRUE(CloseMidiIn());
    EXPECT_TRUE(CloseMidiOut());
    mark = sim::Calls().size();
    EXPECT_FALSE(CloseMidiIn());
    EXPECT_FALSE(CloseMidiOut());
    EXPECT_TRUE(CallsSince(mark).empty()) << "closing what was not open reached the platform";

    // Ports that do not open, or start, are not open afterwards.
    sim::Reset();
    sim::AddInput({"Busy", MMSYSERR_NOERROR, MMSYSERR_ALLOCATED});
    sim::AddInput({"Stuck", MMSYSERR_NOERROR, MMSYSERR_NOERROR, MMSYSERR_NOMEM});
    sim::AddOutput({"Busy", MMSYSERR_NOERROR, MMSYSERR_ALLOCATED});
    EXPECT_EQ(OpenMidiIn(0), MMSYSERR_ALLOCATED);
    EXPECT_EQ(OpenMidiIn(1), MMSYSERR_NOMEM);
    EXPECT_EQ(sim::CountCalls("midiInClose 1"), 1u);
    EXPECT_EQ(OpenMidiOut(0), MMSYSERR_ALLOCATED);
    EXPECT_FALSE(CloseMidiIn() || CloseMidiOut());
}

TEST_F(MidiLinkTest, EachInputsMailboxKeepsItsLatestMessage) {
    ASSERT_EQ(OpenMidiIn(0), MMSYSERR_NOERROR);
    ASSERT_EQ(OpenMidiIn(1), MMSYSERR_NOERROR);
    // Each message's buffer goes back to its port as the platform asks.
    std::size_t mark = sim::Calls().size();
    sim::ScheduleArrival(1, {0, 1}, {0xF0, 0x1A, 0xF7});
    Sleep(1);
    EXPECT_EQ(CallsSince(mark), (std::vector<std::string>{"midiInUnprepareHeader", "midiInPrepareHeader",
                                                          "midiInAddBuffer", "midiInUnprepareHeader",
                                                          "midiInPrepareHeader", "midiInAddBuffer"}));
    sim::ScheduleArrival(2, {0, 1}, {0xF0, 0x1A, 0xF7});
    sim::ScheduleArrival(3, {0, 1}, {0xF0, 0x20, 0x01, 0xF7});
    sim::ScheduleArrival(4, {0, 1}, {0x90, 0x40, 0x7F}, sim::Arrival::kShort);
    sim::ScheduleArrival(5, {0, 1}, {0xF0, 0x1A}, sim::Arrival::kIncomplete);
    Sleep(10);
    for (UINT input : {0u, 1u}) {
        std::uint8_t status = 0;
        EXPECT_EQ(Mailbox(input).Count(), 4);
        EXPECT_TRUE(Mailbox(input).Take(&status));
        EXPECT_EQ(status, 0x20);
    }
    // Closed, an input hears nothing more; a notification already under way
    // still counts, but its buffer is not handed to the closed port.
    CloseOtherMidiIns(1);
    Mailbox(0).Clear();
    sim::ScheduleArrival(1, {0, 1}, {0xF0, 0x1A, 0xF7});
    Sleep(1);
    EXPECT_EQ(Mailbox(0).Count(), 0);
    EXPECT_EQ(Mailbox(1).Count(), 3) << "a message after the others went unheard";
    mark = sim::Calls().size();
    char late[] = {'\xF0', '\x1A', '\x01', '\x02', '\xF7'};
    MIDIHDR header = {};
    header.lpData = late;
    header.dwBytesRecorded = sizeof late;
    OnMidiInput(nullptr, MIM_LONGDATA, 0, reinterpret_cast<DWORD_PTR>(&header), 0);
    EXPECT_EQ(Mailbox(0).Count(), 5);
    EXPECT_TRUE(CallsSince(mark).empty()) << "the buffer was queued on a closed port";
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
