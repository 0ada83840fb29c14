#include "web/web_reporter.h"

#include <emscripten.h>

#include <cstdio>

#include "console/console.h"
#include "console/texts.h"

// One event: its kind, a text, and two numbers.
EM_JS(void, WebReport, (const char* kind, const char* text, int first, int second), {
    Module.tessarine.report(UTF8ToString(kind), UTF8ToString(text), first, second);
});
EM_JS(void, WebEnded, (const char* key, const char* text, int status), {
    Module.tessarine.ended(UTF8ToString(key), UTF8ToString(text), status);
});

namespace {

struct Text {
    char text[4 * 1024 + 256];
};

// The page's names for the endings, for what it advises next.
struct Key {
    Ending ending;
    char key[24];
};
constexpr Key kKeys[] = {
    {Ending::kUpdated, "updated"},
    {Ending::kRestarted, "restarted"},
    {Ending::kDryRunFound, "found"},
    {Ending::kNoImageFile, "no-image"},
    {Ending::kNotFit, "not-fit"},
    {Ending::kCannotOpen, "cannot-open"},
    {Ending::kBadImage, "bad-image"},
    {Ending::kNoDevice, "no-device"},
    {Ending::kResetRequested, "reset"},
    {Ending::kOutputMissing, "output-missing"},
    {Ending::kNotResponding, "not-responding"},
    {Ending::kUpdateError, "update-error"},
    {Ending::kStoppedBeforeSearch, "stopped-before-search"},
    {Ending::kStoppedInSearch, "stopped-in-search"},
    {Ending::kStoppedBeforeWrite, "stopped-before-write"},
    {Ending::kStoppedInTransfer, "stopped-in-transfer"},
};

const char* KeyOf(Ending ending) {
    for (const Key& key : kKeys) {
        if (key.ending == ending) return key.key;
    }
    return "";
}

}  // namespace

void WebReporter::Banner() { WebReport("banner", kBanner, 0, 0); }

void WebReporter::ImageOpened(const char* name) {
    Text said;
    ImageOpenedText(name, said.text, sizeof said.text);
    WebReport("opened", said.text, 0, 0);
}

void WebReporter::Ended(const Outcome& outcome) {
    Text said;
    EndingText(outcome, said.text, sizeof said.text);
    WebEnded(KeyOf(outcome.ending), said.text, BatchExitStatus(outcome.ending));
}

void WebReporter::NoMidiService() { WebReport("advice", kNoMidiServiceAdvice, 0, 0); }

void WebReporter::PortHeld(bool input, unsigned index, const char* name) {
    Text said;
    PortHeldText(input, index, name, said.text, sizeof said.text);
    WebReport("advice", said.text, input ? 1 : 0, static_cast<int>(index));
}

void WebReporter::WaitBegins(Wait what, std::uint32_t nowMs) {
    waitStart_ = nowMs;
    shownSeconds_ = 0;
    std::snprintf(what_, sizeof what_, "%s", what == Wait::kSearch ? "Looking for the device" : "Waiting for the device");
    WebReport("wait", what_, 0, 0);
}

void WebReporter::Asking(unsigned first, unsigned last, const char* name, std::uint32_t nowMs) {
    AskingText(first, last, name, what_, sizeof what_);
    WebReport("asking", what_, static_cast<int>(first), static_cast<int>(last));
    Waiting(nowMs);
}

void WebReporter::Waiting(std::uint32_t nowMs) {
    const std::uint32_t seconds = (nowMs - waitStart_) / 1000;
    if (seconds == shownSeconds_) return;
    shownSeconds_ = seconds;
    WebReport("wait", what_, static_cast<int>(seconds), 0);
}

void WebReporter::WaitEnds() { WebReport("waitEnds", "", 0, 0); }

void WebReporter::DeviceFound(const char* input, const char* output) {
    Text said;
    DeviceFoundText(input, output, said.text, sizeof said.text);
    WebReport("found", said.text, 0, 0);
}

void WebReporter::ServiceMissedCycles() { WebReport("advice", kMissedCyclesAdvice, 0, 0); }

void WebReporter::RecordTry(char glyph, unsigned percent) {
    const char text[] = {glyph, '\0'};
    WebReport("try", text, static_cast<int>(percent), 0);
}

void WebReporter::RecordAnswered(unsigned record, bool replied, std::uint8_t status) {
    WebReport("answer", replied ? "" : "silence", static_cast<int>(record), replied ? status : -1);
}

void WebReporter::Refused(std::uint8_t status) { WebReport("refused", RefusalText(status), status, 0); }
