// The search for the device among the ports, on the simulated platform.
#include <gtest/gtest.h>

#include <map>

#include "midi/midi_link.h"
#include "protocol/find_device.h"
#include "sim/sim_device.h"
#include "sim/sim_platform.h"
#include "support/scene.h"

namespace {

using text::Found;

const Bytes kRequest = {0xF0, 0x31, 0x4B, 0x62, 0x19, 0x57, 0x03, 0x6C, 0xF7};
using Requests = std::map<UINT, std::size_t>;

// How many identification requests each output received.
Requests RequestsPerOutput() {
    Requests requests;
    for (const sim::SentMessage& sent : sim::Sent()) requests[sent.output] += sent.bytes == kRequest;
    return requests;
}

// The opens of the search, in order.
std::vector<std::string> Opens() {
    std::vector<std::string> opens;
    for (const std::string& call : sim::Calls()) {
        if (call.rfind("midiInOpen", 0) == 0 || call.rfind("midiOutOpen", 0) == 0) opens.push_back(call);
    }
    return opens;
}

class DeviceSearch : public testing::Test {
protected:
    std::uint8_t Search() {
        std::uint8_t result = 0;
        DevicePorts found;
        printed = Captured([&] { result = FindUpdateDevice(device::kIdentity, {}, &found); });
        return result;
    }
    // Exactly these ports are open (none: 99).
    static void ExpectOpen(UINT input, UINT output) {
        for (UINT i = 0; i < 12; ++i) {
            EXPECT_EQ(sim::InputIsOpen(i), i == input) << "input " << i;
            EXPECT_EQ(sim::OutputIsOpen(i), i == output) << "output " << i;
        }
    }
    void TearDown() override {
        CloseMidiIn();
        CloseMidiOut();
    }
    std::string printed;
};

TEST_F(DeviceSearch, FindsThePairThatAnswersAndLeavesOnlyItOpen) {
    const struct {
        unsigned inputs, outputs;
        UINT deviceIn, deviceOut;
        std::size_t silent;    // requests the device leaves unanswered first
        std::uint8_t answer;   // its identity
        std::uint64_t ms;
    } cases[] = {
        // Every input listens while each silent output gets four waits of
        // half a second, and half a second more for late answers.
        {2, 3, 1, 2, 0, device::kIdentity, 2 * (4 * 500 + 500) + 1},
        {3, 2, 2, 0, 0, device::kIdentity, 1},
        {6, 6, 5, 5, 0, device::kIdentity, 5 * (4 * 500 + 500) + 1},
        {1, 1, 0, 0, 2, device::kIdentity, 2 * 500 + 1},
        {2, 2, 1, 1, 0, device::kNeedsReset, 4 * 500 + 500 + 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.inputs) + "x" + std::to_string(c.outputs));
        DeviceSettings settings;
        settings.identificationAnswer = c.answer;
        if (c.silent > 0) settings.faults = Faults("id:0-" + std::to_string(c.silent - 1) + ":silence");
        TargetDevice device(settings);
        SetUpScene(c.inputs, c.outputs, {c.deviceOut}, {c.deviceIn}, &device);
        EXPECT_EQ(Search(), c.answer == device::kIdentity ? kDeviceFound : device::kNeedsReset);
        EXPECT_EQ(printed, Found("In " + std::to_string(c.deviceIn), "Out " + std::to_string(c.deviceOut)));
        ExpectOpen(c.deviceIn, c.deviceOut);
        for (const auto& [output, requests] : RequestsPerOutput()) {
            EXPECT_EQ(requests, output < c.deviceOut ? 4u : c.silent + 1) << "output " << output;
        }
        EXPECT_EQ(sim::NowMs(), c.ms);
        // Every input once, then the outputs in turn, each once.
        std::vector<std::string> opens;
        for (UINT i = 0; i < c.inputs; ++i) opens.push_back("midiInOpen " + std::to_string(i));
        for (UINT i = 0; i <= c.deviceOut; ++i) opens.push_back("midiOutOpen " + std::to_string(i));
        EXPECT_EQ(Opens(), opens);
    }
}

