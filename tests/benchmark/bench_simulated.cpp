// The program's own pacing, apart from any MIDI service: its logic on the
// simulated platform, waiting and sleeping for real.
// - The search, device last, against the cost of trying every input with
//   every output, inputs outermost (four waits of 500 ms a silent pair).
// - The transfer, with a device that answers every record at once, against
//   the protocol's floor: a 1 ms pause after every chunk.
#include <fcntl.h>

#include <algorithm>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
constexpr char kNothing[] = "NUL";
#else
#include <unistd.h>
constexpr char kNothing[] = "/dev/null";
#endif

#include "bench_common.h"
#include "midi/midi_link.h"
#include "platform/host.h"
#include "protocol/find_device.h"
#include "protocol/reply_ledger.h"
#include "protocol/transfer_image.h"
#include "sim/sim_device.h"
#include "sim/sim_platform.h"

namespace {

using Clock = std::chrono::steady_clock;

// Standard output goes nowhere while it lives: the program's console text
// would cost time the figures are not about.
class Silenced {
public:
    Silenced() : console_(dup(1)) {
        std::fflush(stdout);
        const int nothing = open(kNothing, O_WRONLY);
        dup2(nothing, 1);
        close(nothing);
    }
    ~Silenced() {
        std::fflush(stdout);
        dup2(console_, 1);
        close(console_);
    }

private:
    int console_;
};

// A fresh platform with the device on the last input and output.
void SetUp(unsigned inputs, unsigned outputs, TargetDevice* device) {
    CloseMidiIn();
    CloseMidiOut();
    sim::Reset();
    NextSubject(0);
    for (unsigned i = 0; i < inputs; ++i) sim::AddInput({"In"});
    for (unsigned i = 0; i < outputs; ++i) sim::AddOutput({"Out"});
    AttachDevice(device, {outputs - 1}, {inputs - 1}, 0);
    sim::SetRealTime(true);
}

bool MeasureSearch() {
    std::printf("%8s %10s %16s\n", "ports", "search ms", "every pair ms");
    const unsigned sizes[][2] = {{1, 2}, {2, 3}, {6, 6}, {10, 10}};
    for (const auto& ports : sizes) {
        TargetDevice device({});
        SetUp(ports[0], ports[1], &device);
        const Clock::time_point start = Clock::now();
        std::uint8_t found = 0;
        {
            Silenced quiet;
            DevicePorts ports;
            found = FindUpdateDevice(0x3D, {}, &ports);
        }
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (found != kDeviceFound) return false;
        std::printf("%4ux%-3u %10.1f %16.1f\n", ports[0], ports[1], ms, (ports[0] * ports[1] - 1) * 4 * 500.0);
        std::fflush(stdout);
    }
    return true;
}

bool MeasureTransfer() {
    PrintHeader("transfer, device answering at once");
    static ImageBuffer buffer;
    for (std::size_t size : kBenchSizes) {
        const Bytes image = MakeImage(size, kBenchRecordData);
        std::copy(image.begin(), image.end(), buffer.bytes);
        buffer.count = static_cast<std::uint16_t>(image.size());
        std::size_t records = 0;
        const std::size_t chunks = ChunksOf(image, &records);

        TargetDevice device({});
        SetUp(1, 1, &device);
        OpenMidiIn(0);
        OpenMidiOut(0);
        const double cpuBefore = CpuSeconds();
        const Clock::time_point start = Clock::now();
        TransferOutcome outcome;
        {
            Silenced quiet;
            outcome = TransferImage(buffer, 0);
        }
        const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        const double cpu = CpuSeconds() - cpuBefore;
        if (outcome != TransferOutcome::kCompleted || device.Accepted() != image) return false;
        PrintRow(size, records, chunks, wallMs, static_cast<double>(chunks), cpu);
    }
    return true;
}

}  // namespace

int main() {
    BeginRun();
    std::printf("simulated platform, real time\n");
    const bool transferred = MeasureTransfer();
    std::printf("\nthe device search, device last\n");
    const bool found = transferred && MeasureSearch();
    CloseMidiIn();
    CloseMidiOut();
    EndRun();
    if (!found) std::fprintf(stderr, "an update or a search did not complete\n");
    return found ? 0 : 1;
}
