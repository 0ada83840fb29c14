#include "console/text_reporter.h"

#include <cstdio>
#include <cstring>

#include "console/console.h"
#include "console/texts.h"

namespace {

constexpr std::uint32_t kWaitShownAfterMs = 1000;

// A text the size of the longest the run prints: a name escaped and more.
struct Text {
    char text[4 * 1024 + 256];
};

}  // namespace

void TextReporter::Banner() { std::printf("%s", kBanner); }

void TextReporter::ImageOpened(const char* name) {
    Text said;
    ImageOpenedText(name, said.text, sizeof said.text);
    std::printf("%s", said.text);
}

void TextReporter::Ended(const Outcome& outcome) {
    if (outcome.ending == Ending::kUpdated || outcome.ending == Ending::kRestarted) ShowComplete();
    Text said;
    EndingText(outcome, said.text, sizeof said.text);
    std::printf("%s", said.text);
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

void TextReporter::WaitBegins(Wait what, std::uint32_t nowMs) {
    waiting_ = true;
    waitStart_ = nowMs;
    what_[0] = '\0';
    Await(what == Wait::kSearch ? "Looking for the device" : "Waiting for the device", nowMs);
}

void TextReporter::Asking(unsigned first, unsigned last, const char* name, std::uint32_t nowMs) {
    char what[sizeof what_];
    AskingText(first, last, name, what, sizeof what);
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

void BatchReporter::ServiceMissedCycles() { std::printf("%s\n", kMissedCyclesAdvice); }

void BatchReporter::ShowComplete() { std::printf("Transferring.. 100%% done.\n"); }

void BatchReporter::ShowWait(const char* what, std::uint32_t, bool whatChanged) {
    if (whatChanged) std::printf("%s...\n", what);
}
