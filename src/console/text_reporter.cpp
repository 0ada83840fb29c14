#include "console/text_reporter.h"

#include <cstdio>
#include <cstring>

#include "report/endings.h"
#include "report/printable_name.h"
#include "report/texts.h"

namespace {

// The glyphs the progress line turns through, each shown for two records:
// two hyphens, two backslashes, two bars, two slashes.
constexpr char SPINNER_GLYPHS[] = "--\\\\||//";
constexpr unsigned kSpinnerSteps = sizeof SPINNER_GLYPHS - 1;

// A text the size of the longest the run prints: names escaped and more.
struct Text {
    char text[8 * 1024 + 256];
};

}  // namespace

void TextReporter::Banner() { std::printf("%s", kBanner); }

void TextReporter::ImageOpened(const char* name) {
    Text said;
    ImageOpenedText(name, said.text, sizeof said.text);
    std::printf("%s", said.text);
}

void TextReporter::ImageChecked(unsigned bytes, unsigned records, const char* sha256) {
    if (!summary_) return;
    Text said;
    ImageSummaryText(bytes, records, sha256, said.text, sizeof said.text);
    std::printf("%s", said.text);
}

void TextReporter::PortsListed(const PortNames& inputs, const PortNames& outputs) {
    const PortNames* lists[] = {&inputs, &outputs};
    for (const PortNames* list : lists) {
        std::printf("MIDI %s:\n", list == &inputs ? "inputs" : "outputs");
        for (UINT i = 0; i < list->count; ++i) std::printf("  %u: %s\n", i, PrintableName(list->names[i]).text);
    }
}

void TextReporter::Ended(const Outcome& outcome) {
    if (outcome.ending == Ending::kUpdated || outcome.ending == Ending::kRestarted) ShowComplete();
    Text said;
    EndingWords(outcome, said.text, sizeof said.text);
    std::fputs(said.text, RowOf(outcome.ending).onStandardError ? stderr : stdout);
}

// On Windows the command interpreter's "pause" says its own.
void TextReporter::KeyAwaited() {
#ifndef _WIN32
    std::printf("Press any key to continue . . . ");
#endif
}

void TextReporter::KeyWaitEnds() {
#ifndef _WIN32
    std::printf("\n");
#endif
}

void TextReporter::NoMidiService() { std::printf("%s\n", kNoMidiServiceAdvice); }

void TextReporter::PortHeld(bool input, unsigned index, const char* name) {
    Text said;
    PortHeldText(input, index, name, said.text, sizeof said.text);
    std::printf("%s", said.text);
}

void TextReporter::DeviceFound(const char* input, const char* output) {
    Text said;
    DeviceFoundText(input, output, said.text, sizeof said.text);
    std::printf("%s", said.text);
}

void TextReporter::Refused(std::uint8_t status) { std::printf("%s", RefusalText(status)); }

void TextReporter::WaitBegins(Wait what) {
    waiting_ = true;
    seconds_ = 0;
    std::snprintf(what_, sizeof what_, "%s",
                  what == Wait::kSearch ? "Looking for the device" : "Waiting for the device");
    whatChanged_ = true;
}

void TextReporter::Asking(unsigned first, unsigned last, const char* name) {
    char what[sizeof what_];
    AskingText(first, last, name, what, sizeof what);
    if (std::strncmp(what_, what, sizeof what_ - 1) == 0) return;
    std::snprintf(what_, sizeof what_, "%s", what);
    whatChanged_ = true;
    if (seconds_ > 0) Show();
}

void TextReporter::Waiting(unsigned seconds) {
    seconds_ = seconds;
    if (waiting_) Show();
}

void TextReporter::Show() {
    ShowWait(what_, seconds_, whatChanged_);
    whatChanged_ = false;
}

void TextReporter::WaitEnds() {
    if (waiting_) HideWait();
    waiting_ = false;
    seconds_ = 0;
}

void ConsoleReporter::RecordTry(unsigned record, unsigned, unsigned, unsigned percent) {
    std::snprintf(line_, sizeof line_, "Transferring.. %c %u%% done", SPINNER_GLYPHS[record % kSpinnerSteps], percent);
    std::printf("\r                        \r%s", line_);
    std::fflush(stdout);
}

void ConsoleReporter::ServiceMissedCycles() {
    std::printf("\n%s\n", kMissedCyclesAdvice);
    // A long wait's words are drawn again on the new line.
    shownSeconds_ = 0;
    shownWidth_ = 0;
}

void ConsoleReporter::ShowComplete() { std::printf("\rTransferring.. 100%% done.  \n"); }

void ConsoleReporter::Redraw(const char* text) {
    std::printf("\r%*s\r%s", static_cast<int>(shownWidth_), "", text);
    shownWidth_ = std::strlen(text);
    std::fflush(stdout);
}

void ConsoleReporter::ShowWait(const char* what, unsigned seconds, bool whatChanged) {
    if (!terminal_ || (seconds == shownSeconds_ && !whatChanged)) return;
    char shown[sizeof line_ + 200 + 16];
    std::snprintf(shown, sizeof shown, "%s%s%s: %u s", line_, line_[0] != '\0' ? " - " : "", what, seconds);
    Redraw(shown);
    shownSeconds_ = seconds;
}

void ConsoleReporter::HideWait() {
    if (shownSeconds_ > 0) Redraw(line_);
    shownSeconds_ = 0;
    shownWidth_ = 0;
}

void BatchReporter::RecordTry(unsigned, unsigned, unsigned, unsigned percent) {
    const int tenth = static_cast<int>(percent / 10);
    if (tenth == toldTenth_) return;
    toldTenth_ = tenth;
    std::printf("Transferring.. %u%% done\n", percent);
}

void BatchReporter::ServiceMissedCycles() { std::printf("%s\n", kMissedCyclesAdvice); }

void BatchReporter::ShowComplete() { std::printf("Transferring.. 100%% done.\n"); }

void BatchReporter::ShowWait(const char* what, unsigned, bool whatChanged) {
    if (whatChanged) std::printf("%s...\n", what);
}
