// The program's own pacing, apart from any MIDI service: its logic on the
// simulated platform, waiting and sleeping for real.
// - The transfer, with a device that answers every record at once, against
//   the protocol's floor: a 1 ms pause after every chunk, and the time a
//   platform that holds every message takes.
// - The search, device last and none, against asking one output after
//   another.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <vector>

#include "bench_common.h"
#include "platform/host/host.h"
#include "protocol/find_device.h"
#include "protocol/transfer_image.h"
#include "sim/sim_platform.h"

namespace {

using Clock = std::chrono::steady_clock;

// Nothing is told: the text would cost time the figures are not about.
class Quiet final : public ProtocolReporter {
    void Tell(const ProtocolEvent&) override {}
};

// A fresh platform, with the device (if any) on the last input and output.
void SetUp(unsigned inputs, unsigned outputs, TargetDevice* device) {
    sim::Reset();
    for (unsigned i = 0; i < inputs; ++i) sim::AddInput({"In"});
    for (unsigned i = 0; i < outputs; ++i) sim::AddOutput({"Out"});
    if (device != nullptr) sim::Attach(device, {outputs - 1}, {inputs - 1}, 0);
    sim::SetRealTime(true);
}

// The search against the one it replaced, which asked the outputs one after
// another: four waits of 500 ms and 500 ms for late answers a silent output.
bool MeasureSearch() {
    std::printf("%8s %8s %10s %22s\n", "ports", "device", "search ms", "one output at a time");
    const struct {
        unsigned inputs, outputs;
        bool device;
    } cases[] = {{1, 2, true}, {2, 3, true}, {6, 6, true}, {10, 10, true}, {1, 2, false}, {10, 10, false}};
    for (const auto& c : cases) {
        TargetDevice device({});
        SetUp(c.inputs, c.outputs, c.device ? &device : nullptr);
        const Clock::time_point start = Clock::now();
        Quiet quiet;
        DeviceLink link(quiet, UserStop());
        const SearchOutcome found = FindUpdateDevice(link, 0x3D, {}, 0, quiet);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (found.ending != (c.device ? std::nullopt : std::optional<Ending>(Ending::kNoDevice))) return false;
        std::printf("%4ux%-3u %8s %10.1f %22.1f\n", c.inputs, c.outputs, c.device ? "last" : "none", ms,
                    (c.outputs - (c.device ? 1 : 0)) * 2500.0);
        std::fflush(stdout);
    }
    return true;
}

// The transfer, with a platform that holds every message `heldMs` before it
// lets go of it (a driver sending on a 5-pin MIDI wire, say): the floor is
// then the hold and the 1 ms pause a chunk.
bool MeasureTransfer(std::uint32_t heldMs, const std::vector<std::size_t>& sizes) {
    for (std::size_t size : sizes) {
        static ImageBuffer buffer;
        const Bytes image = MakeImage(size, kBenchRecordData);
        std::copy(image.begin(), image.end(), buffer.bytes);
        buffer.count = static_cast<std::uint16_t>(image.size());
        std::size_t records = 0;
        const std::size_t chunks = ChunksOf(image, &records);

        TargetDevice device({});
        SetUp(1, 1, &device);
        sim::HoldEveryMessage(heldMs);
        Quiet quiet;
        DeviceLink link(quiet, UserStop());
        link.midi.OpenMidiIn(0);
        link.midi.OpenMidiOut(0);
        const double cpuBefore = CpuSeconds();
        const Clock::time_point start = Clock::now();
        const TransferOutcome outcome = TransferImage(link, 0, buffer, quiet);
        const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        const double cpu = CpuSeconds() - cpuBefore;
        if (outcome.ending != Ending::kUpdated || device.Accepted() != image) return false;
        PrintRow(size, records, chunks, wallMs, static_cast<double>(chunks * (heldMs + 1)), cpu);
    }
    return true;
}

}  // namespace

int main() {
    BeginRun();
    std::printf("simulated platform, real time\n");
    PrintHeader("transfer, device answering at once");
    bool done = MeasureTransfer(0, {std::begin(kBenchSizes), std::end(kBenchSizes)});
    for (std::uint32_t held : {1u, 4u, 8u}) {
        std::printf("\nthe platform holding every message %u ms\n", static_cast<unsigned>(held));
        done = done && MeasureTransfer(held, {16384});
    }
    std::printf("\nthe device search\n");
    done = done && MeasureSearch();
    EndRun();
    if (!done) std::fprintf(stderr, "an update or a search did not complete\n");
    return done ? 0 : 1;
}
