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

JsonReporter::JsonReporter(std::FILE* out, bool exitTellsOutcome)
    : out_(out), exitTellsOutcome_(exitTellsOutcome), start_(std::chrono::steady_clock::now()) {}

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

void JsonReporter::Banner() { Write("start", ",\"text\":%s", JsonWords(kBanner).json); }

void JsonReporter::ImageOpened(const char* name) { std::snprintf(image_, sizeof image_, "%s", name); }

void JsonReporter::ImageChecked(unsigned bytes, unsigned records, const char* sha256) {
    Write("image", ",\"path\":%s,\"bytes\":%u,\"records\":%u,\"sha256\":\"%s\"", JsonString(image_).json, bytes,
          records, sha256);
}

void JsonReporter::PortsListed(const PortNames& inputs, const PortNames& outputs) {
    // Each list is one JSON array of the names: each escaped in 4 characters
    // a byte at most, and each of those escaped again in 2.
    char lists[2][kMaxPorts * (2 * 4 * kPortNameSize + 4)];
    const PortNames* names[] = {&inputs, &outputs};
    for (int kind = 0; kind < 2; ++kind) {
        std::size_t at = 0;
        for (UINT i = 0; i < names[kind]->count && at < sizeof lists[kind]; ++i) {
            at += static_cast<std::size_t>(std::snprintf(lists[kind] + at, sizeof lists[kind] - at, "%s%s",
                                                         i > 0 ? "," : "", JsonString(names[kind]->names[i]).json));
        }
        if (at == 0) lists[kind][0] = '\0';
    }
    Write("ports", ",\"inputs\":[%s],\"outputs\":[%s]", lists[0], lists[1]);
}

void JsonReporter::Ended(const Outcome& outcome) {
    const EndingRow& row = RowOf(outcome.ending);
    const int exit =
        exitTellsOutcome_ || Stopped(outcome.ending) || row.onStandardError ? row.exitStatus : kExitUpdated;
    Words words;
    EndingWords(outcome, words.text, sizeof words.text);
    Write("outcome", ",\"name\":\"%s\",\"exit\":%d,\"text\":%s,\"next\":%s", row.name, exit, JsonWords(words.text).json,
          JsonWords(row.next).json);
}

void JsonReporter::NoMidiService() { Advice(kNoMidiServiceAdvice); }

void JsonReporter::PortHeld(bool input, unsigned index, const char* name) {
    Words said;
    PortHeldText(input, index, name, said.text, sizeof said.text);
    Advice(said.text);
}

void JsonReporter::WaitBegins(Wait what) {
    std::snprintf(waitingFor_, sizeof waitingFor_, "%s", what == Wait::kSearch ? "device" : "answer");
    asking_[0] = '\0';
}

void JsonReporter::Asking(unsigned first, unsigned last, const char* name) {
    AskingText(first, last, name, asking_, sizeof asking_);
}

void JsonReporter::Waiting(unsigned seconds) {
    if (asking_[0] == '\0') {
        Write("waiting", ",\"for\":\"%s\",\"seconds\":%u", waitingFor_, seconds);
    } else {
        Write("waiting", ",\"for\":\"%s\",\"seconds\":%u,\"asking\":%s", waitingFor_, seconds, JsonWords(asking_).json);
    }
}

void JsonReporter::DeviceFound(const char* input, const char* output) {
    Write("device", ",\"input\":%s,\"output\":%s", JsonString(input).json, JsonString(output).json);
}

void JsonReporter::ServiceMissedCycles() { Advice(kMissedCyclesAdvice); }

void JsonReporter::RecordTry(unsigned record, unsigned records, unsigned attempt, unsigned percent) {
    Write("record", ",\"index\":%u,\"of\":%u,\"try\":%u,\"percent\":%u", record + 1, records, attempt + 1, percent);
}

void JsonReporter::RecordAnswered(unsigned record, bool replied, std::uint8_t status) {
    if (replied) {
        Write("answer", ",\"index\":%u,\"status\":%u", record + 1, static_cast<unsigned>(status));
    } else {
        Write("answer", ",\"index\":%u,\"status\":null", record + 1);
    }
}

void JsonReporter::Refused(std::uint8_t status) {
    Write("refused", ",\"status\":%u,\"text\":%s", static_cast<unsigned>(status), JsonWords(RefusalText(status)).json);
}
