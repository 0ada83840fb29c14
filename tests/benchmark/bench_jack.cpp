// Whole updates by the real program against the device simulator over a
// MIDI service (run it under scripts/with-jack for a JACK server in dummy
// mode). The floor is the protocol's 1 ms pause after every chunk plus the
// service's measured reply round trip for every record.
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
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
    return 0;
}
