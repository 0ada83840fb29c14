// Many updates on the simulated platform with random faults, late answers
// and storing times, seeded and so repeatable: whatever goes wrong, the run
// ends in one of its endings, in bounded time, claims success only when it
// is true, and never sends what the image does not hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/scene.h"

namespace {

using namespace text;

// The device's answer to one try, in the words --fault takes: mostly its
// own, often a fault. The device may be busy with a try that finds it
// idle, so long that its answer comes up to one more wait after the
// program's wait for it (500 ms for the search, 5 s for a record) ended.
std::string RandomFault(std::mt19937& random, bool identification, std::uint32_t storeMs) {
    const std::uint32_t wait = identification ? 500 : 5000;
    // Storing, the way back and the program's 1 ms pause after its last chunk.
    const std::uint32_t overhead = (identification ? 0 : storeMs) + 2;
    const auto between = [&](std::uint32_t from, std::uint32_t to) {
        return std::to_string(std::uniform_int_distribution<std::uint32_t>(from, to)(random));
    };
    const char* refusals[] = {"20", "21", "22", "24", "25", "42", "3D"};
    switch (std::uniform_int_distribution<int>(0, 12)(random)) {
        case 0: return "silence";
        case 1: return "lone-byte";
        case 2: return "cut-short";
        case 3: return std::string("status=") + refusals[random() % std::size(refusals)];
        case 4: return overhead < wait ? "busy=" + between(0, wait - overhead - 1) : "";  // late, within the wait
        case 5: return random() % 3 == 0 ? "busy=" + between(wait, 2 * wait - overhead - 1) : "";  // after it
        case 6: return !identification && random() % 8 == 0 ? "status=77" : "";
        default: return "";
    }
}

TEST(FaultInjection, RandomFaultsNeverCorruptTheUpdate) {
    std::mt19937 random(20261207);
    const std::string endings[] = {kCompleted, kRestarted, kNotResponding, kUpdateError, kOutputMissing, kNoDevice};
    std::size_t seen[std::size(endings)] = {};
    std::size_t lateAndCompleted = 0;
    for (int run = 0; run < 300; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        // 1 to 6 records of 5 to 40 bytes, random data but for the first
        // byte, which numbers the records: the device takes a record that
        // equals the one it accepted last for that one sent again.
        Bytes image;
        const int records = std::uniform_int_distribution<int>(1, 6)(random);
        for (int i = 0; i < records; ++i) {
            Bytes data(std::uniform_int_distribution<std::size_t>(1, 36)(random));
            for (std::uint8_t& b : data) b = static_cast<std::uint8_t>(random());
            data[0] = static_cast<std::uint8_t>(i);
            const Bytes record = MakeRecord(data);
            image.insert(image.end(), record.begin(), record.end());
        }
        // A fault, or none, for each of the twenty tries of every record,
        // and of the identification requests.
        DeviceSettings settings;
        settings.storeMs = std::uniform_int_distribution<std::uint32_t>(0, 999)(random);
        std::string faults;
        for (int record = 0; record <= records; ++record) {
            const std::string which = record == records ? "id" : std::to_string(record);
            for (int attempt = 0; attempt < 20; ++attempt) {
                const std::string fault = RandomFault(random, record == records, settings.storeMs);
                if (!fault.empty()) faults += which + ":" + std::to_string(attempt) + ":" + fault + " ";
            }
        }
        settings.faults = Faults(faults);
        TargetDevice device(settings);
        SetUpScene(1, 1);
        // What the faults came to: an answer to a record after the program's
        // wait for it ended, and whether the device said it restarts.
        bool late = false;
        bool restarted = false;
        sim::Attach(&device, {0}, {0}, 1, [&](std::uint64_t now, const TimedResponse& answer) {
            late |= answer.atMs - now >= 5000;
            restarted |= answer.response.kind == Response::Kind::kStatus && answer.response.status == 0x77;
        });
        const bool failingSends = std::uniform_int_distribution<unsigned>(0, 3)(random) == 0;
        sim::SetSendResult([&, failingSends](std::size_t) {
            return failingSends && random() % 40 == 0 ? MMSYSERR_NODRIVER : MMSYSERR_NOERROR;
        });
        TempFolder folder;
        folder.WriteFile("Corvilent.led", ImageText(image));
        const std::string transcript = RunProgramIn(folder).out;

        const auto ended = std::find_if(std::begin(endings), std::end(endings), [&](const std::string& e) {
            const std::string end = e + kFinalWait;
            return transcript.size() >= end.size() &&
                   transcript.compare(transcript.size() - end.size(), end.size(), end) == 0;
        });
        ASSERT_NE(ended, std::end(endings)) << transcript;
        ++seen[ended - endings];
        if (*ended == kCompleted) {
            EXPECT_EQ(device.Accepted(), image) << "success claimed, but the device lacks records";
            lateAndCompleted += late;
        }
        EXPECT_TRUE(*ended != kRestarted || restarted) << "a restart claimed that the device did not say";
        EXPECT_EQ(device.ProtocolErrors(), 0u);
        for (const Bytes& received : device.ReceivedRecords()) {
            EXPECT_NE(std::search(image.begin(), image.end(), received.begin(), received.end()), image.end())
                << "the device got a record the image does not hold";
        }
        // The search's four waits, then for every record at most twenty
        // tries of a chunk pause each and one reply wait; after the search
        // and every record, one more wait for late answers.
        EXPECT_LE(sim::NowMs(), 4u * 500 + 5000 + records * (20 * (5000 + 10) + 5000));
    }
    // The faults are frequent enough to reach the common endings.
    EXPECT_GT(seen[0], 0u) << "no update completed";
    EXPECT_GT(seen[1], 0u) << "no device restarted";
    EXPECT_GT(seen[4], 0u) << "no send failed";
    EXPECT_GT(lateAndCompleted, 0u) << "no update with a late answer completed";
}

}  // namespace
