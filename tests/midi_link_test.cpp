// The MIDI link on the simulated platform: what goes on the wire, what the
// mailbox holds, and which platform calls are made.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "midi/midi_link.h"
#include "sim/sim_platform.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class MidiLinkTest : public testing::Test {
protected:
    void SetUp() override {
        CloseMidiIn();
        CloseMidiOut();
        sim::Reset();
        Mailbox(0).receivedCount = 0;
        sim::AddInput({"Tessarine In"});
        sim::AddOutput({"Tessarine Out"});
        sim::ConnectDevice({0}, {0});
    }
    void TearDown() override {
        CloseMidiIn();
        CloseMidiOut();
    }
    // The platform calls made since `mark` calls had been made.
    static std::vector<std::string> CallsSince(std::size_t mark) {
        return {sim::Calls().begin() + static_cast<std::ptrdiff_t>(mark), sim::Calls().end()};
    }
};

TEST_F(MidiLinkTest, SendSysExPutsTheBodyBetweenF0AndF7) {
    ASSERT_EQ(OpenMidiOut(0), MMSYSERR_NOERROR);
    const Bytes handshake = {0x31, 0x4B, 0x62, 0x19, 0x57, 0x03, 0x6C};
    EXPECT_EQ(SendSysEx(handshake.data(), 7), MMSYSERR_NOERROR);

    Bytes longest(23);
    for (std::size_t i = 0; i < longest.size(); ++i) longest[i] = static_cast<std::uint8_t>('0' + i);
    EXPECT_EQ(SendSysEx(longest.data(), 22), MMSYSERR_NOERROR);

    const std::size_t calls = sim::Calls().size();
    EXPECT_EQ(SendSysEx(longest.data(), 23), MMSYSERR_INVALPARAM);
    EXPECT_EQ(sim::Calls().size(), calls) << "a body too long for a chunk reached the platform";

    ASSERT_EQ(sim::Sent().size(), 2u);
    EXPECT_EQ(sim::Sent()[0].bytes, (Bytes{0xF0, 0x31, 0x4B, 0x62, 0x19, 0x57, 0x03, 0x6C, 0xF7}));
    Bytes framed = {0xF0};
    framed.insert(framed.end(), longest.begin(), longest.begin() + 22);
    framed.push_back(0xF7);
    EXPECT_EQ(sim::Sent()[1].bytes, framed);
}

TEST_F(MidiLinkTest, SendSysExWaitsAHundredMillisecondsWhileThePlatformHoldsTheMessage) {
    ASSERT_EQ(OpenMidiOut(0), MMSYSERR_NOERROR);
    sim::SetStillPlayingRounds(3);
    const Bytes body = {0x01};
    EXPECT_EQ(SendSysEx(body.data(), 1), MMSYSERR_NOERROR);
    EXPECT_EQ(sim::NowMs(), 300u);
    EXPECT_EQ(sim::CountCalls("midiOutUnprepareHeader"), 4u);
}

TEST_F(MidiLinkTest, SendSysExReturnsThePlatformsFailure) {
    const Bytes body = {0x01};
    EXPECT_EQ(SendSysEx(body.data(), 1), MMSYSERR_INVALHANDLE) << "no output port open";

    ASSERT_EQ(OpenMidiOut(0), MMSYSERR_NOERROR);
    sim::SetSendResult([](std::size_t) { return MMSYSERR_NODRIVER; });
    EXPECT_EQ(SendSysEx(body.data(), 1), MMSYSERR_NODRIVER);
    EXPECT_TRUE(sim::Sent().empty());
}

TEST_F(MidiLinkTest, ClosingWhatIsNotOpenMakesNoPlatformCall) {
    ASSERT_EQ(OpenMidiOut(0), MMSYSERR_NOERROR);
    EXPECT_TRUE(CloseMidiOut());
    EXPECT_FALSE(sim::OutputIsOpen(0));
    const std::size_t calls = sim::Calls().size();
    EXPECT_FALSE(CloseMidiOut());
    EXPECT_FALSE(CloseMidiIn());
    EXPECT_EQ(sim::Calls().size(), calls);
}

TEST_F(MidiLinkTest, OpeningNamesThePortsAndLeavesTheCountAlone) {
    Mailbox(0).receivedCount = 3;
    ASSERT_EQ(OpenMidiIn(0), MMSYSERR_NOERROR);
    ASSERT_EQ(OpenMidiOut(0), MMSYSERR_NOERROR);
    EXPECT_STREQ(MidiInName(0), "Tessarine In");
    EXPECT_STREQ(MidiOutName(), "Tessarine Out");
    EXPECT_EQ(Mailbox(0).receivedCount, 3);
}

