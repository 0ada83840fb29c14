// The transfer on the simulated platform, where the program's table of
// endings does not look: the chunks on the wire and their pace, a platform
// that holds or refuses a send, how a long wait shows, and cycles the MIDI
// service missed.
#include <gtest/gtest.h>

#include "image/sha256.h"
#include "support/expected_update.h"
#include "support/scene.h"

namespace {

using namespace text;

const std::string kHead = kBanner + Opened("Corvilent.led") + Found("In 0", "Out 0");

// What --batch prints before the transfer: the image's summary too.
std::string BatchHead(const Bytes& image) {
    const std::string stored = ImageText(image);
    Sha256 hash;
    hash.Add(reinterpret_cast<const std::uint8_t*>(stored.data()), stored.size());
    char sha256[65];
    hash.Finish(sha256);
    return kBanner + Opened("Corvilent.led") + Summary(image.size(), RecordsOf(image), sha256) + Found("In 0", "Out 0");
}

class Transfer : public testing::Test {
protected:
    // A whole update of `image` against a device on port pair (0, 0), told
    // as `arguments` ask; `arrange` adds to the simulated platform first.
    std::string Update(const Bytes& image, const char* faults = "", const std::function<void()>& arrange = {},
                       const std::vector<std::string>& arguments = {}, bool terminal = false) {
        DeviceSettings settings;
        settings.faults = Faults(faults);
        device_ = std::make_unique<TargetDevice>(settings);
        SetUpScene(1, 1, {0}, {0}, device_.get());
        if (arrange) arrange();
        TempFolder folder;
        folder.WriteFile("Corvilent.led", ImageText(image));
        return RunProgramIn(folder, arguments, nullptr, terminal).out;
    }
    const TargetDevice& device() const { return *device_; }

private:
    std::unique_ptr<TargetDevice> device_;
};

TEST_F(Transfer, ChunksCarryTheRecordsAsTextElevenBytesAtATime) {
    Update({0x00, 0x04, 0x01, 0x02, 0xFD, 0xFF});
    ASSERT_EQ(sim::Sent().size(), 2u);
    EXPECT_EQ(sim::Sent()[1].bytes, (Bytes{0xF0, '0', '0', '0', '4', '0', '1', '0', '2', 'F', 'D', 'F', 'F', 0xF7}));

    const Bytes image = ImageOfRecords({11, 12, 13});
    Update(image);
    std::vector<std::size_t> lengths;
    for (std::size_t i = 1; i < sim::Sent().size(); ++i) {
        lengths.push_back(sim::Sent()[i].bytes.size() - 2);
        // A millisecond's pause after every chunk, the device answering each
        // record within its last one.
        EXPECT_EQ(sim::Sent()[i].timeMs - sim::Sent()[i - 1].timeMs, 1u) << "before send " << i;
    }
    EXPECT_EQ(lengths, (std::vector<std::size_t>{22, 22, 2, 22, 4}));
    EXPECT_EQ(device().Accepted(), image);
    // The input closes first, then the output.
    const std::vector<std::string>& calls = sim::Calls();
    EXPECT_EQ(std::vector<std::string>(calls.end() - 2, calls.end()),
              (std::vector<std::string>{"midiInClose 0", "midiOutClose 0"}));
}

TEST_F(Transfer, ASendThePlatformHoldsCostsItsTimeAndOneThatFailsEndsTheRun) {
    // The request, then three chunks, each held 8 ms; a chunk is followed by
    // the 1 ms pause, in which the device's answer comes.
    const Bytes image = ImageOfRecords({30});
    Update(image, "", [] { sim::HoldEveryMessage(8); });
    EXPECT_EQ(device().Accepted(), image);
    EXPECT_EQ(sim::NowMs(), 8 + 3 * (8 + 1u));
    // A chunk it never lets go of is given up after five seconds.
    EXPECT_EQ(Update(image, "", [] { sim::HoldEveryMessage(UINT32_MAX, 1); }),
              kHead + Progress('-', 0) + kOutputMissing + kFinalWait);
    EXPECT_EQ(sim::NowMs(), 1 + 5000u);
    // Send 0 is the identification request; a 13-byte record's chunks are
    // sends 1 (full) and 2 (the last, partial one): both end the run at once.
    for (std::size_t failing : {1u, 2u}) {
        const auto failSend = [failing] {
            sim::SetSendResult(
                [failing](std::size_t n) { return n == failing ? MMSYSERR_NODRIVER : MMSYSERR_NOERROR; });
        };
        EXPECT_EQ(Update(ImageOfRecords({13}), "", failSend), kHead + Progress('-', 0) + kOutputMissing + kFinalWait);
        EXPECT_EQ(sim::NowMs(), failing) << "waited for an answer to a record not sent whole";
    }
}

TEST_F(Transfer, ALongWaitShowsOnATerminalAndAsALineInBatch) {
    // The first try is not answered: five seconds, and five more for its
    // answer, owed, after the second try's.
    const Bytes image = ImageOfRecords({6});
    std::string waiting;
    std::size_t width = 0;
    for (int second = 1; second <= 4; ++second) {
        const std::string shown = "Transferring.. - 0% done - Waiting for the device: " + std::to_string(second) + " s";
        waiting += "\r" + std::string(width, ' ') + "\r" + shown;
        width = shown.size();
    }
    const std::string restored = "\r" + std::string(width, ' ') + "\rTransferring.. - 0% done";
    EXPECT_EQ(Update(image, "0:0:silence", {}, {}, true), kHead + Progress('-', 0) + waiting + restored +
                                                              Progress('-', 0) + waiting + restored + kCompleted +
                                                              kFinalWait);
    EXPECT_EQ(Update(image, "0:0:silence", {}, {"--batch"}), BatchHead(image) + BatchProgress(0) +
                                                                 "Waiting for the device...\n" +
                                                                 "Waiting for the device...\n" + kBatchCompleted);
}

TEST_F(Transfer, ALongUpdateInBatchTellsItsRateAndTheTimeLeft) {
    // Twelve records of 6 bytes, each stored in 2 s (and a few ms more): a
    // line every tenth, with the rate and the time left while that is 10 s
    // or more.
    DeviceSettings settings;
    settings.storeMs = 2000;
    TargetDevice device(settings);
    SetUpScene(1, 1, {0}, {0}, &device);
    TempFolder folder;
    folder.WriteFile("Corvilent.led", ImageText(ImageOfRecords(std::vector<std::size_t>(12, 6))));
    const std::string told = RunProgramIn(folder, {"--batch"}).out;
    EXPECT_NE(told.find(BatchProgress(0)), std::string::npos) << told;
    EXPECT_NE(told.find("Transferring.. 16% done (2 bytes a second, 21 s left)\n"), std::string::npos) << told;
    EXPECT_NE(told.find("Transferring.. 50% done (2 bytes a second, 13 s left)\n"), std::string::npos) << told;
    EXPECT_NE(told.find(BatchProgress(66)), std::string::npos) << told;
}

TEST_F(Transfer, CyclesTheMidiServiceMissedAreToldOnceInEveryFace) {
    const Bytes image = ImageOfRecords({6, 6, 6});
    // Send 0 asks for the device; sends 1 to 3 are the records. Cycles
    // missed from the second record on.
    const auto missing = [] { sim::MissCycleAtSend(2); };
    EXPECT_EQ(Update(image, "", missing), kHead + Progress('-', 0) + Progress('-', 33) + "\n" + kMissedCyclesAdvice +
                                              Progress('\\', 66) + kCompleted + kFinalWait);
    EXPECT_EQ(Update(image, "", missing, {"--batch"}), BatchHead(image) + BatchProgress(0) + BatchProgress(33) +
                                                           kMissedCyclesAdvice + BatchProgress(66) + kBatchCompleted);
    const std::string json = Update(image, "", missing, {"--json"});
    EXPECT_NE(json.find("{\"event\":\"advice\""), std::string::npos) << json;
    // Missed while the device is looked for: before it is found.
    EXPECT_EQ(Update(image, "", [] { sim::MissCycleAtSend(0); }), kBanner + Opened("Corvilent.led") + "\n" +
                                                                      kMissedCyclesAdvice + Found("In 0", "Out 0") +
                                                                      TransferLines(image) + kCompleted + kFinalWait);
}

TEST_F(Transfer, ARecordUnansweredAtAPaceFasterThanACableGoesOnAtACables) {
    // Two records of 1100 bytes: 2410 on the wire, more than the 2 KiB a
    // card in front of a cable may hold ahead of it; one of 939 bytes: 2050,
    // one of 938: 2048, which it holds.
    const std::string advice =
        "A record sent faster than a 5-pin MIDI cable carries went unanswered: the rest of the image goes at a "
        "cable's pace (3125 bytes a second), which takes longer.\n";
    const struct {
        LinkPace pace;
        std::vector<std::size_t> records;
        bool cable;  // the rest goes at a cable's pace
        // clang-format off
    } cases[] = {
        {LinkPace::kBuffer, {1100, 1100}, true},  {LinkPace::kFast, {1100, 1100}, true},
        {LinkPace::kProgram, {1100, 1100}, true}, {LinkPace::kDriver, {1100, 1100}, false},
        {LinkPace::kFast, {939, 939}, true},      {LinkPace::kFast, {938, 938}, false},
    };
    // clang-format on
    for (const auto& c : cases) {
        const Bytes image = ImageOfRecords(c.records);
        const std::string told = Update(image, "0:0:silence", [&] { sim::SetOutputPace(0, c.pace); });
        EXPECT_EQ(told, kHead + Progress('-', 0) + (c.cable ? "\n" + advice : "") + Progress('-', 0) +
                            Progress('-', 50) + kCompleted + kFinalWait)
            << int(c.pace) << " " << c.records[0];
        EXPECT_EQ(device().Accepted(), image);
    }
#ifndef _WIN32
    // Told in JSON: the pace at the start, and the record it changed at.
    const std::string json = Update(ImageOfRecords({1100}), "0:0:silence", {}, {"--json"});
    EXPECT_NE(json.find("{\"event\":\"link\",\"t\":"), std::string::npos) << json;
    EXPECT_NE(json.find(",\"link\":\"program\"}"), std::string::npos) << json;
    EXPECT_NE(json.find(",\"link\":\"cable\",\"record\":1}"), std::string::npos) << json;
#endif
}

}  // namespace
