// The search for the device among the ports, on the simulated platform: the
// pair found, the requests each output heard, and the time on the virtual
// clock.
#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "console/text_reporter.h"
#include "platform/host/host.h"
#include "protocol/find_device.h"
#include "support/scene.h"

namespace {

using text::Found;
using Requests = std::map<UINT, std::size_t>;

// How many identification requests each output received.
Requests RequestsPerOutput() {
    const Bytes request = {0xF0, 0x31, 0x4B, 0x62, 0x19, 0x57, 0x03, 0x6C, 0xF7};
    Requests requests;
    for (const sim::SentMessage& sent : sim::Sent()) requests[sent.output] += sent.bytes == request;
    return requests;
}

// Outputs 0 to n - 1 each with the same count, but those given.
Requests Each(UINT outputs, std::size_t count, const Requests& but = {}) {
    Requests requests;
    for (UINT i = 0; i < outputs; ++i) requests[i] = but.count(i) ? but.at(i) : count;
    return requests;
}

class Search : public testing::Test {
protected:
    // A search on a link of its own, which keeps the pair found open, told
    // as the console (or a batch log) tells it; how it ended.
    std::optional<Ending> Run(const PortChoice& choice = {}) { return RunTold(console, choice); }
    std::optional<Ending> RunTold(Reporter& reporter, const PortChoice& choice = {}) {
        link.reset();
        link.emplace(reporter, UserStop());
        printed = Captured([&] { found = FindUpdateDevice(*link, device::kIdentity, choice, waitMs, reporter); });
        return found.ending;
    }
    // Exactly these ports are open (none: 99).
    static void ExpectOpen(UINT input, UINT output) {
        for (UINT i = 0; i < 12; ++i) {
            EXPECT_EQ(sim::InputIsOpen(i), i == input) << "input " << i;
            EXPECT_EQ(sim::OutputIsOpen(i), i == output) << "output " << i;
        }
    }
    ConsoleReporter console{false};
    std::uint32_t waitMs = 0;  // --wait
    std::optional<DeviceLink> link;
    std::string printed;
    SearchOutcome found;
};

TEST_F(Search, FindsTheLowestOutputThatAnswersAndLeavesOnlyItsPairOpen) {
    struct Device {
        UINT input, output;
        const char* faults;
        std::uint8_t answer = device::kIdentity;
    };
    const struct {
        const char* why;
        unsigned inputs, outputs;
        std::vector<Device> devices;
        UINT input, output;  // the pair found
        std::uint64_t ms;
        Requests requests;
        // clang-format off
    } cases[] = {
        // All outputs at once answer at 1 ms; the halves are asked with the
        // shortest wait, 100 ms, as are the answers owed after each; the
        // last output is asked alone after half a second.
        {"behind the last of three outputs", 2, 3, {{1, 2, ""}}, 1, 2, 1 + 4 * 100 + 500 + 1, Each(3, 2)},
        {"behind the first", 3, 2, {{2, 0, ""}}, 2, 0, 1 + 100 + 1 + 500 + 1, Each(2, 1, {{0, 3}})},
        {"behind the last of ten", 10, 10, {{9, 9, ""}}, 9, 9, 1 + 8 * 100 + 500 + 1, Each(10, 2)},
        {"asking for a reset", 2, 2, {{1, 1, "", device::kNeedsReset}}, 1, 1, 1 + 2 * 100 + 500 + 1, Each(2, 2)},
        // The output the lower device is behind, with the input it answers on.
        {"two devices", 2, 3, {{1, 2, ""}, {0, 1, ""}}, 0, 1, 1 + 3 * 100 + 1 + 500 + 1, {{0, 2}, {1, 3}, {2, 1}}},
        // A device that answered only a later round (starting up, or a busy
        // machine held its answer back) is searched for by halves all the
        // same, with waits of the round trip it showed then.
        {"answering from its third request on", 4, 4, {{1, 3, "id:0-1:silence"}}, 1, 3, 2 * 500 + 1 + 4 * 100 + 500 + 1,
         Each(4, 4)},
        {"answering from its fourth request on, alone", 1, 1, {{0, 0, "id:0-2:silence"}}, 0, 0, 3 * 500 + 1,
         Each(1, 4)},
        // Answering in 50 ms, it is asked with waits of four times that.
        {"answering in 50 ms", 2, 3, {{1, 2, "id:*:busy=49"}}, 1, 2, 50 + 4 * 200 + 500 + 50, Each(3, 2)},
        // Its answer to the lower half comes after the wait, while the
        // answers owed are awaited: the search goes back to that half, and
        // with that answer nothing is owed before the output is asked alone.
        {"its answer to a half late", 2, 3, {{1, 0, "id:1:busy=149"}}, 1, 0, 1 + 3 * 100 + 1, Each(3, 1, {{0, 3}})},
        // One answer held back past the wait (a cycle of the MIDI service
        // late): to the first round, which the second round takes, 51 ms
        // after it; or to the output asked alone, which is asked again.
        // Neither falls back on asking every output alone.
        {"the answer to the first round held back", 6, 6, {{5, 5, "id:0:busy=550"}}, 5, 5, 551 + 6 * 204 + 500 + 1,
         Each(6, 3)},
        {"the answer to the output alone held back", 6, 6, {{5, 5, "id:1:busy=700"}}, 5, 5,
         1 + 6 * 100 + 500 + 500 + 201, Each(6, 2, {{5, 3}})},
        // Answering in 300 ms, it is asked with the full waits; in 700 ms,
        // its first answer comes in the second round, 201 ms after it, and
        // asked alone, its answer to one try comes in the next.
        {"answering late within the wait", 2, 3, {{1, 2, "id:*:busy=300"}}, 1, 2, 301 + 4 * 500 + 500 + 301,
         Each(3, 2)},
        {"answering after the wait", 2, 3, {{1, 2, "id:*:busy=700"}}, 1, 2, 701 + 4 * 500 + 500 + 500 + 201,
         Each(3, 3, {{2, 4}})},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        SetUpScene(c.inputs, c.outputs);
        std::vector<std::unique_ptr<TargetDevice>> devices;
        for (const Device& d : c.devices) {
            DeviceSettings settings;
            settings.identificationAnswer = d.answer;
            settings.faults = Faults(d.faults);
            devices.push_back(std::make_unique<TargetDevice>(settings));
            sim::Attach(devices.back().get(), {d.output}, {d.input});
        }
        const bool reset = c.devices[0].answer == device::kNeedsReset;
        EXPECT_EQ(Run(), reset ? std::optional<Ending>(Ending::kResetRequested) : std::nullopt);
        EXPECT_EQ(printed, Found("In " + std::to_string(c.input), "Out " + std::to_string(c.output)));
        EXPECT_EQ(found.input, c.input);
        EXPECT_EQ(found.output, c.output);
        ExpectOpen(c.input, c.output);
        EXPECT_EQ(RequestsPerOutput(), c.requests);
        EXPECT_EQ(sim::NowMs(), c.ms);
    }
}

TEST_F(Search, NoDeviceIsKnownAfterFourRoundsWhateverThePorts) {
    // A device with another identity is none.
    DeviceSettings settings;
    settings.identificationAnswer = 0x3E;
    TargetDevice wrong(settings);
    for (unsigned ports : {1u, 10u}) {
        SetUpScene(ports, ports, {ports - 1}, {ports - 1}, &wrong);
        // A search that lasts tells, in batch, what it asks.
        BatchReporter batch;
        EXPECT_EQ(RunTold(batch), Ending::kNoDevice);
        EXPECT_EQ(printed, ports > 1 ? "Looking for the device on MIDI outputs 0 to 9...\n" : "");
        EXPECT_EQ(RequestsPerOutput(), Each(ports, 4));
        // Once every input has answered, wrongly, a round is over.
        EXPECT_EQ(sim::NowMs(), ports == 1 ? 4u * 1 : 4u * 500);
        ExpectOpen(99, 99);
    }
    // On a terminal, the line tells what is asked and how long it has been.
    SetUpScene(10, 10);
    ConsoleReporter terminal(true);
    EXPECT_EQ(RunTold(terminal), Ending::kNoDevice);
    EXPECT_NE(printed.find("\rLooking for the device on MIDI outputs 0 to 9: 1 s"), std::string::npos) << printed;
}

TEST_F(Search, ADeviceThatFallsSilentMidwayGetsEightRequestsAtMost) {
    // It answers the round and the three halves it is in, then nothing: its
    // output is asked alone three times, then each other output, and none
    // hears more than eight requests.
    DeviceSettings settings;
    settings.faults = Faults("id:4-99:silence");
    TargetDevice device(settings);
    SetUpScene(8, 8, {0}, {0}, &device);
    EXPECT_EQ(Run(), Ending::kNoDevice);
    EXPECT_EQ(RequestsPerOutput(), Each(8, 4, {{0, 7}, {1, 6}, {2, 5}, {3, 5}}));
    // The round and three halves answered at 1 ms, the halves' waits, the
    // owed answers and the pair asked alone three times, then each other
    // output alone.
    EXPECT_EQ(sim::NowMs(), 1u + 3 * (100 + 1) + 500 + 3 * 500 + 7 * (500 + 3 * 500));
    ExpectOpen(99, 99);
}

TEST_F(Search, OnlyThePortsOfTheChoiceAreUsed) {
    const struct {
        PortChoice choice;
        std::optional<Ending> ending;
        Requests requests;
        // clang-format off
    } cases[] = {
        {{2, 1}, std::nullopt, {{1, 1}}},
        {{kAnyPort, 1}, std::nullopt, {{1, 1}}},
        {{0, kAnyPort}, Ending::kNoDevice, Each(3, 4)},
        {{2, 0}, Ending::kNoDevice, {{0, 4}}},
        // Chosen by the names they were listed under: still theirs, or
        // another port's since (the device was unplugged, another came).
        {{2, 1, "In 2", "Out 1"}, std::nullopt, {{1, 1}}},
        {{2, 1, "In 2", "Out 7"}, Ending::kNoDevice, {}},
    };
    // clang-format on
    for (const auto& c : cases) {
        TargetDevice device({});
        SetUpScene(3, 3, {1}, {2}, &device);
        EXPECT_EQ(Run(c.choice), c.ending);
        EXPECT_EQ(RequestsPerOutput(), c.requests);
        EXPECT_EQ(sim::CountCalls("midiInOpen 1"), c.choice.input != kAnyPort ? 0u : 1u);
    }
}

TEST_F(Search, PortsThatCannotBeUsedAreLeftOutAndNamed) {
    // Only ports 0 to 9 count.
    SetUpScene(12, 12);
    EXPECT_EQ(Run(), Ending::kNoDevice);
    EXPECT_EQ(sim::CountCalls("midiInGetDevCapsA 10") + sim::CountCalls("midiOutGetDevCapsA 10"), 0u);
    EXPECT_EQ(sim::CountCalls("midiInOpen 9") + sim::CountCalls("midiOutOpen 9"), 2u);

    // Input 1 fails its query: input 2 is not counted.
    TargetDevice beyondTheGap({});
    SetUpScene(0, 1, {0}, {2}, &beyondTheGap);
    sim::AddInput({"In 0"});
    sim::AddInput({"In 1", MMSYSERR_NODRIVER});
    sim::AddInput({"In 2"});
    EXPECT_EQ(Run(), Ending::kNoDevice);
    EXPECT_EQ(sim::CountCalls("midiInOpen 2"), 0u);

    // Ports another program holds are skipped, and named; so are control
    // characters in a name, a terminal's one-byte escape among them (the C1
    // control U+009B, here before a letter), and bytes that are no UTF-8,
    // an encoded surrogate, an overlong form, a lead byte before a control
    // and a sequence past U+10FFFF among them; letters are shown.
    TargetDevice device({});
    SetUpScene(0, 0, {1}, {1}, &device);
    sim::AddInput({"Busy\x1B[2J In", MMSYSERR_NOERROR, MMSYSERR_ALLOCATED});
    sim::AddInput({"In \xC3\xA9\xC3\xBC \xE6\x97\xA5\xE6\x9C\xAC\xE4\xB8\xAD \xC2\xB0 \xF0\x9F\x8E\xB9"});
    sim::AddOutput({"Busy Out", MMSYSERR_NOERROR, MMSYSERR_ALLOCATED});
    sim::AddOutput({"Out\x07 \xC2\x9B\xC3\xA9 \xFF\xE6\x97 \xED\xA0\x80\xC1\xBF \xE1\x7F\x80\xF5\x80\x80\x80 1"});
    EXPECT_EQ(Run(), std::nullopt);
    const std::string held = " is in use by another program: close that program, then try again.\n";
#ifdef _WIN32
    // Names there are in the ANSI code page: only controls below 0x80 are.
    const std::string output =
        "Out\\x07 \xC2\x9B\xC3\xA9 \xFF\xE6\x97 \xED\xA0\x80\xC1\xBF \xE1\\x7F\x80\xF5\x80\x80\x80 1";
#else
    const std::string output =
        "Out\\x07 \\xC2\\x9B\xC3\xA9 \\xFF\\xE6\\x97 \\xED\\xA0\\x80\\xC1\\xBF \\xE1\\x7F\\x80\\xF5\\x80\\x80\\x80 1";
#endif
    EXPECT_EQ(printed,
              "MIDI input 0 (Busy\\x1B[2J In)" + held + "MIDI output 0 (Busy Out)" + held +
                  Found("In \xC3\xA9\xC3\xBC \xE6\x97\xA5\xE6\x9C\xAC\xE4\xB8\xAD \xC2\xB0 \xF0\x9F\x8E\xB9", output));
    EXPECT_EQ(RequestsPerOutput(), (Requests{{1, 1}}));

    // With no input to listen on, nothing is asked at all.
    SetUpScene(0, 1, {0}, {0}, &device);
    sim::AddInput({"Busy In", MMSYSERR_NOERROR, MMSYSERR_ALLOCATED});
    EXPECT_EQ(Run(), Ending::kNoDevice);
    EXPECT_TRUE(sim::Sent().empty());

    // No MIDI service at all.
    SetUpScene(0, 0);
    sim::AddInput({"", MMSYSERR_NODRIVER});
    sim::AddOutput({"", MMSYSERR_NODRIVER});
    EXPECT_EQ(Run(), Ending::kNoDevice);
    EXPECT_EQ(printed, text::kNoMidiService);
}

TEST_F(Search, WaitsAreNeitherCutShortNorCreditedLate) {
    // A lone byte in the middle of the wait is no answer; the answer that
    // comes later in the same wait is.
    TargetDevice device({});
    SetUpScene(1, 1);
    sim::Attach(&device, {0}, {0}, 450);
    sim::ScheduleArrival(250, {0}, {0xF0});
    EXPECT_EQ(Run(), std::nullopt);
    EXPECT_EQ(RequestsPerOutput(), (Requests{{0, 1}}));
    EXPECT_EQ(sim::NowMs(), 450u);

    // The device behind output 0 answers only its fourth request, 200 ms
    // after the search's last wait ran out.
    DeviceSettings settings;
    settings.faults = Faults("id:0-2:silence id:*:busy=700");
    TargetDevice late(settings);
    SetUpScene(1, 2, {0}, {0}, &late);
    EXPECT_EQ(Run(), Ending::kNoDevice);
    EXPECT_EQ(printed, "");
}

TEST_F(Search, WithAWaitADeviceThatAnswersLateIsStillFound) {
    // Still starting up: it answers from its fifth request on, after the
    // first search's four rounds of half a second.
    DeviceSettings settings;
    settings.faults = Faults("id:0-3:silence");
    TargetDevice device(settings);
    SetUpScene(1, 1, {0}, {0}, &device);
    EXPECT_EQ(Run(), Ending::kNoDevice);
    EXPECT_EQ(sim::NowMs(), 4 * 500u);
    // Listed and asked again half a second later, until it answers.
    TargetDevice starting(settings);
    SetUpScene(1, 1, {0}, {0}, &starting);
    waitMs = 10000;
    ConsoleReporter terminal(true);
    EXPECT_EQ(RunTold(terminal), std::nullopt);
    EXPECT_EQ(sim::NowMs(), 4 * 500 + 500 + 1u);
    EXPECT_NE(printed.find("Looking for the device on MIDI output 0 (Out 0): 2 s"), std::string::npos) << printed;
    ExpectOpen(0, 0);
    // A wait that runs out ends the search.
    SetUpScene(1, 1);
    waitMs = 3000;
    EXPECT_EQ(Run(), Ending::kNoDevice);
    EXPECT_EQ(sim::NowMs(), 2000 + 500 + 2000u);
}

}  // namespace
