#include "console/texts.h"

#include <cstdio>

#include "console/console.h"
#include "protocol/wire_protocol.h"

namespace {

// What ends a run, in its words, when nothing of it varies. The texts are
// held inline, not pointed to: the tables are then data no one can write.
struct Told {
    Ending ending;
    char said[80];
};
constexpr Told kEndings[] = {
    {Ending::kUpdated, "\nTarget update successfully!\n\n"},
    {Ending::kRestarted, "Target update successfully!\n\nThe System is restarted, please wait!\n\n"},
    {Ending::kDryRunFound, "Dry run: no record was sent.\n\n"},
    {Ending::kNotFit, "Error: The fit file is not found.\n\n"},
    {Ending::kBadImage, "Error: The upgrade file is error!\n\n"},
    {Ending::kNoDevice, "\nFailed: Can't find the suitable device to update!\n\n"},
    {Ending::kResetRequested, "Please reset the product and retry again!\n\n"},
    {Ending::kOutputMissing, "\nError: The MIDI Out of device is missing!\n\n"},
    {Ending::kNotResponding, "\nFailed: Target is not responding.\n\n"},
    {Ending::kUpdateError, "\nError in updating.\n"},
    {Ending::kStoppedBeforeSearch, "\nInterrupted: nothing was sent to the device.\n\n"},
    {Ending::kStoppedInSearch, "\nInterrupted while looking for the device: no record was sent.\n\n"},
    {Ending::kStoppedBeforeWrite, "\nInterrupted before the first record: the device was not written to.\n\n"},
};

// What the device says about a record it did not take, in its words.
struct Refusal {
    std::uint8_t status;
    char said[48];
};
constexpr Refusal kRefusals[] = {
    {REPLY_CRC_ERROR, "\nThe CRC of the download file is error!\n"},
    {REPLY_FILE_DAMAGED, "\nThe download file has been damaged!\n"},
    {REPLY_FILE_DAMAGED_ALT, "\nThe download file has been damaged!\n"},
    {REPLY_VERIFY_ERROR, "\nThe download file verifies error!\n"},
    {REPLY_ERASE_ERROR, "\nThe MCU erases error!\n"},
};

}  // namespace

const char kBanner[] = "Update V0.3 - Update Corvilent Tessarine System\n";

const char kMissedCyclesAdvice[] =
    "The JACK server missed cycles during this run: MIDI messages may have been lost or held back, which makes "
    "an update slow or fail. Start the server in synchronous mode (jackd --sync) or with realtime priority, then "
    "update again.";

void ImageOpenedText(const char* name, char* out, std::size_t size) {
    std::snprintf(out, size, "OK: File '%s' is open.\n", PrintableName(name).text);
}

void EndingText(const Outcome& outcome, char* out, std::size_t size) {
    switch (outcome.ending) {
        case Ending::kNoImageFile:
        case Ending::kCannotOpen:
            std::snprintf(out, size, "Error: File '%s' is not found.\n\n", PrintableName(outcome.name).text);
            return;
        case Ending::kStoppedInTransfer:
            std::snprintf(out, size,
                          "\nInterrupted at record %u (%u%% done).\nThe device holds an incomplete image: run the "
                          "update again before using the device.\n\n",
                          outcome.record + 1u, outcome.percent);
            return;
        default:
            out[0] = '\0';
            for (const Told& told : kEndings) {
                if (told.ending == outcome.ending) std::snprintf(out, size, "%s", told.said);
            }
    }
}

void PortHeldText(bool input, unsigned index, const char* name, char* out, std::size_t size) {
    std::snprintf(out, size, "MIDI %s %u (%s) is in use by another program: close that program, then try again.\n",
                  input ? "input" : "output", index, PrintableName(name).text);
}

void DeviceFoundText(const char* input, const char* output, char* out, std::size_t size) {
    std::snprintf(out, size, "The Update Device is Open successfully:\nMIDIIN Device: %s\nMIDIOUT Device: %s\n",
                  PrintableName(input).text, PrintableName(output).text);
}

const char* RefusalText(std::uint8_t status) {
    for (const Refusal& refusal : kRefusals) {
        if (refusal.status == status) return refusal.said;
    }
    return "";
}

void AskingText(unsigned first, unsigned last, const char* name, char* out, std::size_t size) {
    // A port's name is at most 31 characters, each escaped in 4 at most.
    if (name != nullptr) {
        std::snprintf(out, size, "Looking for the device on MIDI output %u (%.124s)", first, PrintableName(name).text);
    } else {
        std::snprintf(out, size, "Looking for the device on MIDI outputs %u to %u", first, last);
    }
}
