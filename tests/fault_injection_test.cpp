// Many updates on the simulated platform with random faults, late answers
// and storing times, seeded and so repeatable: whatever goes wrong, the run
// ends in one of its endings, in bounded time, claims success only when it
// is true, and never sends what the image does not hold.
#include <gtest/gtest.h>

#include <random>

#include "midi/midi_link.h"
#include "sim/sim_platform.h"
#include "support/captured_run.h"
#include "support/update_scene.h"

namespace {

using namespace text;

constexpr int kRuns = 300;

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// An image of 1 to 6 records of 5 to 40 bytes, random data but for the first
// byte, which numbers the records: the device takes a record that equals the
// one it accepted last for that one sent again.
Bytes RandomImage(std::mt19937& random, std::vector<std::pair<std::size_t, std::size_t>>* records) {
    Bytes image;
    const int count = std::uniform_int_distribution<int>(1, 6)(random);
    for (int i = 0; i < count; ++i) {
        Bytes data(std::uniform_int_distribution<std::size_t>(1, 36)(random));
        for (std::uint8_t& b : data) b = static_cast<std::uint8_t>(random());
        data[0] = static_cast<std::uint8_t>(i);
        const Bytes record = MakeRecord(data);
        records->emplace_back(image.size(), record.size());
        image.insert(image.end(), record.begin(), record.end());
    }
    return image;
}

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
    switch (std::uniform_int_distribution<int>(0, 12)(random)) {
        case 0: return Response{Response::Kind::kSilence};
        case 1: return Response{Response::Kind::kOneByte};
        case 2: return Response{Response::Kind::kIncomplete, request.status};
        case 3: return Response{Response::Kind::kStatus, refusal};
        case 4:
            if (request.waited || overhead >= wait) return std::nullopt;
            // Late, but within the wait.
            return Response{Response::Kind::kStatus, status,
                            std::uniform_int_distribution<std::uint32_t>(0, wait - overhead - 1)(random)};
        case 5:
            if (request.waited || random() % 3 != 0) return std::nullopt;
            // After the wait, within one more.
            faults->late = true;
            return Response{Response::Kind::kStatus, status,
                            std::uniform_int_distribution<std::uint32_t>(wait, 2 * wait - overhead - 1)(random)};
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
        kCompleted,
        kRestarted,
        "\nFailed: Target is not responding.\n\n",
        "\nError in updating.\n",
        "\nError: The MIDI Out of device is missing!\n\n",
        kNoDevice,
    };
    std::size_t seen[std::size(endings)] = {};
    std::size_t lateAndCompleted = 0;
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        std::vector<std::pair<std::size_t, std::size_t>> records;
        const Bytes image = RandomImage(random, &records);
        Faults faults;
        DeviceSettings settings;
        settings.storeMs = std::uniform_int_distribution<std::uint32_t>(0, 999)(random);
        settings.faults = [&](const Request& request) {
            return RandomFault(random, request, settings.storeMs, &faults);
        };
        TargetDevice device(settings);
        SetUpScene(1, 1, {0}, {0}, &device);
        const unsigned failingSends = std::uniform_int_distribution<unsigned>(0, 3)(random) == 0 ? 40 : 0;
        sim::SetSendResult([&, failingSends](std::size_t) {
            return failingSends && random() % failingSends == 0 ? MMSYSERR_NODRIVER : MMSYSERR_NOERROR;
        });
        TempFolder folder;
        folder.WriteFile("Corvilent.led", ImageText(image));
        const std::string transcript = RunUpdateIn(folder);

        std::size_t endingsMatched = 0;
        for (std::size_t e = 0; e < std::size(endings); ++e) {
            if (EndsWith(transcript, endings[e] + kFinalWait)) {
                ++endingsMatched;
                ++seen[e];
            }
        }
        EXPECT_EQ(endingsMatched, 1u) << transcript;
        if (EndsWith(transcript, kCompleted + kFinalWait)) {
            EXPECT_EQ(device.Accepted(), image) << "success claimed, but the device lacks records";
            lateAndCompleted += faults.late;
        }
        if (EndsWith(transcript, kRestarted + kFinalWait)) {
            EXPECT_TRUE(faults.restarted);
        }

        EXPECT_EQ(device.ProtocolErrors(), 0u);
        for (const Bytes& received : device.ReceivedRecords()) {
            bool fromTheImage = false;
            for (const auto& [position, size] : records) {
                fromTheImage |= received == Bytes(image.begin() + position, image.begin() + position + size);
            }
            EXPECT_TRUE(fromTheImage) << "the device got a record the image does not hold";
        }
        // The search's four waits, then for every record at most twenty
        // tries of a chunk pause each and one reply wait; after the search
        // and every record, one more wait for late answers.
        const std::uint64_t bound = 4 * 500 + 5000 + records.size() * (20 * (5000 + 10) + 5000);
        EXPECT_LE(sim::NowMs(), bound);
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
