#include "report/texts.h"

#include <cstdio>

#include "protocol/wire_protocol.h"
#include "report/printable_name.h"

namespace {

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

#if defined(_WIN32)
const char kNoMidiServiceAdvice[] =
    "No MIDI port is there at all: connect the device, install its driver if it needs one, and try again.";
#elif defined(__EMSCRIPTEN__)
const char kNoMidiServiceAdvice[] =
    "No MIDI port is there at all: connect the device, install its driver if it needs one, and reload the page.";
#elif defined(__APPLE__)
const char kNoMidiServiceAdvice[] = "No MIDI service can be reached: CoreMIDI did not answer; try again.";
#else
const char kNoMidiServiceAdvice[] =
    "No MIDI service can be reached: load the ALSA sequencer (sudo modprobe snd-seq) or start a JACK server, "
    "then try again.";
#endif

const char kBanner[] = "Update V0.3 - Update Corvilent Tessarine System\n";

const char kMissedCyclesAdvice[] =
    "The JACK server missed cycles during this run: MIDI messages may have been lost or held back, which makes "
    "an update slow or fail. Start the server in synchronous mode (jackd --sync) or with realtime priority, then "
    "update again.";

const char kCablePaceAdvice[] =
    "A record sent faster than a 5-pin MIDI cable carries went unanswered: the rest of the image goes at a "
    "cable's pace (3125 bytes a second), which takes longer.";

const char* PaceName(LinkPace pace) {
    switch (pace) {
        case LinkPace::kProgram: return "program";
        case LinkPace::kBuffer: return "usb";
        case LinkPace::kFast: return "fast";
        case LinkPace::kCable: return "cable";
        case LinkPace::kDriver: return "driver";
    }
    return "";
}

void ImageOpenedText(const char* name, char* out, std::size_t size) {
    std::snprintf(out, size, "OK: File '%s' is open.\n", PrintableName(name).text);
}

void ImageSummaryText(unsigned bytes, unsigned records, const char* sha256, char* out, std::size_t size) {
    std::snprintf(out, size, "Image: %u bytes in %u record%s, SHA-256 %s\n", bytes, records, records == 1 ? "" : "s",
                  sha256);
}

void PortHeldText(bool input, unsigned index, const char* name, char* out, std::size_t size) {
    std::snprintf(out, size, "MIDI %s %u (%s) is in use by another program: close that program, then try again.\n",
                  input ? "input" : "output", index, PrintableName(name).text);
}

void DeviceFoundText(const char* input, const char* output, char* out, std::size_t size) {
    std::snprintf(out, size, "The Update Device is Open successfully:\nMIDIIN Device: %s\nMIDIOUT Device: %s\n",
                  PrintableName(input).text, PrintableName(output).text);
}

void ImageProblemText(const ImageCheck& check, bool mismatch, char* out, std::size_t size) {
    const unsigned record = check.record + 1;
    switch (mismatch ? ImageProblem::kNone : check.problem) {
        case ImageProblem::kNone: std::snprintf(out, size, "its SHA-256 is not the one given"); return;
        case ImageProblem::kTooLong: std::snprintf(out, size, "its text holds more than 65535 numbers"); return;
        case ImageProblem::kCutInTwo:
            std::snprintf(out, size, "other text cuts it in two: records follow that text");
            return;
        case ImageProblem::kNoRecord: std::snprintf(out, size, "it holds no record"); return;
        case ImageProblem::kBadLength:
            std::snprintf(out, size, "record %u's length is below 2 or above 65533", record);
            return;
        case ImageProblem::kPastTheEnd: std::snprintf(out, size, "record %u runs past the image's end", record); return;
        case ImageProblem::kChecksum:
            std::snprintf(out, size, "record %u's checksum does not balance its data", record);
            return;
    }
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

void PortChoiceText(const char* option, const char* kind, const PortNames& list, const char* wanted, PortMatch match,
                    char* out, std::size_t size) {
    std::size_t at = static_cast<std::size_t>(std::snprintf(out, size, "%s '%s' names %s MIDI %s", option,
                                                            PrintableName(wanted).text,
                                                            match == PortMatch::kNone ? "no" : "more than one", kind));
    const char* separator = "; the candidates: ";
    for (UINT i = 0; i < list.count && at < size; ++i) {
        if (match == PortMatch::kSeveral && !PortNameContains(list.names[i], wanted)) continue;
        at += static_cast<std::size_t>(
            std::snprintf(out + at, size - at, "%s%u '%s'", separator, i, PrintableName(list.names[i]).text));
        separator = ", ";
    }
    if (list.count == 0 && at < size) std::snprintf(out + at, size - at, "; there is none");
}
