#include "report/endings.h"

#include <cstdio>

#include "report/printable_name.h"
#include "report/texts.h"

namespace {

// The texts are held inline, not pointed to: the table is then data no one
// can write.
constexpr EndingRow kRows[] = {
    {Ending::kUpdated, kExitUpdated, "updated", "\nTarget update successfully!\n\n", Said::kAsIs, false,
     "The device has the new firmware."},
    {Ending::kRestarted, kExitUpdated, "restarted",
     "Target update successfully!\n\nThe System is restarted, please wait!\n\n", Said::kAsIs, false,
     "The device has the new firmware: wait until it has restarted."},
    {Ending::kDryRunFound, kExitUpdated, "found", "Dry run: no record was sent.\n\n", Said::kAsIs, false,
     "The device answers on these ports: an update without --dry-run sends the image to it."},
    {Ending::kNoImageFile, kExitImageFailed, "no-image", "Error: File '%s' is not found.\n\n", Said::kName, false,
     "Put the image file (its name begins with Corvilent and ends in .led) in this folder, or name it."},
    {Ending::kNotFit, kExitImageFailed, "not-fit", "Error: The fit file is not found.\n\n", Said::kAsIs, false,
     "Choose the image file whose name begins with Corvilent."},
    {Ending::kCannotOpen, kExitImageFailed, "cannot-open", "Error: File '%s' is not found.\n\n", Said::kName, false,
     "The file could not be read: check its name and that it is a file, then try again."},
    {Ending::kBadImage, kExitImageFailed, "bad-image", "Error: The upgrade file is error!\n\n", Said::kAsIs, false,
     "The file is damaged, or is no firmware image: get the image again. Nothing was sent."},
    {Ending::kImageMismatch, kExitImageFailed, "image-mismatch",
     "Error: The image's SHA-256 is not the one given; nothing was sent.\n\n", Said::kAsIs, false,
     "This file is not the image whose SHA-256 was given, or it is damaged: get the published image again and "
     "compare its SHA-256 with the published one."},
    {Ending::kNoDevice, kExitNoDevice, "no-device", "\nFailed: Can't find the suitable device to update!\n\n",
     Said::kAsIs, false,
     "Connect the device and switch it on, make sure no other program holds its MIDI ports, and try again."},
    {Ending::kPortNotFound, kExitNoDevice, "port-not-found", "tessarine-update: %s (see tessarine-update --help)\n",
     Said::kProblem, true, "Connect the device again, list the ports (--list) and choose them again."},
    {Ending::kResetRequested, kExitResetRequested, "reset", "Please reset the product and retry again!\n\n",
     Said::kAsIs, false, "Reset the device as its manual tells, then update it again."},
    {Ending::kOutputMissing, kExitTransferFailed, "output-missing", "\nError: The MIDI Out of device is missing!\n\n",
     Said::kAsIs, false, "The device's MIDI output went away: connect it again and update it again."},
    {Ending::kNotResponding, kExitTransferFailed, "not-responding", "\nFailed: Target is not responding.\n\n",
     Said::kAsIs, false, "The device stopped answering: check its cable, switch it off and on, and update it again."},
    {Ending::kUpdateError, kExitTransferFailed, "update-error", "\nError in updating.\n", Said::kAsIs, false,
     "The device refused the image again and again: switch it off and on, and update it again; if it goes on, "
     "send the log to support."},
    {Ending::kStoppedBeforeSearch, kExitInterrupted, "stopped-before-search",
     "\nInterrupted: nothing was sent to the device.\n\n", Said::kAsIs, false, "Nothing was sent to the device."},
    {Ending::kStoppedInSearch, kExitInterrupted, "stopped-in-search",
     "\nInterrupted while looking for the device: no record was sent.\n\n", Said::kAsIs, false,
     "No record was sent to the device."},
    {Ending::kStoppedBeforeWrite, kExitInterrupted, "stopped-before-write",
     "\nInterrupted before the first record: the device was not written to.\n\n", Said::kAsIs, false,
     "The device was not written to."},
    {Ending::kStoppedInTransfer, kExitInterrupted, "stopped-in-transfer",
     "\nInterrupted at record %u (%u%% done).\nThe device holds an incomplete image: run the update again before "
     "using the device.\n\n",
     Said::kWhere, false, "Update the device again before it is used."},
    {Ending::kUsage, kExitUsage, "usage", "tessarine-update: %s (see tessarine-update --help)\n", Said::kProblem, true,
     "Correct the command line (tessarine-update --help tells its options)."},
    {Ending::kListed, kExitUpdated, "listed", "", Said::kAsIs, false,
     "Choose the device's ports by their numbers or a part of their names with --in and --out."},
    {Ending::kNoService, kExitNoDevice, "no-service", "%s\n", Said::kAdvice, false,
     "Make a MIDI service reachable as the advice says, then list the ports again."},
};

}  // namespace

const EndingRow& RowOf(Ending ending) {
    for (const EndingRow& row : kRows) {
        if (row.ending == ending) return row;
    }
    return kRows[0];  // every ending has its row (endings_test)
}

void EndingWords(const Outcome& outcome, char* out, std::size_t size) {
    const EndingRow& row = RowOf(outcome.ending);
    switch (row.takes) {
        case Said::kAsIs: std::snprintf(out, size, "%s", row.said); return;
        case Said::kName: std::snprintf(out, size, row.said, PrintableName(outcome.name).text); return;
        case Said::kWhere: std::snprintf(out, size, row.said, outcome.record + 1u, outcome.percent); return;
        case Said::kProblem: std::snprintf(out, size, row.said, PrintableName(outcome.problem).text); return;
        case Said::kAdvice: std::snprintf(out, size, row.said, kNoMidiServiceAdvice); return;
    }
}
