// Whole updates on the simulated platform: the program's complete console
// transcript, the chunks on the wire, the bytes the device accepted and the
// time it all took on the virtual clock.
#include <gtest/gtest.h>

#include <numeric>

#include "image/sha256.h"
#include "midi/midi_link.h"
#include "sim/sim_platform.h"
#include "support/expected_update.h"
#include "support/scene.h"

namespace {

using namespace text;

// What every run on port pair (0, 0) prints before the transfer.
const std::string kHead = kBanner + Opened("Corvilent.led") + Found("In 0", "Out 0");

// The same with --batch, which also tells the image's summary.
std::string BatchHead(const Bytes& image) {
    const std::string stored = ImageText(image);
    Sha256 hash;
    hash.Add(reinterpret_cast<const std::uint8_t*>(stored.data()), stored.size());
    char sha256[65];
    hash.Finish(sha256);
    return kBanner + Opened("Corvilent.led") + Summary(image.size(), RecordsOf(image), sha256) + Found("In 0", "Out 0");
}

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

std::vector<std::string> Silences(std::size_t n) { return std::vector<std::string>(n, ""); }

class Transfer : public testing::Test {
protected:
    // A whole update of `image` against a device on port pair (0, 0);
    // `arrange` adds to the simulated platform before the run.
    std::string Update(const Bytes& image, DeviceSettings settings, const std::function<void()>& arrange = {},
                       Reader reader = Reader::kPlain) {
        device_ = std::make_unique<TargetDevice>(std::move(settings));
        SetUpScene(1, 1, {0}, {0}, device_.get());
        if (arrange) arrange();
        folder_.WriteFile("Corvilent.led", ImageText(image));
        const std::string transcript = RunUpdateIn(folder_, reader);
        EXPECT_FALSE(sim::InputIsOpen(0) || sim::OutputIsOpen(0)) << "the run left a port open";
        EXPECT_EQ(device_->ProtocolErrors(), 0u);
        return transcript;
    }
    const TargetDevice& device() const { return *device_; }

private:
    TempFolder folder_;
    std::unique_ptr<TargetDevice> device_;
};

TEST_F(Transfer, EveryEnding) {
    const struct {
        const char* why;
        std::vector<std::size_t> records;
        const char* faults;
        std::uint32_t storeMs;
        FailedTries failed;
        Shown shown;
        std::string ending;
        std::size_t received;  // records the device put together
        std::size_t accepted;  // records it holds, from the first
        std::uint64_t ms;      // on the virtual clock
    } cases[] = {
        // The search's answer comes at 1 ms; each chunk is followed by a 1 ms
        // pause, in which the device's answer to a record comes.
        {"every record accepted", {6, 13, 30, 11, 12}, "", 0, {}, {}, kCompleted, 5, 5, 1 + 9},
        // Each glyph stays for two records, and for a record sent again;
        // after a silence, answers still owed get one more wait.
        {"the spinner", std::vector<std::size_t>(9, 6), "7:0:silence", 0, {{7, {""}}}, {}, kCompleted, 10, 9,
         1 + 10 + 5000 + 5000},
        {"a refused record is sent again", {6}, "0:0-2:status=20", 0, {{0, {kCrcError, kCrcError, kCrcError}}}, {},
         kCompleted, 4, 1, 1 + 4},
        {"each refusal in its words", {6},
         "0:0:status=21 0:1:status=22 0:2:status=24 0:3:status=25 0:4:status=42 0:5:status=3D", 0,
         {{0, {kDamaged, kDamaged, kVerifyError, kEraseError, "", ""}}}, {}, kCompleted, 7, 1, 1 + 7},
        {"a lone byte or a cut message is no answer, F0 F7 is one", {6}, "0:0:lone-byte 0:1:cut-short 0:2:empty", 0,
         {{0, Silences(3)}}, {}, kCompleted, 4, 1, 1 + 2 * 5001 + 2 + 5000},
        {"an accepted record starts the count of failures again", {6, 6}, "0:0-18:silence 1:0-18:silence", 0,
         {{0, Silences(19)}, {1, Silences(19)}}, {}, kCompleted, 40, 2, 1 + 38 * 5001 + 2 + 2 * 5000},
        {"twenty silences", {6}, "0:*:silence", 0, {{0, Silences(20)}}, {1, false}, kNotResponding, 20, 0,
         1 + 20 * 5001},
        // The device stored the record as it said it restarts.
        {"twenty refusals, though the last says it restarts", {6}, "0:0-18:status=42 0:19:status=77", 0,
         {{0, Silences(20)}}, {1, false}, kUpdateError, 20, 1, 1 + 20},
        {"silences and refusals add up", {6}, "0:0-9:silence 0:10-19:status=42", 0, {{0, Silences(20)}}, {1, false},
         kUpdateError, 20, 0, 1 + 10 * 5001 + 10},
        {"the device restarts after a record", {6, 6, 6}, "1:0:status=77", 0, {}, {2}, kRestarted, 2, 2, 1 + 2},
        // A late answer never counts for another record. The device is busy
        // past the wait with one request (erasing its memory before it takes
        // the first record, or answering the search late), takes 20 ms to
        // store every record, and refuses one once: the late answer and the
        // retry's stay with their own record, or the refusal would land on
        // the wrong one and the refused record never come again. Busy 7 s
        // with the first record (1 chunk), the device answers its first try
        // at 7022 ms, after the wait ran out at 5002 ms; the second try takes
        // that answer, its own comes at 7042 ms and is set aside.
        {"busy with the first record, then refusing the next", {6, 13, 30}, "0:0:busy=7000 1:0:status=20", 20,
         {{0, {""}}, {1, {kCrcError}}}, {}, kCompleted, 5, 3, 7042 + 2 * 22 + 23},
        {"busy with the first record, then refusing the last", {6, 13, 30}, "0:0:busy=7000 2:0:status=20", 20,
         {{0, {""}}, {2, {kCrcError}}}, {}, kCompleted, 5, 3, 7042 + 22 + 2 * 23},
        // Both identification answers arrive at 701 ms, the first taken by
        // the second request, the other set aside.
        {"answering the search late, then refusing the first record", {6, 13, 30}, "id:0:busy=700 0:0:status=20", 20,
         {{0, {kCrcError}}}, {}, kCompleted, 4, 3, 701 + 2 * 21 + 22 + 23},
    };
    for (const auto& c : cases) {
        const Bytes image = ImageOfRecords(c.records);
        DeviceSettings settings;
        settings.faults = Faults(c.faults);
        settings.storeMs = c.storeMs;
        EXPECT_EQ(Update(image, settings), kHead + TransferLines(image, c.failed, c.shown) + c.ending + kFinalWait)
            << c.why;
        EXPECT_EQ(device().ReceivedRecords().size(), c.received) << c.why;
        const std::size_t held = std::accumulate(c.records.begin(), c.records.begin() + c.accepted, std::size_t{0});
        EXPECT_EQ(device().Accepted(), Bytes(image.begin(), image.begin() + held)) << c.why;
        EXPECT_EQ(sim::NowMs(), c.ms) << c.why;
    }
}

TEST_F(Transfer, ChunksCarryTheRecordsAsTextElevenBytesAtATime) {
    Update({0x00, 0x04, 0x01, 0x02, 0xFD, 0xFF}, {});
    ASSERT_EQ(sim::Sent().size(), 2u);
    EXPECT_EQ(sim::Sent()[1].bytes, (Bytes{0xF0, '0', '0', '0', '4', '0', '1', '0', '2', 'F', 'D', 'F', 'F', 0xF7}));

    const Bytes image = ImageOfRecords({11, 12, 13});
    Update(image, {});
    std::vector<std::size_t> lengths;
    for (std::size_t i = 1; i < sim::Sent().size(); ++i) {
        lengths.push_back(sim::Sent()[i].bytes.size() - 2);
        // A millisecond's pause after every chunk, the device answering each
        // record within its last one.
        EXPECT_EQ(sim::Sent()[i].timeMs - sim::Sent()[i - 1].timeMs, 1u) << "before send " << i;
    }
    EXPECT_EQ(lengths, (std::vector<std::size_t>{22, 22, 2, 22, 4}));
    EXPECT_EQ(device().Accepted(), image);
}

TEST_F(Transfer, ARestartOnTheLastRecordOrAFailedSendEndsIt) {
    const Bytes image = ImageOfRecords({6, 6, 6});
    DeviceSettings restarting;
    restarting.restartAfterBytes = image.size();
    EXPECT_EQ(Update(image, restarting), kHead + TransferLines(image) + kRestarted + kFinalWait);
    EXPECT_EQ(device().Accepted(), image);

    // Send 0 is the identification request; the 13-byte record's chunks are
    // sends 1 (full) and 2 (the last, partial one): both end the run at once.
    for (std::size_t failing : {1u, 2u}) {
        const auto failSend = [failing] {
            sim::SetSendResult([failing](std::size_t n) { return n == failing ? MMSYSERR_NODRIVER : MMSYSERR_NOERROR; });
        };
        EXPECT_EQ(Update(ImageOfRecords({13}), {}, failSend),
                  kHead + text::Progress('-', 0) + kOutputMissing + kFinalWait);
        EXPECT_EQ(sim::NowMs(), failing) << "waited for an answer to a record not sent whole";
    }
}

TEST_F(Transfer, ALongWaitShowsOnATerminalAndAsALineInBatch) {
    // The first try is not answered: five seconds, and five more for its
    // answer, owed, after the second try's.
    const Bytes image = ImageOfRecords({6});
    DeviceSettings settings;
    settings.faults = Faults("0:0:silence");
    std::string waiting;
    std::size_t width = 0;
    for (int second = 1; second <= 4; ++second) {
        const std::string shown = "Transferring.. - 0% done - Waiting for the device: " + std::to_string(second) + " s";
        waiting += "\r" + std::string(width, ' ') + "\r" + shown;
        width = shown.size();
    }
    const std::string restored = "\r" + std::string(width, ' ') + "\rTransferring.. - 0% done";
    EXPECT_EQ(Update(image, settings, {}, Reader::kTerminal),
              kHead + Progress('-', 0) + waiting + restored + Progress('-', 0) + waiting + restored + kCompleted +
                  kFinalWait);
    EXPECT_EQ(Update(image, settings, {}, Reader::kBatch),
              BatchHead(image) + BatchProgress(0) + "Waiting for the device...\n" + "Waiting for the device...\n" +
                  kBatchCompleted);
}

TEST_F(Transfer, CyclesTheMidiServiceMissedAreToldOnceInEveryFace) {
    const Bytes image = ImageOfRecords({6, 6, 6});
    // Send 0 asks for the device; sends 1 to 3 are the records. Cycles
    // missed from the second record on.
    const auto missing = [] { sim::MissCycleAtSend(2); };
    EXPECT_EQ(Update(image, {}, missing),
              kHead + Progress('-', 0) + Progress('-', 33) + "\n" + kMissedCyclesAdvice + Progress('\\', 66) +
                  kCompleted + kFinalWait);
    EXPECT_EQ(Update(image, {}, missing, Reader::kBatch),
              BatchHead(image) + BatchProgress(0) + BatchProgress(33) + kMissedCyclesAdvice + BatchProgress(66) +
                  kBatchCompleted);
    // Missed while the device is looked for: before it is found.
    EXPECT_EQ(Update(image, {}, [] { sim::MissCycleAtSend(0); }),
              kBanner + Opened("Corvilent.led") + "\n" + kMissedCyclesAdvice + Found("In 0", "Out 0") +
                  TransferLines(image) + kCompleted + kFinalWait);
}

TEST_F(Transfer, AMessageThePlatformHoldsCostsItsTime) {
    // The request, then three chunks, each held 8 ms; a chunk is followed by
    // the 1 ms pause, in which the device's answer comes.
    const Bytes image = ImageOfRecords({30});
    Update(image, {}, [] { sim::HoldEveryMessage(8); });
    EXPECT_EQ(device().Accepted(), image);
    EXPECT_EQ(sim::NowMs(), 8 + 3 * (8 + 1u));
    // A chunk it never lets go of is given up after five seconds.
    EXPECT_EQ(Update(image, {}, [] { sim::HoldEveryMessage(UINT32_MAX, 1); }),
              kHead + Progress('-', 0) + kOutputMissing + kFinalWait);
    EXPECT_EQ(sim::NowMs(), 1 + 5000u);
}

}  // namespace
