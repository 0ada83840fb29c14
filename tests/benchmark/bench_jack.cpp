// Whole updates by the real program against the device simulator over a
// MIDI service (run it under scripts/with-jack for a JACK server in dummy
// mode). The floor is the protocol's 1 ms pause after every chunk plus the
// service's measured reply round trip for every record.
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>

#include "bench_common.h"
#include "platform/midi_service.h"
#include "support/child_process.h"
#include "support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

void Ignore(RtMidiError::Type, const std::string&, void*) {}

struct Replies {
    std::mutex lock;
    std::condition_variable arrived;
    int count = 0;
};

void OnReply(double, std::vector<unsigned char>*, void* replies) {
    auto* r = static_cast<Replies*>(replies);
    std::lock_guard<std::mutex> guard(r->lock);
    ++r->count;
    r->arrived.notify_all();
}

bool OpenPortNamed(RtMidi& client, const std::string& part) {
    for (unsigned i = 0; i < client.getPortCount(); ++i) {
        const std::string name = client.getPortName(i);
        if (name.rfind("Tessarine", 0) == 0 && name.find(part) != std::string::npos) {
            client.openPort(i, "bench");
            return true;
        }
    }
    return false;
}

// The mean time from an identification request to the simulator's answer.
double RoundTripMs() {
    Replies replies;
    auto in = MakeMidiIn("tessarine-bench", Ignore, nullptr);
    auto out = MakeMidiOut("tessarine-bench", Ignore, nullptr);
    if (!in || !out) return -1;
    in->ignoreTypes(false, true, true);
    in->setCallback(OnReply, &replies);
    if (!OpenPortNamed(*in, "device out") || !OpenPortNamed(*out, "device in")) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // connections take effect

    const unsigned char request[] = {0xF0, 0x31, 0x4B, 0x62, 0x19, 0x57, 0x03, 0x6C, 0xF7};
    constexpr int kRounds = 50;
    double total = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::unique_lock<std::mutex> guard(replies.lock);
        const int before = replies.count;
        const Clock::time_point start = Clock::now();
        out->sendMessage(request, sizeof request);
        if (!replies.arrived.wait_for(guard, std::chrono::seconds(1), [&] { return replies.count > before; })) return -1;
        total += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
    return total / kRounds;
}

// The time from the updater's start to the search's report, with `silent`
// port pairs listed before the device's (simulators that never answer the
// search), or with no device at all.
bool MeasureSearch(const std::string& updater, const std::string& simulator, int silent, bool device) {
    std::vector<std::unique_ptr<ChildProcess>> sims;
    for (int i = 0; i <= silent; ++i) {
        if (i == silent && !device) break;
        std::vector<std::string> options = {"--name", "Sim-" + std::to_string(i), "--timeout", "120"};
        if (i < silent) options.insert(options.end(), {"--fault", "id:*:silence"});
        sims.push_back(std::make_unique<ChildProcess>(simulator, options));
        if (!sims.back()->WaitForOutput("ready", 10000)) return false;
    }
    TempFolder folder;
    folder.WriteFile("Corvilent.led", ImageText(MakeImage(4, 4)));
    const Clock::time_point start = Clock::now();
    ChildProcess run(updater, {"--dry-run", "--batch"}, folder.path());
    if (!run.WaitForOutput(device ? "The Update Device is Open" : "Can't find", 60000)) return false;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::printf("%4d + %-6s %10.1f %22.1f\n", silent, device ? "device" : "none", ms, silent * 2500.0);
    return run.Wait(10000) == (device ? 0 : 3);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_jack UPDATER SIMULATOR\n");
        return 2;
    }
    // The updater runs in the image's folder.
    const std::string updaterPath = std::filesystem::absolute(argv[1]).string();
    PrintHeader("the program against the simulator over the MIDI service");
    for (std::size_t size : kBenchSizes) {
        const Bytes image = MakeImage(size, kBenchRecordData);
        std::size_t records = 0;
        const std::size_t chunks = ChunksOf(image, &records);
        TempFolder folder;
        folder.WriteFile("Corvilent.led", ImageText(image));
        const std::string accepted = folder.root() + "/accepted.bin";
        ChildProcess sim(argv[2], {"--reply-delay", "0", "--accepted", accepted, "--timeout", "600"});
        const double roundTrip = sim.WaitForOutput("ready", 10000) ? RoundTripMs() : -1;
        if (roundTrip < 0) {
            std::fprintf(stderr, "the simulator did not answer\n");
            return 1;
        }

        const Clock::time_point start = Clock::now();
        ChildProcess updater(updaterPath, {}, folder.path());
        const int status = updater.Wait(10 * 60 * 1000);
        const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        sim.Stop();

        std::ifstream in(accepted, std::ios::binary);
        const Bytes received((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (status != 0 || received != image) {
            std::fprintf(stderr, "the update of %zu bytes did not deliver the image\n", size);
            return 1;
        }
        PrintRow(size, records, chunks, wallMs, static_cast<double>(chunks) + records * roundTrip, updater.cpuSeconds());
        std::printf("         (reply round trip %.2f ms)\n", roundTrip);
    }
    std::printf("\nthe search, from the start to its report\n%13s %10s %22s\n", "silent pairs", "ms",
                "one output at a time");
    const std::pair<int, bool> searches[] = {{0, true}, {5, true}, {9, true}, {6, false}};
    for (const auto& [silent, device] : searches) {
        if (!MeasureSearch(updaterPath, argv[2], silent, device)) {
            std::fprintf(stderr, "the search with %d silent pairs did not end as it should\n", silent);
            return 1;
        }
    }
    return 0;
}
