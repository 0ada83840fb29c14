#include "web/web_reporter.h"

#include <emscripten.h>

#include <cstdio>

#include "report/endings.h"
#include "report/texts.h"

// One event: its kind, a text, and two numbers.
EM_JS(void, WebReport, (const char* kind, const char* text, int first, int second),
      { Module.tessarine.report(UTF8ToString(kind), UTF8ToString(text), first, second); });
EM_JS(void, WebRecordTry, (int record, int records, int attempt, int percent),
      { Module.tessarine.recordTry(record, records, attempt, percent); });
EM_JS(void, WebImage, (int bytes, int records, const char* sha256),
      { Module.tessarine.image(bytes, records, UTF8ToString(sha256)); });
EM_JS(void, WebPort, (int input, int index, const char* name),
      { Module.tessarine.port(input, index, UTF8ToString(name)); });
EM_JS(void, WebEnded, (const char* name, const char* text, const char* next, int status),
      { Module.tessarine.ended(UTF8ToString(name), UTF8ToString(text), UTF8ToString(next), status); });

namespace {

struct Text {
    char text[8 * 1024 + 256];
};

}  // namespace

void WebReporter::Banner() { WebReport("banner", kBanner, 0, 0); }

void WebReporter::ImageOpened(const char* name) {
    Text said;
    ImageOpenedText(name, said.text, sizeof said.text);
    WebReport("opened", said.text, 0, 0);
}

void WebReporter::ImageChecked(unsigned bytes, unsigned records, const char* sha256) {
    WebImage(static_cast<int>(bytes), static_cast<int>(records), sha256);
}

void WebReporter::PortsListed(const PortNames& inputs, const PortNames& outputs) {
    for (UINT i = 0; i < inputs.count; ++i) WebPort(1, static_cast<int>(i), inputs.names[i]);
    for (UINT i = 0; i < outputs.count; ++i) WebPort(0, static_cast<int>(i), outputs.names[i]);
}

void WebReporter::Ended(const Outcome& outcome) {
    const EndingRow& row = RowOf(outcome.ending);
    Text said;
    EndingWords(outcome, said.text, sizeof said.text);
    WebEnded(row.name, said.text, row.next, row.exitStatus);
}

void WebReporter::NoMidiService() { WebReport("advice", kNoMidiServiceAdvice, 0, 0); }

void WebReporter::PortHeld(bool input, unsigned index, const char* name) {
    Text said;
    PortHeldText(input, index, name, said.text, sizeof said.text);
    WebReport("advice", said.text, input ? 1 : 0, static_cast<int>(index));
}

void WebReporter::WaitBegins(Wait what) {
    std::snprintf(what_, sizeof what_, "%s",
                  what == Wait::kSearch ? "Looking for the device" : "Waiting for the device");
    WebReport("wait", what_, 0, 0);
}

void WebReporter::Asking(unsigned first, unsigned last, const char* name) {
    AskingText(first, last, name, what_, sizeof what_);
    WebReport("asking", what_, static_cast<int>(first), static_cast<int>(last));
}

void WebReporter::Waiting(unsigned seconds) { WebReport("wait", what_, static_cast<int>(seconds), 0); }

void WebReporter::WaitEnds() { WebReport("waitEnds", "", 0, 0); }

void WebReporter::DeviceFound(const char* input, const char* output) {
    Text said;
    DeviceFoundText(input, output, said.text, sizeof said.text);
    WebReport("found", said.text, 0, 0);
}

void WebReporter::ServiceMissedCycles() { WebReport("advice", kMissedCyclesAdvice, 0, 0); }

void WebReporter::RecordTry(unsigned record, unsigned records, unsigned attempt, unsigned percent) {
    WebRecordTry(static_cast<int>(record), static_cast<int>(records), static_cast<int>(attempt),
                 static_cast<int>(percent));
}

void WebReporter::RecordAnswered(unsigned record, bool replied, std::uint8_t status) {
    WebReport("answer", replied ? "" : "silence", static_cast<int>(record), replied ? status : -1);
}

void WebReporter::Refused(std::uint8_t status) { WebReport("refused", RefusalText(status), status, 0); }