TEST_F(DeviceSearch, WrongAnswersAndEchoesArePassedOver) {
    // Output 0 echoes into input 0, as a pass-through port does; the device
    // behind output 1 answers with another identity, four times.
    DeviceSettings settings;
    settings.identificationAnswer = 0x3E;
    TargetDevice wrong(settings);
    SetUpScene(2, 2, {1}, {1}, &wrong);
    sim::ConnectEcho(0, 0);
    EXPECT_EQ(Search(), kNoDevice);
    EXPECT_EQ(printed, text::kNoDevice);
    EXPECT_EQ(RequestsPerOutput(), (Requests{{0, 4}, {1, 4}}));
    ExpectOpen(99, 99);

    TargetDevice right({});
    SetUpScene(2, 2, {1}, {1}, &right);
    sim::ConnectEcho(0, 0);
    sim::ConnectEcho(1, 0);
    EXPECT_EQ(Search(), kDeviceFound);
    EXPECT_EQ(printed, Found("In 1", "Out 1"));
}

TEST_F(DeviceSearch, PortsThatCannotBeUsedAreLeftOut) {
    // Only ports 0 to 9 count.
    SetUpScene(12, 12, {}, {}, nullptr);
    EXPECT_EQ(Search(), kNoDevice);
    EXPECT_EQ(sim::CountCalls("midiInGetDevCapsA 10") + sim::CountCalls("midiOutGetDevCapsA 10"), 0u);
    EXPECT_EQ(sim::CountCalls("midiInOpen 9") + sim::CountCalls("midiOutOpen 9"), 2u);
    EXPECT_EQ(sim::CountCalls("midiOutOpen 10"), 0u);

    // Input 1 fails its query: input 2 is not counted.
    TargetDevice beyondTheGap({});
    SetUpScene(0, 1, {0}, {2}, &beyondTheGap);
    sim::AddInput({"In 0"});
    sim::AddInput({"In 1", MMSYSERR_NODRIVER});
    sim::AddInput({"In 2"});
    EXPECT_EQ(Search(), kNoDevice);
    EXPECT_EQ(Opens(), (std::vector<std::string>{"midiInOpen 0", "midiOutOpen 0"}));

    // Ports that fail to open are skipped.
    TargetDevice device({});
    SetUpScene(0, 0, {1}, {1}, &device);
    sim::AddInput({"Busy In", MMSYSERR_NOERROR, MMSYSERR_ALLOCATED});
    sim::AddInput({"In 1"});
    sim::AddOutput({"Busy Out", MMSYSERR_NOERROR, MMSYSERR_ALLOCATED});
    sim::AddOutput({"Out 1"});
    EXPECT_EQ(Search(), kDeviceFound);
    EXPECT_EQ(printed, Found("In 1", "Out 1"));
    EXPECT_EQ(RequestsPerOutput(), (Requests{{1, 1}}));

    // With no input to listen on, nothing is asked at all.
    SetUpScene(0, 1, {0}, {0}, &device);
    sim::AddInput({"Busy In", MMSYSERR_NOERROR, MMSYSERR_ALLOCATED});
    EXPECT_EQ(Search(), kNoDevice);
    EXPECT_TRUE(sim::Sent().empty());
}

TEST_F(DeviceSearch, WaitsAreNeitherCutShortNorCreditedLate) {
    // A lone byte in the middle of the wait is no answer; the answer that
    // comes later in the same wait is.
    TargetDevice device({});
    SetUpScene(1, 1, {0}, {0}, &device);
    AttachDevice(&device, 450);
    sim::ScheduleArrival(250, {0xF0});
    EXPECT_EQ(Search(), kDeviceFound);
    EXPECT_EQ(RequestsPerOutput(), (Requests{{0, 1}}));
    EXPECT_EQ(sim::NowMs(), 450u);

    // The device behind output 0 answers only the last request there, 200 ms
    // after that request's wait ran out, while output 1 is being asked.
    DeviceSettings settings;
    settings.faults = Faults("id:0-2:silence id:*:busy=700");
    TargetDevice late(settings);
    SetUpScene(1, 2, {0}, {0}, &late);
    EXPECT_EQ(Search(), kNoDevice);
    EXPECT_EQ(printed, text::kNoDevice);
}

}  // namespace
