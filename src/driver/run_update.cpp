#include "driver/run_update.h"

#include <cctype>
#include <cstring>
#include <memory>

#include "platform/host/host.h"
#include "protocol/device_link.h"
#include "protocol/transfer_image.h"
#include "protocol/wire_protocol.h"
#include "report/endings.h"
#include "report/texts.h"

namespace {

Outcome EndedBy(Ending ending) {
    Outcome outcome;
    outcome.ending = ending;
    return outcome;
}

// The device stages for a validated image, on the run's link.
Outcome UpdateDevice(DeviceLink& link, const ImageBuffer& image, const PortChoice& ports, const RunOptions& options,
                     Reporter& reporter) {
    const SearchOutcome search = FindUpdateDevice(link, EXPECTED_ID, ports, options.waitSeconds * 1000u, reporter);
    if (search.ending) return EndedBy(*search.ending);
    if (options.dryRun) return EndedBy(Ending::kDryRunFound);
    const TransferOutcome transfer = TransferImage(link, search.output, image, reporter);
    Outcome outcome = EndedBy(transfer.ending);
    outcome.record = transfer.record;
    outcome.percent = transfer.percent;
    return outcome;
}

// The same hexadecimal digits, letter case aside.
bool SameDigits(const char* given, const char* digest) {
    for (; *given != '\0' && *digest != '\0'; ++given, ++digest) {
        if (std::tolower(static_cast<unsigned char>(*given)) != *digest) return false;
    }
    return *given == *digest;
}

// The port of the list that `wanted` names; none wanted: any.
PortMatch Pick(const PortNames& list, const char* wanted, UINT* chosen, char (&name)[kPortNameSize]) {
    if (wanted == nullptr) return PortMatch::kOne;
    const PortMatch match = MatchPort(list, wanted, chosen);
    if (match == PortMatch::kOne) std::memcpy(name, list.names[*chosen], sizeof name);
    return match;
}

}  // namespace

int Finish(const Outcome& outcome, bool statusTellsOutcome, Reporter& reporter) {
    reporter.Tell(event::Ended{outcome});
    return ExitStatus(outcome.ending, statusTellsOutcome);
}

std::optional<Outcome> FileStage(const char* path, const char* sha256, ImageBuffer* image, ImageOutcome* file,
                                 Reporter& reporter) {
    const ImageOutcome& loaded = *file = LoadImageFile(path, image);
    std::optional<Ending> failed = loaded.ending;
    if (loaded.opened) {
        reporter.Tell(event::ImageOpened{loaded.name});
        ImageCheck check{loaded.problem};
        if (check.problem == ImageProblem::kNone) check = ValidateImage(*image);
        const bool mismatch = sha256 != nullptr && !SameDigits(sha256, loaded.sha256);
        const bool sound = check.problem == ImageProblem::kNone && !mismatch;
        reporter.Tell(event::ImageRead{image->count, loaded.sha256, check, mismatch, sound ? CountRecords(*image) : 0});
        if (mismatch) failed = Ending::kImageMismatch;
        if (!mismatch && !sound) failed = Ending::kBadImage;
    }
    if (!failed) return std::nullopt;
    Outcome outcome = EndedBy(*failed);
    outcome.name = loaded.name;
    return outcome;
}

int RunUpdate(const RunOptions& options, const PortChoice& ports, Reporter& reporter, const StopToken& stop) {
    reporter.Tell(event::Banner{});
    const auto image = std::make_unique<ImageBuffer>();
    ImageOutcome file;
    // Made once the image is sound: nothing of MIDI is touched before.
    std::optional<DeviceLink> link;
    std::optional<Outcome> outcome = FileStage(options.image, options.sha256, image.get(), &file, reporter);
    if (!outcome && stop.Requested()) outcome = EndedBy(Ending::kStoppedBeforeSearch);
    if (!outcome) {
        link.emplace(reporter, stop);
        outcome = UpdateDevice(*link, *image, ports, options, reporter);
        link->ledger.NoticeMissedCycles();
    }
    const int status = Finish(*outcome, options.statusTellsOutcome, reporter);
    link.reset();
    // Asked to stop, the user is not kept waiting.
    if (Stopped(outcome->ending) || stop.Requested()) return kExitInterrupted;
    if (options.finalWait) {
        reporter.Tell(event::KeyAwaited{});
        WaitForKeyPress();
        reporter.Tell(event::KeyWaitEnds{});
    }
    return status;
}

std::optional<Outcome> ChoosePorts(const RunOptions& options, PortChoice* ports, const StopToken& stop, char* problem,
                                   std::size_t size) {
    if (options.input == nullptr && options.output == nullptr) return std::nullopt;
    std::optional<Outcome> refused;
    const auto round = [&](const PortNames& inputs, const PortNames& outputs) {
        const PortMatch input = Pick(inputs, options.input, &ports->input, ports->inputName);
        const PortMatch output = Pick(outputs, options.output, &ports->output, ports->outputName);
        if (input == PortMatch::kOne && output == PortMatch::kOne) {
            refused.reset();
            return false;
        }
        const bool in = input != PortMatch::kOne;
        const PortMatch match = in ? input : output;
        PortChoiceText(in ? "--in" : "--out", in ? "input" : "output", in ? inputs : outputs,
                       in ? options.input : options.output, match, problem, size);
        refused = EndedBy(match == PortMatch::kNone ? Ending::kPortNotFound : Ending::kUsage);
        refused->problem = problem;
        // A port that names none may yet appear, within the wait.
        return input != PortMatch::kSeveral && output != PortMatch::kSeveral;
    };
    ListPortsUntil(options.waitSeconds * 1000u, stop, round, [](std::uint16_t ms) { Sleep(ms); });
    if (refused && stop.Requested()) return EndedBy(Ending::kStoppedBeforeSearch);
    return refused;
}

int ListMidiPorts(bool statusTellsOutcome, Reporter& reporter) {
    PortNames inputs;
    PortNames outputs;
    ListMidiInputs(&inputs);
    ListMidiOutputs(&outputs);
    const bool none = NoMidiService(inputs, outputs);
    reporter.Tell(event::PortsListed{&inputs, &outputs, none ? "" : MidiServiceName()});
    return Finish(EndedBy(none ? Ending::kNoService : Ending::kListed), statusTellsOutcome, reporter);
}
