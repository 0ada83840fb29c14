// The search for the device among the port pairs, on the simulated platform.
#include <gtest/gtest.h>

#include <algorithm>

#include "midi/midi_link.h"
#include "protocol/find_device.h"
#include "protocol/wire_protocol.h"
#include "sim/sim_device.h"
#include "sim/sim_platform.h"
#include "support/captured_run.h"
#include "support/update_scene.h"

namespace {

using text::Found;

const Bytes kHandshake = {0xF0, 0x31, 0x4B, 0x62, 0x19, 0x57, 0x03, 0x6C, 0xF7};

std::size_t HandshakesSent() {
    return static_cast<std::size_t>(std::count_if(sim::Sent().begin(), sim::Sent().end(),
                                                  [](const sim::SentMessage& m) { return m.bytes == kHandshake; }));
}

// The opens of the search, in order.
std::vector<std::string> Opens() {
    std::vector<std::string> opens;
    for (const std::string& call : sim::Calls()) {
        if (call.rfind("midiInOpen", 0) == 0 || call.rfind("midiOutOpen", 0) == 0) opens.push_back(call);
    }
    return opens;
}

std::uint8_t Search(std::string* printed) {
    std::uint8_t result = 0;
    *printed = Captured([&] { result = FindUpdateDevice(EXPECTED_ID); });
    return result;
}

class DeviceSearch : public testing::Test {
protected:
    void TearDown() override {
        CloseMidiIn();
        CloseMidiOut();
    }
    std::string printed;
};

TEST_F(DeviceSearch, TriesInputsOutermostAndLeavesTheAnsweringPairOpen) {
    TargetDevice device({});
    SetUpScene(2, 3, {2}, {1}, &device);
    EXPECT_EQ(Search(&printed), kDeviceFound);
    EXPECT_EQ(printed, Found("In 1", "Out 2"));
    EXPECT_EQ(Opens(), (std::vector<std::string>{"midiInOpen 0", "midiOutOpen 0", "midiOutOpen 1", "midiOutOpen 2",
                                                 "midiInOpen 1", "midiOutOpen 0", "midiOutOpen 1", "midiOutOpen 2"}));
    EXPECT_TRUE(sim::InputIsOpen(1));
    EXPECT_TRUE(sim::OutputIsOpen(2));
    EXPECT_FALSE(sim::InputIsOpen(0));
    EXPECT_FALSE(sim::OutputIsOpen(0) || sim::OutputIsOpen(1));
    // Five silent pairs of four waits of 500 ms each, and half a second more
    // for their late answers, then one answer.
    EXPECT_EQ(HandshakesSent(), 21u);
    EXPECT_EQ(sim::NowMs(), 5u * (4 * 500 + 500) + 1);
}

TEST_F(DeviceSearch, ADeviceThatAnswersOnlyTheThirdRequestIsFound) {
    DeviceSettings settings;
    settings.faults = [](const Request& request) -> std::optional<Response> {
        if (request.identification && request.number < 2) return Response{Response::Kind::kSilence};
        return std::nullopt;
    };
    TargetDevice device(settings);
    SetUpScene(1, 1, {0}, {0}, &device);
    EXPECT_EQ(Search(&printed), kDeviceFound);
    EXPECT_EQ(printed, Found("In 0", "Out 0"));
    EXPECT_EQ(HandshakesSent(), 3u);
}

TEST_F(DeviceSearch, FourWrongAnswersGiveThePairUp) {
    DeviceSettings settings;
    settings.identificationAnswer = 0x3E;
    TargetDevice device(settings);
    SetUpScene(1, 1, {0}, {0}, &device);
    EXPECT_EQ(Search(&printed), kNoDevice);
    EXPECT_EQ(printed, text::kNoDevice);
    EXPECT_EQ(HandshakesSent(), 4u);
    EXPECT_FALSE(sim::InputIsOpen(0) || sim::OutputIsOpen(0));
}

TEST_F(DeviceSearch, AResetRequestIsReportedWithThePorts) {
    DeviceSettings settings;
    settings.identificationAnswer = device::kNeedsReset;
    TargetDevice device(settings);
    SetUpScene(1, 1, {0}, {0}, &device);
    EXPECT_EQ(Search(&printed), device::kNeedsReset);
    EXPECT_EQ(printed, Found("In 0", "Out 0"));
    EXPECT_TRUE(sim::InputIsOpen(0) && sim::OutputIsOpen(0));
}

TEST_F(DeviceSearch, AtMostTenPortsOfEachKindAreUsed) {
    SetUpScene(12, 12, {}, {}, nullptr);
    EXPECT_EQ(Search(&printed), kNoDevice);
    EXPECT_EQ(sim::CountCalls("midiInGetDevCapsA 10"), 0u);
    EXPECT_EQ(sim::CountCalls("midiOutGetDevCapsA 10"), 0u);
    EXPECT_EQ(sim::CountCalls("midiInOpen 9"), 1u);
    EXPECT_EQ(sim::CountCalls("midiInOpen 10"), 0u);
    EXPECT_EQ(sim::CountCalls("midiOutOpen 9"), 10u);
    EXPECT_EQ(sim::CountCalls("midiOutOpen 10"), 0u);
}

TEST_F(DeviceSearch, AGapInThePortNumbersEndsTheCount) {
    TargetDevice device({});
    SetUpScene(0, 1, {0}, {2}, &device);
    sim::AddInput({"In 0"});
    sim::AddInput({"In 1", MMSYSERR_NODRIVER});
    sim::AddInput({"In 2"});
    EXPECT_EQ(Search(&printed), kNoDevice);
    EXPECT_EQ(Opens(), (std::vector<std::string>{"midiInOpen 0", "midiOutOpen 0"}));
}

TEST_F(DeviceSearch, PortsThatFailToOpenAreSkipped) {
    TargetDevice device({});
    SetUpScene(0, 0, {1}, {1}, &device);
    sim::AddInput({"Busy In", MMSYSERR_NOERROR, MMSYSERR_ALLOCATED});
    sim::AddInput({"In 1"});
    sim::AddOutput({"Busy Out", MMSYSERR_NOERROR, MMSYSERR_ALLOCATED});
    sim::AddOutput({"Out 1"});
    EXPECT_EQ(Search(&printed), kDeviceFound);
    EXPECT_EQ(printed, Found("In 1", "Out 1"));
    EXPECT_EQ(HandshakesSent(), 1u);
}

TEST_F(DeviceSearch, AStrayOneByteMessageDoesNotCutTheWaitsShort) {
    TargetDevice device({});
    SetUpScene(1, 1, {0}, {0}, &device);
    AttachDevice(&device, 100);
    sim::ScheduleArrival(0, {0xF0});
    EXPECT_EQ(Search(&printed), kDeviceFound);
    EXPECT_EQ(HandshakesSent(), 1u);
}

TEST_F(DeviceSearch, ALateAnswerIsNotCreditedToTheNextPair) {
    DeviceSettings settings;
    settings.faults = [](const Request&) -> std::optional<Response> { return Response{Response::Kind::kSilence}; };
    TargetDevice device(settings);
    SetUpScene(1, 2, {0}, {0}, &device);
    // The device's answer to the last request on output 0 comes in just as
    // output 1, which does not lead to it, is opened.
    sim::OnCall("midiOutOpen 1", [] {
        sim::ScheduleArrival(0, {0xF0, device::kIdentity, 0xF7});
        Sleep(0);
    });
    EXPECT_EQ(Search(&printed), kNoDevice);
    EXPECT_EQ(printed, text::kNoDevice);
}

}  // namespace
