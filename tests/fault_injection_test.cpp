// Many updates on the simulated platform with random faults, late answers
// and storing times, seeded and so repeatable: whatever goes wrong, the run
// ends in one of its endings, in bounded time, claims success only when it
// is true, and never sends what the image does not hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "midi/midi_link.h"
#include "sim/sim_platform.h"
#include "support/scene.h"

namespace {

using namespace text;

const std::uint8_t kRefusals[] = {0x20, 0x21, 0x22, 0x24, 0x25, 0x42, 0x3D};

// What the faults of one run came to.
struct Faults {
    bool restarted = false;  // the device answered 0x77
    bool late = false;       // an answer came after the program's wait for it
};

// The device's answer to one request: mostly its own, often a fault. The
// device may be busy with a request that reaches it idle, so long that its
// answer comes up to one more wait after the program's wait for it; those
// that reach it busy wait their turn and are then dealt with as quickly as
// the device stores a record.
std::optional<Response> RandomFault(std::mt19937& random, const Request& request, std::uint32_t storeMs,
                                    Faults* faults) {
    // How long the program waits for the answer to this kind of request.
    const std::uint32_t wait = request.identification ? 500 : 5000;
    const std::uint8_t refusal = kRefusals[random() % std::size(kRefusals)];
    const std::uint8_t status = random() % 2 ? request.status : refusal;
    // Storing, the way back and the program's 1 ms pause after its last chunk.
    const std::uint32_t overhead = (request.identification ? 0 : storeMs) + 2;
    const auto busy = [&](std::uint32_t from, std::uint32_t to) {
        return Response{Response::Kind::kStatus, status, std::uniform_int_distribution<std::uint32_t>(from, to)(random)};
    };
    switch (std::uniform_int_distribution<int>(0, 12)(random)) {
        case 0: return Response{Response::Kind::kSilence};
        case 1: return Response{Response::Kind::kOneByte};
        case 2: return Response{Response::Kind::kIncomplete, request.status};
        case 3: return Response{Response::Kind::kStatus, refusal};
        case 4:
            if (request.waited || overhead >= wait) return std::nullopt;
            return busy(0, wait - overhead - 1);  // late, within the wait
        case 5:
            if (request.waited || random() % 3 != 0) return std::nullopt;
            faults->late = true;
            return busy(wait, 2 * wait - overhead - 1);  // after the wait, within one more
        case 6:
            if (request.identification || random() % 8 != 0) return std::nullopt;
            faults->restarted = true;
            return Response{Response::Kind::kStatus, 0x77};
        default: return std::nullopt;
    }
}

TEST(FaultInjection, RandomFaultsNeverCorruptTheUpdate) {
    std::mt19937 random(20261207);
    const std::string endings[] = {
        kCompleted, kRestarted, "\nFailed: Target is not responding.\n\n", "\nError in updating.\n",
        "\nError: The MIDI Out of device is missing!\n\n", kNoDevice,
    };
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
        Faults faults;
        DeviceSettings settings;
        settings.storeMs = std::uniform_int_distribution<std::uint32_t>(0, 999)(random);
        settings.faults = [&](const Request& request) { return RandomFault(random, request, settings.storeMs, &faults); };
        TargetDevice device(settings);
        SetUpScene(1, 1, {0}, {0}, &device);
        const bool failingSends = std::uniform_int_distribution<unsigned>(0, 3)(random) == 0;
        sim::SetSendResult([&, failingSends](std::size_t) {
            return failingSends && random() % 40 == 0 ? MMSYSERR_NODRIVER : MMSYSERR_NOERROR;
        });
        TempFolder folder;
        folder.WriteFile("Corvilent.led", ImageText(image));
        const std::string transcript = RunUpdateIn(folder);

        std::size_t ending = std::size(endings);
        for (std::size_t e = 0; e < std::size(endings); ++e) {
            const std::string end = endings[e] + kFinalWait;
            if (transcript.size() >= end.size() && transcript.compare(transcript.size() - end.size(), end.size(), end) == 0) {
                EXPECT_EQ(ending, std::size(endings)) << "two endings";
                ending = e;
                ++seen[e];
            }
        }
        ASSERT_LT(ending, std::size(endings)) << transcript;
        if (ending == 0) {
            EXPECT_EQ(device.Accepted(), image) << "success claimed, but the device lacks records";
            lateAndCompleted += faults.late;
        }
        if (ending == 1) {
            EXPECT_TRUE(faults.restarted);
        }
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
    CloseMidiIn();
    CloseMidiOut();
    // The faults are frequent enough to reach the common endings.
    EXPECT_GT(seen[0], 0u) << "no update completed";
    EXPECT_GT(seen[1], 0u) << "no device restarted";
    EXPECT_GT(seen[4], 0u) << "no send failed";
    EXPECT_GT(lateAndCompleted, 0u) << "no update with a late answer completed";
}

}  // namespace
