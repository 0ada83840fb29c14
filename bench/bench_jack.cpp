// Whole updates by the real program against the device simulator over a
// MIDI service (run it under scripts/with-jack for a JACK server in dummy
// mode). The floor is the protocol's 1 ms pause after every chunk plus the
// service's measured reply round trip for every record.
#include <signal.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>

#include "bench_common.h"
#include "platform/service/service_ports.h"
#include "support/child_process.h"
#include "support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Replies {
    std::mutex lock;
    std::condition_variable arrived;
    int count = 0;
};

void OnReply(const unsigned char*, std::size_t, void* replies) {
    auto* r = static_cast<Replies*>(replies);
    std::lock_guard<std::mutex> guard(r->lock);
    ++r->count;
    r->arrived.notify_all();
}

// The simulator's port whose name holds `part`.
std::string PortNamed(ServicePorts& service, bool source, const std::string& part) {
    std::vector<std::string> names;
    service.List(source, &names);
    for (const std::string& name : names) {
        if (name.rfind("Tessarine", 0) == 0 && name.find(part) != std::string::npos) return name;
    }
    return "";
}

// The mean time from an identification request to the simulator's answer.
double RoundTripMs() {
    Replies replies;
    std::unique_ptr<ServicePorts> service = OwnServicePorts("tessarine-bench");
    if (!service) return -1;
    std::unique_ptr<ServiceInput> in = service->OpenSource(PortNamed(*service, true, "device out"), OnReply, &replies);
    std::unique_ptr<ServiceOutput> out = service->OpenDestination(PortNamed(*service, false, "device in"));
    if (!in || !out) return -1;

    const unsigned char request[] = {0xF0, 0x31, 0x4B, 0x62, 0x19, 0x57, 0x03, 0x6C, 0xF7};
    constexpr int kRounds = 50;
    double total = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::unique_lock<std::mutex> guard(replies.lock);
        const int before = replies.count;
        const Clock::time_point start = Clock::now();
        if (!out->Send(request, sizeof request)) return -1;
        if (!replies.arrived.wait_for(guard, std::chrono::seconds(1), [&] { return replies.count > before; }))
            return -1;
        total += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
    return total / kRounds;
}

// Two processes that keep both cores busy, as a build or a browser may.
struct Load {
    explicit Load(bool on) {
        for (int i = 0; on && i < 2; ++i)
            spinners.push_back(
                std::make_unique<ChildProcess>("/bin/sh", std::vector<std::string>{"-c", "while :; do :; done"}));
    }
    std::vector<std::unique_ptr<ChildProcess>> spinners;
};

// Simulators that never answer the search, listed before the device's.
std::vector<std::unique_ptr<ChildProcess>> SilentPairs(const std::string& simulator, int count) {
    std::vector<std::unique_ptr<ChildProcess>> sims;
    for (int i = 0; i < count; ++i) {
        sims.push_back(std::make_unique<ChildProcess>(
            simulator, std::vector<std::string>{"--name", "Silent-" + std::to_string(i), "--fault", "id:*:silence",
                                                "--timeout", "3600"}));
        sims.back()->WaitForOutput("ready", 10000);
    }
    return sims;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The time from the updater's start to the search's report, over `runs`
// runs, with `silent` port pairs listed before the device's (or no device).
bool MeasureSearch(const std::string& updater, const std::string& simulator, int silent, bool device, bool loaded,
                   int runs) {
    const auto others = SilentPairs(simulator, silent);
    std::unique_ptr<ChildProcess> sim;
    if (device) {
        sim = std::make_unique<ChildProcess>(simulator, std::vector<std::string>{"--timeout", "3600"});
        if (!sim->WaitForOutput("ready", 10000)) return false;
    }
    TempFolder folder;
    folder.WriteFile("Corvilent.led", ImageText(MakeImage(4, 4)));
    const Load load(loaded);
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        ChildProcess run(updater, {"--dry-run", "--batch"}, folder.path());
        if (!run.WaitForOutput(device ? "The Update Device is Open" : "Can't find", 60000)) return false;
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (run.Wait(10000) != (device ? 0 : 3)) return false;
    }
    const auto quick = std::count_if(times.begin(), times.end(), [](double ms) { return ms < 3000; });
    std::printf("%4d + %-6s %-6s %5d %9ld %10.1f %10.1f %22.1f\n", silent, device ? "device" : "none",
                loaded ? "loaded" : "idle", runs, static_cast<long>(quick), Median(times),
                *std::max_element(times.begin(), times.end()), silent * 2500.0);
    return true;
}

