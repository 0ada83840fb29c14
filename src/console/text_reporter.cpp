#include "console/text_reporter.h"

#include <cstdio>
#include <cstring>

#include "console/console.h"

namespace {

constexpr std::uint32_t kWaitShownAfterMs = 1000;

// What ends a run, in its words, when nothing of it varies.
// The texts are held inline, not pointed to: the tables are then data no
// one can write.
struct Told {
    Ending ending;
    char said[80];
};
constexpr Told kEndings[] = {
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
    {0x20, "\nThe CRC of the download file is error!\n"},
    {0x21, "\nThe download file has been damaged!\n"},
    {0x22, "\nThe download file has been damaged!\n"},
    {0x24, "\nThe download file verifies error!\n"},
    {0x25, "\nThe MCU erases error!\n"},
};

}  // namespace

void TextReporter::Banner() { std::printf("Update V0.3 - Update Corvilent Tessarine System\n"); }

void TextReporter::ImageOpened(const char* name) { std::printf("OK: File '%s' is open.\n", PrintableName(name).text); }

void TextReporter::Ended(const Outcome& outcome) {
    switch (outcome.ending) {
        case Ending::kUpdated:
            ShowComplete();
            std::printf("\nTarget update successfully!\n\n");
            return;
        case Ending::kRestarted:
            ShowComplete();
            std::printf("Target update successfully!\n");
            std::printf("\nThe System is restarted, please wait!\n\n");
            return;
        case Ending::kNoImageFile:
        case Ending::kCannotOpen:
            std::printf("Error: File '%s' is not found.\n\n", PrintableName(outcome.name).text);
            return;
        case Ending::kStoppedInTransfer:
            std::printf("\nInterrupted at record %u (%u%% done).\n", outcome.record + 1u, outcome.percent);
            std::printf("The device holds an incomplete image: run the update again before using the device.\n\n");
            return;
        default:
            for (const Told& told : kEndings) {
                if (told.ending == outcome.ending) std::printf("%s", told.said);
            }
    }
}

void TextReporter::NoMidiService() { std::printf("%s\n", kNoMidiServiceAdvice); }

void TextReporter::PortHeld(bool input, unsigned index, const char* name) {
    std::printf("MIDI %s %u (%s) is in use by another program: close that program, then try again.\n",
                input ? "input" : "output", index, PrintableName(name).text);
}

void TextReporter::DeviceFound(const char* input, const char* output) {
    std::printf("The Update Device is Open successfully:\n");
    std::printf("MIDIIN Device: %s\n", PrintableName(input).text);
    std::printf("MIDIOUT Device: %s\n", PrintableName(output).text);
}

void TextReporter::Refused(std::uint8_t status) {
    for (const Refusal& refusal : kRefusals) {
        if (refusal.status == status) std::printf("%s", refusal.said);
    }
}

void TextReporter::WaitBegins(Wait what, std::uint32_t nowMs) {
    waiting_ = true;
    waitStart_ = nowMs;
    what_[0] = '\0';
    Await(what == Wait::kSearch ? "Looking for the device" : "Waiting for the device", nowMs);
}

void TextReporter::Asking(unsigned first, unsigned last, const char* name, std::uint32_t nowMs) {
    // A port's name is at most 31 characters, each escaped in 4 at most.
    char what[sizeof what_];
    if (name != nullptr) {
        std::snprintf(what, sizeof what, "Looking for the device on MIDI output %u (%.124s)", first,
                      PrintableName(name).text);
    } else {
        std::snprintf(what, sizeof what, "Looking for the device on MIDI outputs %u to %u", first, last);
    }
    Await(what, nowMs);
}

void TextReporter::Await(const char* what, std::uint32_t nowMs) {
    if (std::strncmp(what_, what, sizeof what_ - 1) != 0) {
        std::snprintf(what_, sizeof what_, "%s", what);
        whatChanged_ = true;
    }
    Waiting(nowMs);
}

void TextReporter::Waiting(std::uint32_t nowMs) {
    const std::uint32_t waited = nowMs - waitStart_;
    if (!waiting_ || waited < kWaitShownAfterMs) return;
    ShowWait(what_, waited / 1000, whatChanged_);
    whatChanged_ = false;
}

void TextReporter::WaitEnds() {
    if (waiting_) HideWait();
    waiting_ = false;
}

void ConsoleReporter::RecordTry(char glyph, unsigned percent) {
    std::snprintf(line_, sizeof line_, "Transferring.. %c %u%% done", glyph, percent);
    std::printf("\r                        \r%s", line_);
    std::fflush(stdout);
}

void ConsoleReporter::ShowComplete() { std::printf("\rTransferring.. 100%% done.  \n"); }

void ConsoleReporter::Redraw(const char* text) {
    std::printf("\r%*s\r%s", static_cast<int>(shownWidth_), "", text);
    shownWidth_ = std::strlen(text);
    std::fflush(stdout);
}

void ConsoleReporter::ShowWait(const char* what, std::uint32_t seconds, bool whatChanged) {
    if (!terminal_ || (seconds == shownSeconds_ && !whatChanged)) return;
    char shown[sizeof line_ + 200 + 16];
    std::snprintf(shown, sizeof shown, "%s%s%s: %u s", line_, line_[0] != '\0' ? " - " : "", what,
                  static_cast<unsigned>(seconds));
    Redraw(shown);
    shownSeconds_ = seconds;
}

void ConsoleReporter::HideWait() {
    if (shownSeconds_ > 0) Redraw(line_);
    shownSeconds_ = 0;
    shownWidth_ = 0;
}

void BatchReporter::RecordTry(char, unsigned percent) {
    const int tenth = static_cast<int>(percent / 10);
    if (tenth == toldTenth_) return;
    toldTenth_ = tenth;
    std::printf("Transferring.. %u%% done\n", percent);
}

void BatchReporter::ShowComplete() { std::printf("Transferring.. 100%% done.\n"); }

void BatchReporter::ShowWait(const char* what, std::uint32_t, bool whatChanged) {
    if (whatChanged) std::printf("%s...\n", what);
}
