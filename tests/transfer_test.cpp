// Whole updates on the simulated platform: the program's complete console
// transcript, the chunks on the wire, the bytes the device accepted and the
// time it all took on the virtual clock.
#include <gtest/gtest.h>

#include <map>
#include <numeric>
#include <sstream>

#include "midi/midi_link.h"
#include "sim/sim_platform.h"
#include "support/scene.h"

namespace {

using namespace text;

// What every run on port pair (0, 0) prints before the transfer.
const std::string kHead = kBanner + Opened("Corvilent.led") + Found("In 0", "Out 0");
const std::string kNotResponding = "\nFailed: Target is not responding.\n\n";
const std::string kUpdateError = "\nError in updating.\n";

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

// Tokens, a count before a star repeating one ("20*s").
std::vector<std::string> Tokens(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> tokens;
    for (std::string token; in >> token;) {
        const std::size_t star = token.find('*');
        const std::size_t times = star == std::string::npos ? 1 : std::stoul(token.substr(0, star));
        tokens.insert(tokens.end(), times, token.substr(star + 1));
    }
    return tokens;
}

// The device's answers to the record tries, in order: "a" its own, "s"
// silence, "b" a lone byte, "c" its own cut short, "e" an empty message (F0
// F7), "x20" that status. Tries past the list get its own answer.
FaultScript Answers(const std::string& text) {
    std::vector<std::optional<Response>> answers;
    for (const std::string& token : Tokens(text)) {
        const std::map<char, Response::Kind> kinds = {{'s', Response::Kind::kSilence},
                                                      {'b', Response::Kind::kOneByte},
                                                      {'c', Response::Kind::kIncomplete},
                                                      {'e', Response::Kind::kEmpty}};
        if (token[0] == 'x') {
            answers.push_back(Response{Response::Kind::kStatus, static_cast<std::uint8_t>(std::stoul(token.substr(1), nullptr, 16))});
        } else if (kinds.count(token[0])) {
            answers.push_back(Response{kinds.at(token[0]), 0x1A});
        } else {
            answers.push_back(std::nullopt);
        }
    }
    return [answers](const Request& r) {
        return r.identification || r.number >= answers.size() ? std::nullopt : answers[r.number];
    };
}

// What the transfer shows: progress lines as their glyph and percentage
// ("-0", "\\26"), and the refusals' words by name.
std::string Shown(const std::string& text) {
    const std::map<std::string, std::string> words = {
        {"crc", kCrcError},
        {"damaged", "\nThe download file has been damaged!\n"},
        {"verifies", "\nThe download file verifies error!\n"},
        {"erases", "\nThe MCU erases error!\n"},
    };
    std::string shown;
    for (const std::string& token : Tokens(text)) {
        shown += words.count(token) ? words.at(token) : Progress(token[0], std::stoul(token.substr(1)));
    }
    return shown;
}

class Transfer : public testing::Test {
protected:
    // A whole update of `image` against a device on port pair (0, 0);
    // `arrange` adds to the simulated platform before the run.
    std::string Update(const Bytes& image, DeviceSettings settings, const std::function<void()>& arrange = {}) {
        device_ = std::make_unique<TargetDevice>(std::move(settings));
        SetUpScene(1, 1, {0}, {0}, device_.get());
        if (arrange) arrange();
        folder_.WriteFile("Corvilent.led", ImageText(image));
        const std::string transcript = RunUpdateIn(folder_);
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
        const char* answers;
        const char* shown;
        std::string ending;
        std::size_t received;  // records the device put together
        std::size_t accepted;  // records it holds, from the first
        std::uint64_t ms;      // on the virtual clock
    } cases[] = {
        // The search's answer comes at 1 ms; each chunk is followed by a 1 ms
        // pause, in which the device's answer to a record comes.
        {"every record accepted", {6, 13, 30, 11, 12}, "", "-0 -8 \\26 \\68 |83", kCompleted, 5, 5, 1 + 9},
        // Each glyph stays for two records, and for a record sent again;
        // after a silence, answers still owed get one more wait.
        {"the spinner", std::vector<std::size_t>(9, 6), "7*a s", "-0 -11 \\22 \\33 |44 |55 /66 /77 /77 -88",
         kCompleted, 10, 9, 1 + 10 + 5000 + 5000},
        {"a refused record is sent again", {6}, "3*x20", "-0 crc -0 crc -0 crc -0", kCompleted, 4, 1, 1 + 4},
        {"each refusal in its words", {6}, "x21 x22 x24 x25 x42 x3D",
         "-0 damaged -0 damaged -0 verifies -0 erases 3*-0", kCompleted, 7, 1, 1 + 7},
        {"a lone byte or a cut message is no answer, F0 F7 is one", {6}, "b c e", "4*-0", kCompleted, 4, 1,
         1 + 2 * 5001 + 2 + 5000},
        {"an accepted record starts the count of failures again", {6, 6}, "19*s a 19*s", "20*-0 20*-50", kCompleted,
         40, 2, 1 + 38 * 5001 + 2 + 2 * 5000},
        {"twenty silences", {6}, "20*s", "20*-0", kNotResponding, 20, 0, 1 + 20 * 5001},
        // The device stored the record as it said it restarts.
        {"twenty refusals, though the last says it restarts", {6}, "19*x42 x77", "20*-0", kUpdateError, 20, 1, 1 + 20},
        {"silences and refusals add up", {6}, "10*s 10*x42", "20*-0", kUpdateError, 20, 0, 1 + 10 * 5001 + 10},
        {"the device restarts after a record", {6, 6, 6}, "a x77", "-0 -33", kRestarted, 2, 2, 1 + 2},
    };
    for (const auto& c : cases) {
        const Bytes image = ImageOfRecords(c.records);
        DeviceSettings settings;
        settings.faults = Answers(c.answers);
        EXPECT_EQ(Update(image, settings), kHead + Shown(c.shown) + c.ending + kFinalWait) << c.why;
        EXPECT_EQ(device().RecordsReceived(), c.received) << c.why;
        const std::size_t held = std::accumulate(c.records.begin(), c.records.begin() + c.accepted, std::size_t{0});
        EXPECT_EQ(device().Accepted(), Bytes(image.begin(), image.begin() + held)) << c.why;
        EXPECT_EQ(sim::NowMs(), c.ms) << c.why;
    }
}

TEST_F(Transfer, ALateAnswerIsNeverTakenForAnotherRecord) {
    // The device is busy past the wait with one request (erasing its memory
    // before it takes the first record, or answering the search late), then
    // takes 20 ms to store every record, and refuses one record once. The
    // late answer and the retry's answer must both stay with the request's
    // own record, or the refusal would land on the wrong one and the refused
    // record would never come again.
    const Bytes image = ImageOfRecords({6, 13, 30});  // 1 + 2 + 3 chunks
    // A try of n chunks takes n ms of pauses and 20 ms of storing. Busy for
    // 7 s with the first record, the device answers its first try at
    // 7022 ms, after the wait ran out at 5002 ms; the second try takes that
    // answer, its own comes at 7042 ms and is set aside.
    const struct {
        const char* why;
        bool busySearching;  // busy with the first identification request, not the first record
        std::uint32_t busyMs;
        std::size_t refused;  // the record whose first try is refused
        const char* shown;
        std::uint64_t ms;
    } cases[] = {
        {"busy with the first record, then refusing the next", false, 7000, 1, "-0 -0 -12 crc -12 \\38",
         7042 + 2 * 22 + 23},
        {"busy with the first record, then refusing the last", false, 7000, 2, "-0 -0 -12 \\38 crc \\38",
         7042 + 22 + 2 * 23},
        // Both identification answers arrive at 701 ms, the first taken by
        // the second request, the other set aside.
        {"answering the search late, then refusing the first record", true, 700, 0, "-0 crc -0 -12 \\38",
         701 + 2 * 21 + 22 + 23},
    };
    for (const auto& c : cases) {
        DeviceSettings settings;
        settings.storeMs = 20;
        settings.faults = [&c](const Request& r) -> std::optional<Response> {
            if (r.number == 0 && r.identification == c.busySearching) return Response{{}, r.status, c.busyMs};
            if (!r.identification && r.record == c.refused && r.attempt == 0) return Response{{}, 0x20};
            return std::nullopt;
        };
        EXPECT_EQ(Update(image, settings), kHead + Shown(c.shown) + kCompleted + kFinalWait) << c.why;
        EXPECT_EQ(device().Accepted(), image) << c.why;
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
    EXPECT_EQ(Update(image, restarting), kHead + Shown("-0 -33 \\66") + kRestarted + kFinalWait);
    EXPECT_EQ(device().Accepted(), image);

    // Send 0 is the identification request; the 13-byte record's chunks are
    // sends 1 (full) and 2 (the last, partial one): both end the run at once.
    for (std::size_t failing : {1u, 2u}) {
        const auto failSend = [failing] {
            sim::SetSendResult([failing](std::size_t n) { return n == failing ? MMSYSERR_NODRIVER : MMSYSERR_NOERROR; });
        };
        EXPECT_EQ(Update(ImageOfRecords({13}), {}, failSend),
                  kHead + Shown("-0") + "\nError: The MIDI Out of device is missing!\n\n" + kFinalWait);
        EXPECT_EQ(sim::NowMs(), failing) << "waited for an answer to a record not sent whole";
    }
}

}  // namespace
