#include "console/json_reporter.h"

#include <cstdarg>
#include <cstring>

#include "report/endings.h"
#include "report/printable_name.h"
#include "report/texts.h"

namespace {

// A JSON string, quotes included, of the text made printable (names from
// files and devices may hold any byte): \xNN stays as text, and quotes,
// backslashes and line ends are escaped.
struct JsonString {
    explicit JsonString(const char* text) {
        const PrintableName printable(text);
        std::size_t at = 0;
        json[at++] = '"';
        for (const char* c = printable.text; *c != '\0' && at + 8 < sizeof json; ++c) {
            switch (*c) {
                case '"': at += static_cast<std::size_t>(std::snprintf(json + at, 3, "\\\"")); break;
                case '\\': at += static_cast<std::size_t>(std::snprintf(json + at, 3, "\\\\")); break;
                default: json[at++] = *c;
            }
        }
        json[at++] = '"';
        json[at] = '\0';
    }
    char json[2 * (4 * 1024 + 1) + 3];
};

// The console's words of a text, line ends and all, as a JSON string:
// without the blank lines around them, a line end inside as \n.
struct JsonWords {
    explicit JsonWords(const char* words) {
        const char* start = words;
        while (*start == '\n') ++start;
        std::size_t length = std::strlen(start);
        while (length > 0 && start[length - 1] == '\n') --length;
        std::size_t at = 0;
        json[at++] = '"';
        for (std::size_t i = 0; i < length && at + 8 < sizeof json; ++i) {
            const char c = start[i];
            if (c == '\n') {
                json[at++] = '\\';
                json[at++] = 'n';
            } else if (c == '"' || c == '\\') {
                json[at++] = '\\';
                json[at++] = c;
            } else if (static_cast<unsigned char>(c) < 0x20) {
                at += static_cast<std::size_t>(std::snprintf(json + at, 7, "\\u%04x", c));
            } else {
                json[at++] = c;
            }
        }
        json[at++] = '"';
        json[at] = '\0';
    }
    char json[2 * 8 * 1024 + 3];
};

// A text the size of the longest the console's words are.
struct Words {
    char text[8 * 1024];
};

}  // namespace

JsonReporter::JsonReporter(std::FILE* out, bool exitTellsOutcome, bool refusalsOnStandardError)
    : out_(out),
      exitTellsOutcome_(exitTellsOutcome),
      refusalsOnStandardError_(refusalsOnStandardError),
      start_(std::chrono::steady_clock::now()) {}

void JsonReporter::Write(const char* event, const char* fields, ...) {
    const std::chrono::duration<double> t = std::chrono::steady_clock::now() - start_;
    std::fprintf(out_, "{\"event\":\"%s\",\"t\":%.3f", event, t.count());
    std::va_list values;
    va_start(values, fields);
    std::vfprintf(out_, fields, values);
    va_end(values);
    std::fputs("}\n", out_);
    std::fflush(out_);
}

void JsonReporter::Advice(const char* text) { Write("advice", ",\"text\":%s", JsonWords(text).json); }

void JsonReporter::Tell(const RunEvent& event) {
    std::visit(Showing{
                   [&](const event::Banner&) {
                       Write("start", ",\"text\":%s,\"version\":\"%s\",\"schema\":%d", JsonWords(kBanner).json,
                             TESSARINE_VERSION, kSchema);
                   },
                   [&](const event::ImageOpened& e) { std::snprintf(image_, sizeof image_, "%s", e.name); },
                   [&](const event::ImageRead& e) { ImageRead(e); },
                   [&](const event::PortsListed& e) { PortsListed(e); },
                   [&](const event::Ended& e) { Ended(e.outcome); },
               },
               event);
}

