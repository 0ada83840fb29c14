#include "web/web_reporter.h"

#include <emscripten.h>

#include <cstdio>

#include "report/endings.h"
#include "report/texts.h"

// One event: its kind, a text, and two numbers.
// The JavaScript below is the page's, as the browser reads it.
// clang-format off
EM_JS(void, WebReport, (const char* kind, const char* text, int first, int second), {
    Module.tessarine.report(UTF8ToString(kind), UTF8ToString(text), first, second);
});
EM_JS(void, WebRecordTry, (int record, int records, int attempt, int percent), {
    Module.tessarine.recordTry(record, records, attempt, percent);
});
EM_JS(void, WebImage, (int bytes, int records, const char* sha256), {
    Module.tessarine.image(bytes, records, UTF8ToString(sha256));
});
EM_JS(void, WebPort, (int input, int index, const char* name), {
    Module.tessarine.port(input, index, UTF8ToString(name));
});
EM_JS(void, WebEnded, (const char* name, const char* text, const char* next, int status), {
    Module.tessarine.ended(UTF8ToString(name), UTF8ToString(text), UTF8ToString(next), status);
});
// clang-format on

namespace {

struct Text {
    char text[8 * 1024 + 256];
};

}  // namespace

void WebReporter::Tell(const RunEvent& event) {
    Text said;
    std::visit(Showing{
                   [](const event::Banner&) { WebReport("banner", kBanner, 0, 0); },
                   [&](const event::ImageOpened& e) {
                       ImageOpenedText(e.name, said.text, sizeof said.text);
                       WebReport("opened", said.text, 0, 0);
                   },
                   [&](const event::ImageRead& e) {
                       if (!e.mismatch && e.check.problem == ImageProblem::kNone) {
                           WebImage(static_cast<int>(e.bytes), static_cast<int>(e.records), e.sha256);
                           return;
                       }
                       ImageProblemText(e.check, e.mismatch, said.text, sizeof said.text);
                       WebReport("problem", said.text, static_cast<int>(e.bytes), 0);
                   },
                   [](const event::PortsListed& e) {
                       WebReport("service", e.service, 0, 0);
                       for (UINT i = 0; i < e.inputs->count; ++i) WebPort(1, static_cast<int>(i), e.inputs->names[i]);
                       for (UINT i = 0; i < e.outputs->count; ++i) {
                           WebPort(0, static_cast<int>(i), e.outputs->names[i]);
                       }
                   },
                   [&](const event::Ended& e) {
                       // A listing's end is no run's: no service is advice.
                       if (e.outcome.ending == Ending::kListed) return;
                       if (e.outcome.ending == Ending::kNoService) {
                           WebReport("advice", kNoMidiServiceAdvice, 0, 0);
                           return;
                       }
                       const EndingRow& row = RowOf(e.outcome.ending);
                       EndingWords(e.outcome, said.text, sizeof said.text);
                       WebEnded(row.name, said.text, row.next, row.exitStatus);
                   },
               },
               event);
}

void WebReporter::Tell(const ProtocolEvent& event) {
    Text said;
    std::visit(Showing{
                   [](const event::NoMidiService&) { WebReport("advice", kNoMidiServiceAdvice, 0, 0); },
                   [&](const event::PortHeld& e) {
                       PortHeldText(e.input, e.index, e.name, said.text, sizeof said.text);
                       WebReport("advice", said.text, e.input ? 1 : 0, static_cast<int>(e.index));
                   },
                   [&](const event::WaitBegins& e) {
                       std::snprintf(what_, sizeof what_, "%s",
                                     e.what == Wait::kSearch ? "Looking for the device" : "Waiting for the device");
                       WebReport("wait", what_, 0, 0);
                   },
                   [&](const event::Asking& e) {
                       AskingText(e.first, e.last, e.name, what_, sizeof what_);
                       WebReport("asking", what_, static_cast<int>(e.first), static_cast<int>(e.last));
                   },
                   [&](const event::Waiting& e) { WebReport("wait", what_, static_cast<int>(e.seconds), 0); },
                   [](const event::WaitEnds&) { WebReport("waitEnds", "", 0, 0); },
                   [&](const event::DeviceFound& e) {
                       DeviceFoundText(e.input, e.output, said.text, sizeof said.text);
                       WebReport("found", said.text, 0, 0);
                   },
                   [](const event::ServiceMissedCycles&) { WebReport("advice", kMissedCyclesAdvice, 0, 0); },
                   [](const event::Pace& e) {
                       const bool cable = e.pace == LinkPace::kCable;
                       WebReport("pace", cable ? kCablePaceAdvice : PaceName(e.pace), static_cast<int>(e.record),
                                 cable ? 1 : 0);
                   },
                   [](const event::RecordTry& e) {
                       WebRecordTry(static_cast<int>(e.record), static_cast<int>(e.records),
                                    static_cast<int>(e.attempt), static_cast<int>(e.percent));
                   },
                   [](const event::RecordAnswered& e) {
                       WebReport("answer", e.replied ? "" : "silence", static_cast<int>(e.record),
                                 e.replied ? e.status : -1);
                   },
                   [](const event::Refused& e) { WebReport("refused", RefusalText(e.status), e.status, 0); },
               },
               event);
}
