#include "driver/run_update.h"

#include <cstring>

#include "platform/host.h"
#include "protocol/device_link.h"
#include "protocol/transfer_image.h"
#include "protocol/wire_protocol.h"
#include "report/endings.h"
#include "report/texts.h"

namespace {

// The device stages for a validated image, on a link of their own, whose
// ports close once the outcome has been told.
Ending UpdateDevice(const ImageBuffer& image, const PortChoice& ports, const RunOptions& options, Reporter& reporter,
                    const StopToken& stop) {
    DeviceLink link(reporter, stop);
    Outcome outcome;
    const SearchOutcome search = FindUpdateDevice(link, EXPECTED_ID, ports, options.waitSeconds * 1000u, reporter);
    if (search.ending) {
        outcome.ending = *search.ending;
    } else if (options.dryRun) {
        outcome.ending = Ending::kDryRunFound;
    } else {
        const TransferOutcome transfer = TransferImage(link, search.output, image, reporter);
        outcome.ending = transfer.ending;
        outcome.record = transfer.record;
        outcome.percent = transfer.percent;
    }
    link.ledger.NoticeMissedCycles();
    reporter.Ended(outcome);
    return outcome.ending;
}

// From the banner to the outcome, told.
Ending Update(const RunOptions& options, const PortChoice& ports, Reporter& reporter, const StopToken& stop) {
    reporter.Banner();
    ImageBuffer image;
    Ending ending = Ending::kBadImage;
    if (!FileStage(options.image, &image, reporter, &ending)) return ending;
    if (!stop.Requested()) return UpdateDevice(image, ports, options, reporter, stop);
    Outcome outcome;
    outcome.ending = Ending::kStoppedBeforeSearch;
    reporter.Ended(outcome);
    return outcome.ending;
}

// With a wait for the device, how often the ports a choice names are
// listed again.
constexpr DWORD kRelistEveryMs = 500;

// The port of the list that `wanted` names; none wanted: any.
PortMatch Pick(const PortNames& list, const char* wanted, UINT* chosen, char (&name)[kPortNameSize]) {
    if (wanted == nullptr) return PortMatch::kOne;
    const PortMatch match = MatchPort(list, wanted, chosen);
    if (match == PortMatch::kOne) std::memcpy(name, list.names[*chosen], sizeof name);
    return match;
}

// A port that names none (the device unplugged since it was listed) or
// several (a bad command line): the run ends so.
int Refuse(const char* option, const char* kind, const PortNames& list, const char* wanted, PortMatch match,
           Reporter& reporter) {
    char problem[8 * 1024];
    PortChoiceText(option, kind, list, wanted, match, problem, sizeof problem);
    Outcome outcome;
    outcome.ending = match == PortMatch::kNone ? Ending::kPortNotFound : Ending::kUsage;
    outcome.problem = problem;
    reporter.Ended(outcome);
    return RowOf(outcome.ending).exitStatus;
}

}  // namespace

bool FileStage(const char* path, ImageBuffer* image, Reporter& reporter, Ending* ending) {
    const ImageOutcome loaded = LoadImageFile(path, image);
    if (loaded.opened) reporter.ImageOpened(loaded.name);
    std::optional<Ending> failed = loaded.ending;
    if (!failed && !ValidateImage(*image)) failed = Ending::kBadImage;
    if (!failed) {
        reporter.ImageChecked(image->count, CountRecords(*image), loaded.sha256);
        return true;
    }
    Outcome outcome;
    outcome.name = loaded.name;
    outcome.ending = *failed;
    reporter.Ended(outcome);
    *ending = outcome.ending;
    return false;
}

int RunUpdate(const RunOptions& options, const PortChoice& ports, Reporter& reporter, const StopToken& stop) {
    const Ending ending = Update(options, ports, reporter, stop);
    // Asked to stop, the user is not kept waiting.
    if (Stopped(ending) || stop.Requested()) return kExitInterrupted;
    if (options.finalWait) {
        reporter.KeyAwaited();
        WaitForKeyPress();
        reporter.KeyWaitEnds();
    }
    return options.statusTellsOutcome ? RowOf(ending).exitStatus : kExitUpdated;
}

bool ChoosePorts(const RunOptions& options, PortChoice* ports, Reporter& reporter, const StopToken& stop, int* status) {
    for (const DWORD begun = timeGetTime();; Sleep(kRelistEveryMs)) {
        PortNames inputs;
        PortNames outputs;
        if (options.input != nullptr) ListMidiInputs(&inputs);
        if (options.output != nullptr) ListMidiOutputs(&outputs);
        const PortMatch input = Pick(inputs, options.input, &ports->input, ports->inputName);
        const PortMatch output = Pick(outputs, options.output, &ports->output, ports->outputName);
        if (input == PortMatch::kOne && output == PortMatch::kOne) return true;
        // A port that names none may yet appear, within the wait.
        const bool waits = input != PortMatch::kSeveral && output != PortMatch::kSeveral && !stop.Requested() &&
                           timeGetTime() - begun < options.waitSeconds * 1000u;
        if (waits) continue;
        if (stop.Requested()) {
            Outcome outcome;
            outcome.ending = Ending::kStoppedBeforeSearch;
            reporter.Ended(outcome);
            *status = kExitInterrupted;
            return false;
        }
        *status = input != PortMatch::kOne ? Refuse("--in", "input", inputs, options.input, input, reporter)
                                           : Refuse("--out", "output", outputs, options.output, output, reporter);
        return false;
    }
}

int ListMidiPorts(Reporter& reporter) {
    PortNames inputs;
    PortNames outputs;
    ListMidiInputs(&inputs);
    ListMidiOutputs(&outputs);
    reporter.PortsListed(inputs, outputs);
    if (NoMidiService(inputs, outputs)) reporter.NoMidiService();
    return kExitUpdated;
}
