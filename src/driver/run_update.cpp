#include "driver/run_update.h"

#include <cstdio>

#include "console/console.h"
#include "image/image_buffer.h"
#include "midi/midi_link.h"
#include "midi/midi_ports.h"
#include "platform/host.h"
#include "protocol/transfer_image.h"
#include "protocol/wire_protocol.h"

namespace {

int ExitStatusOf(TransferOutcome outcome) {
    switch (outcome) {
        case TransferOutcome::kCompleted:
        case TransferOutcome::kRestarted: return kExitUpdated;
        case TransferOutcome::kInterrupted: return kExitInterrupted;
        default: return kExitTransferFailed;
    }
}

// Runs the device stages for a validated image; leaves the ports to the caller.
int UpdateDevice(const ImageBuffer& image, std::uint8_t expectedId, const PortChoice& ports, bool dryRun) {
    DevicePorts device;
    switch (FindUpdateDevice(expectedId, ports, &device)) {
        case kNoDevice: return kExitNoDevice;
        case kSearchInterrupted: return kExitInterrupted;
        case REPLY_NEEDS_RESET:
            std::printf("Please reset the product and retry again!\n\n");
            return kExitResetRequested;
        default: break;
    }
    if (dryRun) {
        std::printf("Dry run: no record was sent.\n\n");
        return kExitUpdated;
    }
    return ExitStatusOf(TransferImage(image, device.output));
}

// The port of the list that `wanted` names; else a line on standard error
// that names the candidates, and the exit status: a port that names none
// (the device unplugged since it was listed) is no device, one that names
// several a bad command line.
int ChoosePort(const char* option, const char* kind, const PortNames& list, const char* wanted, UINT* chosen) {
    if (wanted == nullptr) return kExitUpdated;
    const PortMatch match = MatchPort(list, wanted, chosen);
    if (match == PortMatch::kOne) return kExitUpdated;
    std::fprintf(stderr, "tessarine-update: %s '%s' names %s MIDI %s", option, PrintableName(wanted).text,
                 match == PortMatch::kNone ? "no" : "more than one", kind);
    const char* separator = "; the candidates: ";
    for (UINT i = 0; i < list.count; ++i) {
        if (match == PortMatch::kSeveral && !PortNameContains(list.names[i], wanted)) continue;
        std::fprintf(stderr, "%s%u '%s'", separator, i, PrintableName(list.names[i]).text);
        separator = ", ";
    }
    std::fprintf(stderr, "%s (see tessarine-update --help)\n", list.count == 0 ? "; there is none" : "");
    return match == PortMatch::kNone ? kExitNoDevice : kExitUsage;
}

}  // namespace

int RunUpdate(const RunOptions& options, const PortChoice& ports) {
    std::printf("Update V0.3 - Update Corvilent Tessarine System\n");
    ImageBuffer image;
    std::uint8_t expectedId = 0;
    int status = kExitImageFailed;
    if (LoadImageFile(options.image, &image, &expectedId) && ValidateImage(image) && !StopRequested()) {
        status = UpdateDevice(image, expectedId, ports, options.dryRun);
        CloseMidiIn();
        CloseMidiOut();
    }
    // Asked to stop, the user is not kept waiting; the ports are closed. The
    // stages that went to a device have said where they stopped.
    if (status == kExitInterrupted) return kExitInterrupted;
    if (StopRequested()) {
        std::printf("\nInterrupted: nothing was sent to the device.\n\n");
        return kExitInterrupted;
    }
    if (options.batch) return status;
    WaitForKeyPress();
    return kExitUpdated;
}

int ChoosePorts(const RunOptions& options, PortChoice* ports) {
    PortNames inputs;
    PortNames outputs;
    if (options.input != nullptr) ListMidiInputs(&inputs);
    if (options.output != nullptr) ListMidiOutputs(&outputs);
    const int input = ChoosePort("--in", "input", inputs, options.input, &ports->input);
    return input != kExitUpdated ? input : ChoosePort("--out", "output", outputs, options.output, &ports->output);
}

int ListMidiPorts() {
    PortNames inputs;
    PortNames outputs;
    ListMidiInputs(&inputs);
    ListMidiOutputs(&outputs);
    const PortNames* lists[] = {&inputs, &outputs};
    for (const PortNames* list : lists) {
        std::printf("MIDI %s:\n", list == &inputs ? "inputs" : "outputs");
        for (UINT i = 0; i < list->count; ++i) std::printf("  %u: %s\n", i, PrintableName(list->names[i]).text);
    }
    if (NoMidiService(inputs, outputs)) std::printf("%s\n", kNoMidiServiceAdvice);
    return kExitUpdated;
}
