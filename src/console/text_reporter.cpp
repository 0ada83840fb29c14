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
// An update with this long left is a long one.
constexpr int kLongUpdateSeconds = 10;

// A text the size of the longest the run prints: names escaped and more.
struct Text {
    char text[8 * 1024 + 256];
};

}  // namespace

void TextReporter::Tell(const RunEvent& event) {
    Text said;
    std::visit(Showing{
                   [](const event::Banner&) { std::printf("%s", kBanner); },
                   [&](const event::ImageOpened& e) {
                       ImageOpenedText(e.name, said.text, sizeof said.text);
                       std::printf("%s", said.text);
                   },
                   [&](const event::ImageRead& e) {
                       if (!summary_ || e.mismatch || e.check.problem != ImageProblem::kNone) return;
                       ImageSummaryText(e.bytes, e.records, e.sha256, said.text, sizeof said.text);
                       std::printf("%s", said.text);
                   },
                   [](const event::PortsListed& e) {
                       if (e.service[0] != '\0') std::printf("MIDI service: %s\n", e.service);
                       for (const PortNames* list : {e.inputs, e.outputs}) {
                           std::printf("MIDI %s:\n", list == e.inputs ? "inputs" : "outputs");
                           for (UINT i = 0; i < list->count; ++i) {
                               std::printf("  %u: %s\n", i, PrintableName(list->names[i]).text);
                           }
                       }
                   },
                   [&](const event::Ended& e) {
                       const Ending ending = e.outcome.ending;
                       if (ending == Ending::kUpdated || ending == Ending::kRestarted) ShowComplete();
                       EndingWords(e.outcome, said.text, sizeof said.text);
                       std::fputs(said.text, RowOf(ending).onStandardError ? stderr : stdout);
                   },
#ifndef _WIN32
                   // On Windows the command interpreter's "pause" says its own.
                   [](const event::KeyAwaited&) { std::printf("Press any key to continue . . . "); },
                   [](const event::KeyWaitEnds&) { std::printf("\n"); },
#endif
               },
               event);
}

void TextReporter::Tell(const ProtocolEvent& event) {
    Text said;
    std::visit(Showing{
                   [](const event::NoMidiService&) { std::printf("%s\n", kNoMidiServiceAdvice); },
                   [&](const event::PortHeld& e) {
                       PortHeldText(e.input, e.index, e.name, said.text, sizeof said.text);
                       std::printf("%s", said.text);
                   },
                   [&](const event::DeviceFound& e) {
                       DeviceFoundText(e.input, e.output, said.text, sizeof said.text);
                       std::printf("%s", said.text);
                   },
                   [](const event::Refused& e) { std::printf("%s", RefusalText(e.status)); },
                   [&](const event::WaitBegins& e) {
                       waiting_ = true;
                       seconds_ = 0;
                       std::snprintf(what_, sizeof what_, "%s",
                                     e.what == Wait::kSearch ? "Looking for the device" : "Waiting for the device");
                       whatChanged_ = true;
                   },
                   [&](const event::Asking& e) { Asking(e); },
                   [&](const event::Waiting& e) {
                       seconds_ = e.seconds;
                       if (waiting_) Show();
                   },
                   [&](const event::WaitEnds&) { WaitEnds(); },
                   [&](const event::RecordTry& e) { ShowProgress(e); },
                   [&](const event::ServiceMissedCycles&) { ShowAdvice(kMissedCyclesAdvice); },
                   // Told when it costs time.
                   [&](const event::Pace& e) {
                       if (e.pace == LinkPace::kCable) ShowAdvice(kCablePaceAdvice);
                   },
               },
               event);
}

void TextReporter::Asking(const event::Asking& asking) {
    char what[sizeof what_];
    AskingText(asking.first, asking.last, asking.name, what, sizeof what);
    if (std::strncmp(what_, what, sizeof what_ - 1) == 0) return;
    std::snprintf(what_, sizeof what_, "%s", what);
    whatChanged_ = true;
    if (seconds_ > 0) Show();
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

void ConsoleReporter::ShowProgress(const event::RecordTry& progress) {
    std::snprintf(line_, sizeof line_, "Transferring.. %c %u%% done", SPINNER_GLYPHS[progress.record % kSpinnerSteps],
                  progress.percent);
    std::printf("\r                        \r%s", line_);
    std::fflush(stdout);
}

void ConsoleReporter::ShowAdvice(const char* text) {
    std::printf("\n%s\n", text);
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

void BatchReporter::ShowProgress(const event::RecordTry& progress) {
    const unsigned percent = progress.percent;
    const int tenth = static_cast<int>(percent / 10);
    if (tenth == toldTenth_) return;
    toldTenth_ = tenth;
    // A long update tells its rate and the time it has left.
    if (progress.secondsLeft >= kLongUpdateSeconds) {
        std::printf("Transferring.. %u%% done (%u bytes a second, %d s left)\n", percent, progress.bytesPerSecond,
                    progress.secondsLeft);
    } else {
        std::printf("Transferring.. %u%% done\n", percent);
    }
}

void BatchReporter::ShowAdvice(const char* text) { std::printf("%s\n", text); }

void BatchReporter::ShowComplete() { std::printf("Transferring.. 100%% done.\n"); }

void BatchReporter::ShowWait(const char* what, unsigned, bool whatChanged) {
    if (whatChanged) std::printf("%s...\n", what);
}
