// Whole updates on the simulated platform: the program's complete console
// transcript, the chunks on the wire and the bytes the device accepted.
#include <gtest/gtest.h>

#include <regex>

#include "midi/midi_link.h"
#include "protocol/wire_protocol.h"
#include "sim/sim_platform.h"
#include "support/captured_run.h"
#include "support/update_scene.h"

namespace {

using namespace text;

// What every run on port pair (0, 0) prints before the transfer.
std::string Head() { return kBanner + Opened("Corvilent.led") + Found("In 0", "Out 0"); }

// Records of the given total sizes, with data bytes that differ from record
// to record.
Bytes ImageOfRecords(const std::vector<std::size_t>& sizes) {
    Bytes image;
    std::uint8_t next = 0x40;
    for (std::size_t size : sizes) {
        Bytes data(size - 4);
        for (std::uint8_t& b : data) b = next++;
        const Bytes record = MakeRecord(data);
        image.insert(image.end(), record.begin(), record.end());
    }
    return image;
}

// A script that answers the n-th record try (from 0) as `answer` says;
// nullopt leaves the device's own answer.
FaultScript RecordTries(std::function<std::optional<Response>(std::size_t)> answer) {
    return [answer](const Request& request) -> std::optional<Response> {
        return request.identification ? std::nullopt : answer(request.number);
    };
}

const Response kSilence{Response::Kind::kSilence};
Response Status(std::uint8_t status) { return {Response::Kind::kStatus, status}; }

// The chunks sent after the identification request, as their text.
std::vector<std::string> ChunkTexts() {
    std::vector<std::string> texts;
    for (std::size_t i = 1; i < sim::Sent().size(); ++i) {
        const Bytes& bytes = sim::Sent()[i].bytes;
        texts.emplace_back(bytes.begin() + 1, bytes.end() - 1);
    }
    return texts;
}

// The spinner glyphs of the progress lines, in order.
std::string Glyphs(const std::string& transcript) {
    static const std::regex line("Transferring\\.\\. (.) ");
    std::string glyphs;
    for (std::sregex_iterator it(transcript.begin(), transcript.end(), line), end; it != end; ++it) {
        glyphs += (*it)[1].str();
    }
    return glyphs;
}

class Transfer : public testing::Test {
protected:
    // Runs a whole update of `image` against a device on port pair (0, 0);
    // `arrange` adds to the simulated platform before the run.
    std::string Update(const Bytes& image, DeviceSettings settings = {}, const std::function<void()>& arrange = {}) {
        device_ = std::make_unique<TargetDevice>(std::move(settings));
        SetUpScene(1, 1, {0}, {0}, device_.get());
        if (arrange) arrange();
        folder_.WriteFile("Corvilent.led", ImageText(image));
        return RunUpdateIn(folder_);
    }
    const TargetDevice& device() const { return *device_; }
    void TearDown() override {
        EXPECT_FALSE(sim::InputIsOpen(0) || sim::OutputIsOpen(0)) << "the run left a port open";
        EXPECT_EQ(device_->ProtocolErrors(), 0u);
    }

private:
    TempFolder folder_;
    std::unique_ptr<TargetDevice> device_;
};

TEST_F(Transfer, AWholeUpdateDeliversTheImageByteForByte) {
    const Bytes image = ImageOfRecords({6, 13, 30, 11, 12});  // 72 bytes
    EXPECT_EQ(Update(image), Head() + Progress('-', 0) + Progress('-', 8) + Progress('\\', 26) +
                                 Progress('\\', 68) + Progress('|', 83) + kCompleted + kFinalWait);
    EXPECT_EQ(device().Accepted(), image);
    EXPECT_EQ(device().RecordsReceived(), 5u);
    EXPECT_EQ(ChunkTexts().size(), 1u + 2 + 3 + 1 + 2);
    // The answer to the search, then a millisecond's pause after every chunk,
    // the device answering each record within its last one.
    for (std::size_t i = 2; i < sim::Sent().size(); ++i) {
        EXPECT_EQ(sim::Sent()[i].timeMs - sim::Sent()[i - 1].timeMs, 1u) << "before chunk " << i;
    }
    EXPECT_EQ(sim::NowMs(), 1u + 9);
}

TEST_F(Transfer, TheSpinnerTurnsOnceEveryTwoRecordsAndRepeatsOnARetry) {
    const std::vector<std::size_t> nine(9, 6);
    EXPECT_EQ(Glyphs(Update(ImageOfRecords(nine))), "--\\\\||//-");

    // The eighth record's first try goes unanswered.
    DeviceSettings settings;
    settings.faults = RecordTries([](std::size_t n) { return n == 7 ? std::optional(kSilence) : std::nullopt; });
    EXPECT_EQ(Glyphs(Update(ImageOfRecords(nine), settings)), "--\\\\||///-");
}

TEST_F(Transfer, OneSmallRecordIsOneChunkAndOneProgressLine) {
    const Bytes image = {0x00, 0x04, 0x01, 0x02, 0xFD, 0xFF};
    EXPECT_EQ(Update(image), Head() + Progress('-', 0) + kCompleted + kFinalWait);
    EXPECT_EQ(ChunkTexts(), std::vector<std::string>{"00040102FDFF"});
}

TEST_F(Transfer, RecordsAreCutIntoChunksOfElevenBytes) {
    const Bytes image = ImageOfRecords({11, 12, 13});
    Update(image);
    std::vector<std::size_t> lengths;
    for (const std::string& chunk : ChunkTexts()) lengths.push_back(chunk.size());
    EXPECT_EQ(lengths, (std::vector<std::size_t>{22, 22, 2, 22, 4}));
    EXPECT_EQ(device().Accepted(), image);
}

TEST_F(Transfer, ARefusedRecordIsSentAgainUntilAccepted) {
    const Bytes image = ImageOfRecords({6});
    DeviceSettings settings;
    settings.faults = RecordTries([](std::size_t n) { return n < 3 ? std::optional(Status(0x20)) : std::nullopt; });
    const std::string crc = kCrcError;
    EXPECT_EQ(Update(image, settings), Head() + Progress('-', 0) + crc + Progress('-', 0) + crc + Progress('-', 0) +
                                           crc + Progress('-', 0) + kCompleted + kFinalWait);
    EXPECT_EQ(ChunkTexts().size(), 4u);
    EXPECT_EQ(device().Accepted(), image);
}

TEST_F(Transfer, EachRefusalIsToldInItsOwnWords) {
    const Bytes image = ImageOfRecords({6});
    const std::uint8_t refusals[] = {0x21, 0x22, 0x24, 0x25, 0x42};
    DeviceSettings settings;
    settings.faults = RecordTries([&](std::size_t n) {
        return n < std::size(refusals) ? std::optional(Status(refusals[n])) : std::nullopt;
    });
    const std::string line = Progress('-', 0);
    EXPECT_EQ(Update(image, settings), Head() + line + "\nThe download file has been damaged!\n" + line +
                                           "\nThe download file has been damaged!\n" + line +
                                           "\nThe download file verifies error!\n" + line +
                                           "\nThe MCU erases error!\n" + line + line + kCompleted + kFinalWait);
}

TEST_F(Transfer, AnAcceptedRecordStartsTheFailureCountAgain) {
    const Bytes image = ImageOfRecords({6, 6});
    DeviceSettings settings;
    settings.faults = RecordTries([](std::size_t n) {
        return n % 20 == 19 ? std::nullopt : std::optional(kSilence);  // 19 silences, then an answer
    });
    const std::string transcript = Update(image, settings);
    EXPECT_EQ(transcript.substr(transcript.size() - (kCompleted + kFinalWait).size()), kCompleted + kFinalWait);
    EXPECT_EQ(device().Accepted(), image);
    EXPECT_EQ(device().RecordsReceived(), 40u);
}

TEST_F(Transfer, TwentySilencesInARowEndTheUpdate) {
    DeviceSettings settings;
    settings.faults = RecordTries([](std::size_t) { return std::optional(kSilence); });
    std::string expected = Head();
    for (int i = 0; i < 20; ++i) expected += Progress('-', 0);
    EXPECT_EQ(Update(ImageOfRecords({6}), settings), expected + "\nFailed: Target is not responding.\n\n" + kFinalWait);
    // Twenty waits of five seconds, and a millisecond after each chunk.
    EXPECT_GE(sim::NowMs(), 100000u);
    EXPECT_LT(sim::NowMs(), 100100u);
}

TEST_F(Transfer, TwentyRefusalsInARowEndTheUpdateEvenIfTheLastSaysRestarting) {
    DeviceSettings settings;
    settings.faults = RecordTries([](std::size_t n) { return std::optional(Status(n < 19 ? 0x42 : 0x77)); });
    std::string expected = Head();
    for (int i = 0; i < 20; ++i) expected += Progress('-', 0);
    EXPECT_EQ(Update(ImageOfRecords({6}), settings), expected + "\nError in updating.\n" + kFinalWait);
}

TEST_F(Transfer, SilencesAndRefusalsAddUp) {
    DeviceSettings settings;
    settings.faults = RecordTries([](std::size_t n) { return std::optional(n % 2 ? Status(0x42) : kSilence); });
    const std::string transcript = Update(ImageOfRecords({6}), settings);
    EXPECT_NE(transcript.find("\nError in updating.\n" + kFinalWait), std::string::npos);
    EXPECT_EQ(device().RecordsReceived(), 20u);
}

TEST_F(Transfer, ADeviceThatRestartsEndsTheUpdateAsASuccess) {
    const Bytes image = ImageOfRecords({6, 6, 6});
    DeviceSettings settings;
    settings.faults = RecordTries([](std::size_t n) { return n == 1 ? std::optional(Status(0x77)) : std::nullopt; });
    EXPECT_EQ(Update(image, settings), Head() + Progress('-', 0) + Progress('-', 33) + kRestarted + kFinalWait);
    EXPECT_EQ(ChunkTexts().size(), 2u) << "a record was sent after the device restarted";

    DeviceSettings onTheLast;
    onTheLast.restartAfterBytes = image.size();
    EXPECT_EQ(Update(image, onTheLast),
              Head() + Progress('-', 0) + Progress('-', 33) + Progress('\\', 66) + kRestarted + kFinalWait);
    EXPECT_EQ(device().Accepted(), image);
}

TEST_F(Transfer, ALateAnswerIsNeverTakenForAnotherRecord) {
    // The device is busy past the wait with one request (erasing its memory
    // before it takes the first record, or answering the search late), then
    // takes 20 ms to store every record, and refuses one record once. The
    // late answer and the retry's answer must both stay with the request's
    // own record, or the refusal would land on the wrong one and the refused
    // record would never come again.
    const Bytes image = ImageOfRecords({6, 13, 30});  // 49 bytes, 1 + 2 + 3 chunks
    // A try of n chunks takes n ms of pauses and 20 ms of storing. Busy for
    // 7 s with the first record, the device answers its first try at
    // 7022 ms, after the wait ran out at 5002 ms; the second try takes that
    // answer, its own comes at 7042 ms and is set aside.
    constexpr std::uint64_t kRecordZeroDone = 7042;
    const struct {
        const char* why;
        bool busySearching;  // busy with the first identification request, not the first record
        std::uint32_t busyMs;
        std::size_t refused;  // the record whose first try is refused
        std::string transcript;
        std::uint64_t ms;
    } cases[] = {
        {"busy with the first record, then refusing the next", false, 7000, 1,
         Progress('-', 0) + Progress('-', 0) + Progress('-', 12) + kCrcError + Progress('-', 12) + Progress('\\', 38),
         kRecordZeroDone + 2 * 22 + 23},
        {"busy with the first record, then refusing the last", false, 7000, 2,
         Progress('-', 0) + Progress('-', 0) + Progress('-', 12) + Progress('\\', 38) + kCrcError +
             Progress('\\', 38),
         kRecordZeroDone + 22 + 2 * 23},
        // Both identification answers arrive at 701 ms, the first taken by
        // the second request, the other set aside.
        {"answering the search late, then refusing the first record", true, 700, 0,
         Progress('-', 0) + kCrcError + Progress('-', 0) + Progress('-', 12) + Progress('\\', 38),
         701 + 2 * 21 + 22 + 23},
    };
    for (const auto& c : cases) {
        DeviceSettings settings;
        settings.storeMs = 20;
        settings.faults = [&c](const Request& r) -> std::optional<Response> {
            if (r.number == 0 && r.identification == c.busySearching) {
                return Response{Response::Kind::kStatus, r.status, c.busyMs};
            }
            if (!r.identification && r.record == c.refused && r.attempt == 0) return Status(0x20);
            return std::nullopt;
        };
        EXPECT_EQ(Update(image, settings), Head() + c.transcript + kCompleted + kFinalWait) << c.why;
        EXPECT_EQ(device().Accepted(), image) << c.why;
        EXPECT_EQ(sim::NowMs(), c.ms) << c.why;
    }
}

TEST_F(Transfer, OneByteAndIncompleteRepliesAreNoReplies) {
    const Bytes image = ImageOfRecords({6});
    DeviceSettings settings;
    settings.faults = RecordTries([](std::size_t n) -> std::optional<Response> {
        if (n == 0) return Response{Response::Kind::kOneByte};
        if (n == 1) return Response{Response::Kind::kIncomplete, 0x1A};
        return std::nullopt;
    });
    EXPECT_EQ(Update(image, settings),
              Head() + Progress('-', 0) + Progress('-', 0) + Progress('-', 0) + kCompleted + kFinalWait);
    EXPECT_EQ(device().Accepted(), image);
}

TEST_F(Transfer, ASendThatFailsEndsTheUpdateAtOnce) {
    // Send 0 is the identification request; the 13-byte record's chunks
    // are sends 1 (full) and 2 (the last, partial one).
    for (std::size_t failing : {1u, 2u}) {
        const auto failSend = [failing] {
            sim::SetSendResult([failing](std::size_t n) { return n == failing ? MMSYSERR_NODRIVER : MMSYSERR_NOERROR; });
        };
        EXPECT_EQ(Update(ImageOfRecords({13}), {}, failSend),
                  Head() + Progress('-', 0) + "\nError: The MIDI Out of device is missing!\n\n" + kFinalWait)
            << "send " << failing;
        EXPECT_LT(sim::NowMs(), 100u) << "waited for a reply to a record that was not sent";
    }
}

}  // namespace
