#include "driver/run_update.h"

#include <cstdio>
#include <cstring>

#include "console/console.h"
#include "image/image_buffer.h"
#include "midi/midi_ports.h"
#include "platform/host.h"
#include "protocol/device_link.h"
#include "protocol/transfer_image.h"
#include "protocol/wire_protocol.h"

namespace {

Ending EndingOf(ImageOutcome::Ending ending) {
    switch (ending) {
        case ImageOutcome::Ending::kNoImageFile: return Ending::kNoImageFile;
        case ImageOutcome::Ending::kNotFit: return Ending::kNotFit;
        case ImageOutcome::Ending::kCannotOpen: return Ending::kCannotOpen;
        default: return Ending::kBadImage;
    }
}

Ending EndingOf(const TransferOutcome& outcome) {
    switch (outcome.ending) {
        case TransferOutcome::Ending::kCompleted: return Ending::kUpdated;
        case TransferOutcome::Ending::kRestarted: return Ending::kRestarted;
        case TransferOutcome::Ending::kNotResponding: return Ending::kNotResponding;
        case TransferOutcome::Ending::kUpdateError: return Ending::kUpdateError;
        case TransferOutcome::Ending::kOutputMissing: return Ending::kOutputMissing;
        case TransferOutcome::Ending::kStopped: break;
    }
    return outcome.written ? Ending::kStoppedInTransfer : Ending::kStoppedBeforeWrite;
}

// The device stages for a validated image, on a link of their own, whose
// ports close once the outcome has been told.
Outcome UpdateDevice(const ImageBuffer& image, const PortChoice& ports, bool dryRun, Reporter& reporter) {
    DeviceLink link(reporter);
    Outcome outcome;
    const SearchOutcome search = FindUpdateDevice(link, EXPECTED_ID, ports, reporter);
    switch (search.ending) {
        case SearchOutcome::Ending::kNoDevice: outcome.ending = Ending::kNoDevice; break;
        case SearchOutcome::Ending::kStopped: outcome.ending = Ending::kStoppedInSearch; break;
        case SearchOutcome::Ending::kResetRequested: outcome.ending = Ending::kResetRequested; break;
        case SearchOutcome::Ending::kFound: {
            if (dryRun) {
                outcome.ending = Ending::kDryRunFound;
                break;
            }
            const TransferOutcome transfer = TransferImage(link, search.output, image, reporter);
            outcome.ending = EndingOf(transfer);
            outcome.record = transfer.record;
            outcome.percent = transfer.percent;
            break;
        }
    }
    link.ledger.NoticeMissedCycles();
    reporter.Ended(outcome);
    return outcome;
}

// From the banner to the outcome, told.
Ending Update(const RunOptions& options, const PortChoice& ports, Reporter& reporter) {
    reporter.Banner();
    ImageBuffer image;
    Ending ending = Ending::kBadImage;
    if (!FileStage(options.image, &image, reporter, &ending)) return ending;
    if (!StopRequested()) return UpdateDevice(image, ports, options.dryRun, reporter).ending;
    Outcome outcome;
    outcome.ending = Ending::kStoppedBeforeSearch;
    reporter.Ended(outcome);
    return outcome.ending;
}

// The port of the list that `wanted` names; else a line on standard error
// that names the candidates, and the exit status: a port that names none
// (the device unplugged since it was listed) is no device, one that names
// several a bad command line.
int ChoosePort(const char* option, const char* kind, const PortNames& list, const char* wanted, UINT* chosen,
               char (&name)[MAXPNAMELEN]) {
    if (wanted == nullptr) return kExitUpdated;
    const PortMatch match = MatchPort(list, wanted, chosen);
    if (match == PortMatch::kOne) {
        std::memcpy(name, list.names[*chosen], sizeof name);
        return kExitUpdated;
    }
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

bool FileStage(const char* path, ImageBuffer* image, Reporter& reporter, Ending* ending) {
    const ImageOutcome loaded = LoadImageFile(path, image);
    if (loaded.opened()) reporter.ImageOpened(loaded.name);
    if (loaded.ending == ImageOutcome::Ending::kLoaded && ValidateImage(*image)) return true;
    Outcome outcome;
    outcome.name = loaded.name;
    outcome.ending = loaded.ending == ImageOutcome::Ending::kLoaded ? Ending::kBadImage : EndingOf(loaded.ending);
    reporter.Ended(outcome);
    *ending = outcome.ending;
    return false;
}

int RunUpdate(const RunOptions& options, const PortChoice& ports, Reporter& reporter) {
    const Ending ending = Update(options, ports, reporter);
    // Asked to stop, the user is not kept waiting.
    if (Stopped(ending) || StopRequested()) return kExitInterrupted;
    if (options.batch) return BatchExitStatus(ending);
    WaitForKeyPress();
    return kExitUpdated;
}

int ChoosePorts(const RunOptions& options, PortChoice* ports) {
    PortNames inputs;
    PortNames outputs;
    if (options.input != nullptr) ListMidiInputs(&inputs);
    if (options.output != nullptr) ListMidiOutputs(&outputs);
    const int input = ChoosePort("--in", "input", inputs, options.input, &ports->input, ports->inputName);
    if (input != kExitUpdated) return input;
    return ChoosePort("--out", "output", outputs, options.output, &ports->output, ports->outputName);
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