void JsonReporter::Tell(const ProtocolEvent& event) {
    Words said;
    std::visit(
        Showing{
            [&](const event::NoMidiService&) { Advice(kNoMidiServiceAdvice); },
            [&](const event::PortHeld& e) {
                PortHeldText(e.input, e.index, e.name, said.text, sizeof said.text);
                Advice(said.text);
            },
            [&](const event::WaitBegins& e) {
                std::snprintf(waitingFor_, sizeof waitingFor_, "%s", e.what == Wait::kSearch ? "device" : "answer");
                asking_[0] = '\0';
            },
            [&](const event::Asking& e) { AskingText(e.first, e.last, e.name, asking_, sizeof asking_); },
            [&](const event::Waiting& e) { Waiting(e.seconds); },
            [&](const event::DeviceFound& e) {
                Write("device", ",\"input\":%s,\"output\":%s", JsonString(e.input).json, JsonString(e.output).json);
            },
            [&](const event::ServiceMissedCycles&) { Advice(kMissedCyclesAdvice); },
            [&](const event::Pace& e) {
                if (e.pace == LinkPace::kCable) {
                    Write("link", ",\"link\":\"%s\",\"record\":%u", PaceName(e.pace), e.record + 1);
                } else {
                    Write("link", ",\"link\":\"%s\"", PaceName(e.pace));
                }
            },
            [&](const event::RecordTry& e) {
                char eta[24] = "";
                if (e.secondsLeft >= 0) std::snprintf(eta, sizeof eta, ",\"eta\":%d", e.secondsLeft);
                Write("record", ",\"index\":%u,\"of\":%u,\"try\":%u,\"percent\":%u%s", e.record + 1, e.records,
                      e.attempt + 1, e.percent, eta);
            },
            [&](const event::RecordAnswered& e) {
                if (e.replied) {
                    Write("answer", ",\"index\":%u,\"status\":%u", e.record + 1, static_cast<unsigned>(e.status));
                } else {
                    Write("answer", ",\"index\":%u,\"status\":null", e.record + 1);
                }
            },
            [&](const event::Refused& e) {
                Write("refused", ",\"status\":%u,\"text\":%s", static_cast<unsigned>(e.status),
                      JsonWords(RefusalText(e.status)).json);
            },
        },
        event);
}

void JsonReporter::ImageRead(const event::ImageRead& e) {
    if (!e.mismatch && e.check.problem == ImageProblem::kNone) {
        Write("image", ",\"path\":%s,\"bytes\":%u,\"records\":%u,\"sha256\":\"%s\"", JsonString(image_).json, e.bytes,
              e.records, e.sha256);
        return;
    }
    char problem[160];
    ImageProblemText(e.check, e.mismatch, problem, sizeof problem);
    const ImageProblem kind = e.mismatch ? ImageProblem::kNone : e.check.problem;
    if (kind == ImageProblem::kBadLength || kind == ImageProblem::kPastTheEnd || kind == ImageProblem::kChecksum) {
        Write("image", ",\"path\":%s,\"bytes\":%u,\"sha256\":\"%s\",\"problem\":%s,\"record\":%u,\"offset\":%u",
              JsonString(image_).json, e.bytes, e.sha256, JsonWords(problem).json, e.check.record + 1,
              static_cast<unsigned>(e.check.offset));
    } else {
        Write("image", ",\"path\":%s,\"bytes\":%u,\"sha256\":\"%s\",\"problem\":%s", JsonString(image_).json, e.bytes,
              e.sha256, JsonWords(problem).json);
    }
}

void JsonReporter::PortsListed(const event::PortsListed& e) {
    const PortNames& inputs = *e.inputs;
    const PortNames& outputs = *e.outputs;
    // Each list is one JSON array of the names: each escaped in 4 characters
    // a byte at most, and each of those escaped again in 2.
    char lists[2][kMaxPorts * (kPortNameSize * 8 + 4)];
    const PortNames* names[] = {&inputs, &outputs};
    for (int kind = 0; kind < 2; ++kind) {
        std::size_t at = 0;
        for (UINT i = 0; i < names[kind]->count && at < sizeof lists[kind]; ++i) {
            at += static_cast<std::size_t>(std::snprintf(lists[kind] + at, sizeof lists[kind] - at, "%s%s",
                                                         i > 0 ? "," : "", JsonString(names[kind]->names[i]).json));
        }
        if (at == 0) lists[kind][0] = '\0';
    }
    Write("ports", ",\"service\":%s,\"inputs\":[%s],\"outputs\":[%s]",
          e.service[0] != '\0' ? JsonString(e.service).json : "null", lists[0], lists[1]);
}

void JsonReporter::Ended(const Outcome& outcome) {
    const EndingRow& row = RowOf(outcome.ending);
    Words words;
    EndingWords(outcome, words.text, sizeof words.text);
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start_;
    char restarted[32] = "";
    if (outcome.ending == Ending::kRestarted)
        std::snprintf(restarted, sizeof restarted, ",\"record\":%u", outcome.record + 1u);
    Write("outcome", ",\"name\":\"%s\",\"exit\":%d,\"text\":%s,\"next\":%s,\"seconds\":%.3f%s", row.name,
          ExitStatus(outcome.ending, exitTellsOutcome_), JsonWords(words.text).json, JsonWords(row.next).json,
          seconds.count(), restarted);
    // Refused, the command line is told on standard error too, for whoever
    // reads the terminal.
    if (refusalsOnStandardError_ && row.onStandardError) std::fputs(words.text, stderr);
}

void JsonReporter::Waiting(unsigned seconds) {
    if (asking_[0] == '\0') {
        Write("waiting", ",\"for\":\"%s\",\"seconds\":%u", waitingFor_, seconds);
    } else {
        Write("waiting", ",\"for\":\"%s\",\"seconds\":%u,\"asking\":%s", waitingFor_, seconds, JsonWords(asking_).json);
    }
}
