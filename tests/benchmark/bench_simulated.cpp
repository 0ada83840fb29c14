// The transfer's own pacing, apart from any MIDI service: the program's
// logic on the simulated platform, sleeping for real, with a device that
// answers every record at once. The floor is the protocol's 1 ms pause
// after every chunk.
#include <fcntl.h>
#include <unistd.h>

#include "bench_common.h"
#include "midi/midi_link.h"
#include "platform/host.h"
#include "protocol/transfer_image.h"
#include "sim/sim_device.h"
#include "sim/sim_platform.h"

int main() {
    BeginRun();
    PrintHeader("simulated platform, real time, device answering at once");
    static ImageBuffer buffer;
    for (std::size_t size : kBenchSizes) {
        const Bytes image = MakeImage(size, kBenchRecordData);
        std::copy(image.begin(), image.end(), buffer.bytes);
        buffer.count = static_cast<std::uint16_t>(image.size());
        std::size_t records = 0;
        const std::size_t chunks = ChunksOf(image, &records);

        TargetDevice device({});
        sim::Reset();
        sim::AddInput({"In"});
        sim::AddOutput({"Out"});
        sim::ConnectDevice({0}, {0});
        AttachDevice(&device, 0);
        sim::SetRealTime(true);
        OpenMidiIn(0);
        OpenMidiOut(0);

        // The progress line goes nowhere while the clock runs.
        std::fflush(stdout);
        const int console = dup(STDOUT_FILENO);
        const int nothing = open("/dev/null", O_WRONLY);
        dup2(nothing, STDOUT_FILENO);
        rusage before, after;
        getrusage(RUSAGE_SELF, &before);
        const auto start = std::chrono::steady_clock::now();
        const TransferOutcome outcome = TransferImage(buffer);
        const auto end = std::chrono::steady_clock::now();
        getrusage(RUSAGE_SELF, &after);
        std::fflush(stdout);
        dup2(console, STDOUT_FILENO);
        close(console);
        close(nothing);
        CloseMidiIn();
        CloseMidiOut();

        if (outcome != TransferOutcome::kCompleted || device.Accepted() != image) {
            std::fprintf(stderr, "the update of %zu bytes did not complete\n", size);
            return 1;
        }
        PrintRow(size, records, chunks, std::chrono::duration<double, std::milli>(end - start).count(),
                 static_cast<double>(chunks), CpuSeconds(after) - CpuSeconds(before));
    }
    EndRun();
    return 0;
}
