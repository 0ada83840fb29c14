// Many updates on the simulated platform with random faults, late answers
// and storing times, seeded and so repeatable: whatever goes wrong, the run
// ends in one of its endings, in bounded time, claims success only when it
// is true, and never sends what the image does not hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "midi/midi_link.h"
#include "sim/sim_device.h"
#include "sim/sim_platform.h"
#include "support/scene.h"

namespace {

using namespace text;

const std::uint8_t kRefusals[] = {0x20, 0x21, 0x22, 0x24, 0x25, 0x42, 0x3D};

// The device's answer to one try: mostly its own, often a fault. The device
// may be busy with a try that finds it idle, so long that its answer comes
// up to one more wait after the program's wait for it; tries that find it
// busy wait their turn and are then dealt with as quickly as the device
// stores a record.
std::optional<Fault> RandomFault(std::mt19937& random, bool identification, std::uint32_t storeMs) {
    // How long the program waits for the answer to this kind of request.
    const std::uint32_t wait = identification ? 500 : 5000;
    // Storing, the way back and the program's 1 ms pause after its last chunk.
    const std::uint32_t overhead = (identification ? 0 : storeMs) + 2;
    const auto answer = [](Response response) {
        Fault fault;
        fault.response = response;
        fault.ownStatus = response.kind != Response::Kind::kStatus || response.status == 0;
        return fault;
    };
    const auto busy = [&](std::uint32_t from, std::uint32_t to) {
        return answer({Response::Kind::kStatus, 0, std::uniform_int_distribution<std::uint32_t>(from, to)(random)});
    };
    const std::uint8_t refusal = kRefusals[random() % std::size(kRefusals)];
    switch (std::uniform_int_distribution<int>(0, 12)(random)) {
        case 0: return answer({Response::Kind::kSilence});
        case 1: return answer({Response::Kind::kOneByte});
        case 2: return answer({Response::Kind::kIncomplete});
        case 3: return answer({Response::Kind::kStatus, refusal});
        case 4:
            if (overhead >= wait) return std::nullopt;
            return busy(0, wait - overhead - 1);  // late, within the wait
        case 5:
            if (random() % 3 != 0) return std::nullopt;
            return busy(wait, 2 * wait - overhead - 1);  // after the wait, within one more
        case 6:
            if (identification || random() % 8 != 0) return std::nullopt;
            return answer({Response::Kind::kStatus, 0x77});
        default: return std::nullopt;
    }
}

// A fault, or none, for each of the twenty tries of every record, and for
// the identification requests.
std::vector<Fault> RandomFaults(std::mt19937& random, std::size_t records, std::uint32_t storeMs) {
    std::vector<Fault> faults;
    for (std::size_t record = 0; record <= records; ++record) {
        const bool identification = record == records;
        for (std::size_t attempt = 0; attempt < 20; ++attempt) {
            std::optional<Fault> fault = RandomFault(random, identification, storeMs);
            if (!fault) continue;
            fault->identification = identification;
            fault->firstRecord = fault->lastRecord = record;
            fault->firstTry = fault->lastTry = attempt;
            faults.push_back(*fault);
        }
    }
    return faults;
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
        DeviceSettings settings;
        settings.storeMs = std::uniform_int_distribution<std::uint32_t>(0, 999)(random);
        settings.faults = RandomFaults(random, static_cast<std::size_t>(records), settings.storeMs);
        TargetDevice device(settings);
        SetUpScene(1, 1, {}, {}, nullptr);
        // What the faults came to: an answer to a record after the program's
        // wait for it ended, and whether the device said it restarts.
        bool late = false;
        bool restarted = false;
        AttachDevice(&device, {0}, {0}, 1, [&](std::uint64_t now, const TimedResponse& answer) {
            late |= answer.atMs - now >= 5000;
            restarted |= answer.response.kind == Response::Kind::kStatus && answer.response.status == 0x77;
        });
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
            lateAndCompleted += late;
        }
        if (ending == 1) {
            EXPECT_TRUE(restarted);
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
    // The faults are frequent enough to reach the common endings.
    EXPECT_GT(seen[0], 0u) << "no update completed";
    EXPECT_GT(seen[1], 0u) << "no device restarted";
    EXPECT_GT(seen[4], 0u) << "no send failed";
    EXPECT_GT(lateAndCompleted, 0u) << "no update with a late answer completed";
}

}  // namespace