// One whole update of the image by the real program; its wall time, or -1
// when the simulator does not hold exactly the image afterwards. `during`
// runs while it goes, on its output so far.
double Update(const std::string& updater, const std::string& simulator, const Bytes& image,
              const std::function<void(ChildProcess&)>& during = {}, std::vector<std::string> simOptions = {}) {
    TempFolder folder;
    folder.WriteFile("Corvilent.led", ImageText(image));
    const std::string accepted = folder.root() + "/accepted.bin";
    simOptions.insert(simOptions.end(), {"--accepted", accepted, "--timeout", "600"});
    ChildProcess sim(simulator, simOptions);
    if (!sim.WaitForOutput("ready", 10000)) return -1;
    const Clock::time_point start = Clock::now();
    ChildProcess run(updater, {"--batch"}, folder.path());
    if (during) during(run);
    const int status = run.Wait(10 * 60 * 1000);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    sim.Stop();
    std::ifstream in(accepted, std::ios::binary);
    const Bytes received((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return status == 0 && received == image ? ms : -1;
}

// Holds the server's cycles back 200 ms at 20, 50 and 80 % of the transfer.
void HoldTheServerBack(ChildProcess& run) {
    const char* server = std::getenv("WITH_JACK_SERVER_PID");
    if (server == nullptr) return;
    for (const char* at : {"20% done", "50% done", "80% done"}) {
        if (!run.WaitForOutput(at, 120000)) return;
        kill(static_cast<pid_t>(std::atoi(server)), SIGSTOP);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        kill(static_cast<pid_t>(std::atoi(server)), SIGCONT);
    }
}

// Updates that each time must deliver the image whole.
void Soak(const std::string& updater, const std::string& simulator, const Bytes& image, bool loaded, int runs,
          bool heldBack) {
    const auto others = SilentPairs(simulator, 3);
    const Load load(loaded);
    std::vector<double> times;
    int whole = 0;
    for (int i = 0; i < runs; ++i) {
        const double ms =
            heldBack ? Update(updater, simulator, image, HoldTheServerBack) : Update(updater, simulator, image);
        whole += ms >= 0;
        if (ms >= 0) times.push_back(ms);
    }
    std::printf("%8zu %-6s %-9s %5d %6d %10.1f %10.1f\n", image.size(), loaded ? "loaded" : "idle",
                heldBack ? "held back" : "-", runs, whole, times.empty() ? 0.0 : Median(times),
                times.empty() ? 0.0 : *std::max_element(times.begin(), times.end()));
    std::fflush(stdout);
}

// Whole updates of a device behind a 5-pin wire, against the wire's floor:
// every byte of the chunks at 3125 bytes a second.
void BehindAWire(const std::string& updater, const std::string& simulator) {
    std::printf(
        "\na device behind a 5-pin wire (the simulator taking 3125 bytes a second through a\n"
        "card's buffer of 4096 bytes)\n%8s %8s %10s %10s %7s\n",
        "bytes", "record", "wall ms", "floor ms", "ratio");
    for (std::size_t recordData : {kBenchRecordData, std::size_t{4096}}) {
        const Bytes image = MakeImage(16384, recordData);
        std::size_t records = 0;
        const std::size_t chunks = ChunksOf(image, &records);
        const double floorMs = (2.0 * image.size() + 2.0 * chunks) * 1000 / 3125;
        const double ms = Update(updater, simulator, image, {}, {"--wire", "3125"});
        if (ms < 0) {
            std::printf("%8zu %8zu %10s %10.1f %7s\n", image.size(), recordData, "lost", floorMs, "-");
        } else {
            std::printf("%8zu %8zu %10.1f %10.1f %7.3f\n", image.size(), recordData, ms, floorMs, ms / floorMs);
        }
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: bench_jack UPDATER SIMULATOR [transfer|soak|wire|search]\n");
        return 2;
    }
    // The updater runs in the image's folder.
    const std::string updaterPath = std::filesystem::absolute(argv[1]).string();
    // One part alone, or all of them.
    const auto part = [&](const char* name) { return argc == 3 || std::strcmp(argv[3], name) == 0; };
    if (part("transfer")) PrintHeader("the program against the simulator over the MIDI service");
    for (std::size_t size : kBenchSizes) {
        if (!part("transfer")) break;
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
        PrintRow(size, records, chunks, wallMs, static_cast<double>(chunks) + records * roundTrip,
                 updater.cpuSeconds());
        std::printf("         (reply round trip %.2f ms)\n", roundTrip);
    }
    if (part("soak")) {
        std::printf(
            "\nthe whole update, three silent port pairs listed first; idle, or with two spinning\n"
            "processes; plain, or the server held back 200 ms three times\n%8s %-6s %-9s %5s %6s %10s %10s\n",
            "bytes", "load", "server", "runs", "whole", "median ms", "worst ms");
        const Bytes sixteen = MakeImage(16384, kBenchRecordData);
        const Bytes whole = MakeImage(65535, kBenchRecordData);
        for (bool loaded : {false, true}) Soak(updaterPath, argv[2], sixteen, loaded, 10, false);
        for (bool loaded : {false, true}) Soak(updaterPath, argv[2], whole, loaded, 20, true);
    }
    if (part("wire")) BehindAWire(updaterPath, argv[2]);
    if (!part("search")) return 0;

    std::printf("\nthe search, from the start to its report\n%13s %-6s %5s %9s %10s %10s %22s\n", "silent pairs",
                "load", "runs", "under 3 s", "median ms", "worst ms", "one output at a time");
    const struct {
        int silent;
        bool device;
        bool loaded;
        int runs;
    } searches[] = {{0, true, false, 10},  {5, true, false, 30}, {9, true, false, 10},
                    {6, false, false, 10}, {5, true, true, 30},  {6, false, true, 10}};
    for (const auto& c : searches) {
        if (!MeasureSearch(updaterPath, argv[2], c.silent, c.device, c.loaded, c.runs)) {
            std::fprintf(stderr, "the search with %d silent pairs did not end as it should\n", c.silent);
            return 1;
        }
    }
    return 0;
}