TEST_F(MidiLinkTest, TheMailboxKeepsTheLatestReplyOnly) {
    ASSERT_EQ(OpenMidiIn(0), MMSYSERR_NOERROR);
    sim::ScheduleArrival(2, {0xF0, 0x1A, 0xF7});
    sim::ScheduleArrival(3, {0xF0, 0x20, 0x01, 0xF7});
    sim::ScheduleArrival(4, {0x90, 0x40, 0x7F}, sim::Arrival::kShort);
    Sleep(10);
    EXPECT_EQ(Mailbox(0).receivedCount, 4);
    EXPECT_EQ(Mailbox(0).status, 0x20);
    EXPECT_TRUE(sim::InputHasQueuedBuffer(0)) << "the buffer was not handed back";
}

TEST_F(MidiLinkTest, IncompleteAndOverlongMessagesStillHandTheBufferBack) {
    ASSERT_EQ(OpenMidiIn(0), MMSYSERR_NOERROR);
    sim::ScheduleArrival(1, {0xF0, 0x1A}, sim::Arrival::kIncomplete);
    Sleep(1);
    EXPECT_EQ(Mailbox(0).receivedCount, 0);

    // Longer than the buffer: it comes back full, and the rest follows in
    // the buffer handed back.
    Bytes overlong(kReceiveBufferSize + 3, 0x11);
    overlong.front() = 0xF0;
    overlong.back() = 0xF7;
    sim::ScheduleArrival(1, overlong);
    Sleep(1);
    EXPECT_EQ(Mailbox(0).receivedCount, 3);
    EXPECT_EQ(Bytes(Mailbox(0).buffer, Mailbox(0).buffer + 3), (Bytes{0x11, 0x11, 0xF7}));

    sim::ScheduleArrival(1, {0xF0, 0x1A, 0xF7});
    Sleep(1);
    EXPECT_EQ(Mailbox(0).receivedCount, 3) << "a reply after them went unheard";
    EXPECT_EQ(Mailbox(0).status, 0x1A);
}

TEST_F(MidiLinkTest, CloseMidiInTakesTheBufferBackSoThePortReallyCloses) {
    ASSERT_EQ(OpenMidiIn(0), MMSYSERR_NOERROR);
    const std::size_t mark = sim::Calls().size();
    EXPECT_TRUE(CloseMidiIn());
    EXPECT_EQ(CallsSince(mark), (std::vector<std::string>{"midiInStop", "midiInReset",
                                                          "midiInUnprepareHeader", "midiInClose 0"}));
    EXPECT_FALSE(sim::InputIsOpen(0));

    Mailbox(0).receivedCount = 0;
    sim::ScheduleArrival(1, {0xF0, 0x1A, 0xF7});
    Sleep(5);
    EXPECT_EQ(Mailbox(0).receivedCount, 0) << "a closed port still wrote into the mailbox";
}

TEST_F(MidiLinkTest, AReplyAfterTheInputFlagIsClearedIsCountedButTheBufferStaysWithUs) {
    ASSERT_EQ(OpenMidiIn(0), MMSYSERR_NOERROR);
    HMIDIIN port = nullptr;  // the link's handle is its own; the notification ignores it
    ASSERT_TRUE(CloseMidiIn());
    const std::size_t mark = sim::Calls().size();

    char message[] = {'\xF0', '\x1A', '\x01', '\x02', '\xF7'};
    MIDIHDR late = {};
    late.lpData = message;
    late.dwBufferLength = sizeof message;
    late.dwBytesRecorded = 5;
    OnMidiInput(port, MIM_LONGDATA, 0, reinterpret_cast<DWORD_PTR>(&late), 0);
    EXPECT_EQ(Mailbox(0).receivedCount, 5);
    EXPECT_EQ(Mailbox(0).status, 0x1A);
    EXPECT_TRUE(CallsSince(mark).empty()) << "the buffer was queued on a closed port";
}

TEST_F(MidiLinkTest, AnInputThatCannotStartIsClosedAgain) {
    sim::Reset();
    sim::AddInput({"Stuck In", MMSYSERR_NOERROR, MMSYSERR_NOERROR, MMSYSERR_NOMEM});
    EXPECT_EQ(OpenMidiIn(0), MMSYSERR_NOMEM);
    EXPECT_FALSE(sim::InputIsOpen(0));
    EXPECT_EQ(sim::CountCalls("midiInClose 0"), 1u);
    EXPECT_FALSE(CloseMidiIn());
}

TEST_F(MidiLinkTest, APortThatCannotOpenIsNotOpen) {
    sim::Reset();
    sim::AddInput({"Busy In", MMSYSERR_NOERROR, MMSYSERR_ALLOCATED});
    sim::AddOutput({"Busy Out", MMSYSERR_NOERROR, MMSYSERR_ALLOCATED});
    EXPECT_EQ(OpenMidiIn(0), MMSYSERR_ALLOCATED);
    EXPECT_EQ(OpenMidiOut(0), MMSYSERR_ALLOCATED);
    EXPECT_FALSE(CloseMidiIn());
    EXPECT_FALSE(CloseMidiOut());
    EXPECT_EQ(OpenMidiOut(1), MMSYSERR_BADDEVICEID);
}

}  // namespace
