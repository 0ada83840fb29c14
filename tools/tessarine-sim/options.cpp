#include "options.h"

#include <cstdlib>
#include <cstring>
#include <vector>

const char kUsage[] =
    "Usage: tessarine-sim [options]\n"
    "       tessarine-sim --make-image FILE --size N [--record-size R]\n"
    "\n"
    "Plays the Corvilent Tessarine device on two virtual MIDI ports ('device in'\n"
    "and 'device out') of the ALSA sequencer, or of a running JACK server, until\n"
    "it is interrupted.\n"
    "\n"
    "  --id HEX               answer identification requests with HEX (default 3D)\n"
    "  --restart-after N      answer 77 (restarting) to the record that brings the\n"
    "                         accepted bytes to N\n"
    "  --fault WHICH:TRY:WHAT answer otherwise: WHICH is a record number (from 0) or\n"
    "                         'id' for identification requests, TRY the try (from 0)\n"
    "                         or '*' for every try; WHAT is 'silence', 'status=HEX'\n"
    "                         or 'busy=MS' (the usual answer, after working MS on\n"
    "                         the request; what arrives meanwhile waits its turn).\n"
    "                         Repeatable.\n"
    "  --store-time MS        take MS to store every record, resent ones included\n"
    "                         (default 0); what arrives meanwhile waits its turn\n"
    "  --reply-delay MS       answer MS after being done with a request (default 1)\n"
    "  --accepted FILE        write the bytes of the accepted records to FILE\n"
    "  --timeout SECONDS      stop by itself after SECONDS\n"
    "  --verbose              log every message received, in hex, on standard error\n"
    "  --make-image FILE      write a valid image of --size N bytes (4 to 65535) in\n"
    "                         records of --record-size R data bytes (default 256)\n"
    "                         to FILE, as hexadecimal text, and stop\n"
    "  --help                 show this text\n"
    "\n"
    "Exit status: 0 after a normal stop, 2 for a bad command line, 3 when no MIDI\n"
    "service can be opened, 1 for any other failure.\n";

namespace {

struct FaultRule {
    bool identification;
    std::size_t which;
    bool everyTry;
    std::size_t attempt;
    Response response;
    bool keepStatus;  // busy: the device's own answer, later
};

bool ParseNumber(const char* text, int base, unsigned long max, unsigned long* value) {
    if (*text == '\0') return false;
    char* end = nullptr;
    *value = std::strtoul(text, &end, base);
    return *end == '\0' && *value <= max && text[0] != '-';
}

bool ParseFault(const std::string& spec, FaultRule* rule) {
    const std::size_t first = spec.find(':');
    const std::size_t second = spec.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) return false;
    const std::string which = spec.substr(0, first);
    const std::string attempt = spec.substr(first + 1, second - first - 1);
    const std::string what = spec.substr(second + 1);
    unsigned long value = 0;

    rule->identification = which == "id";
    if (!rule->identification) {
        if (!ParseNumber(which.c_str(), 10, 65535, &value)) return false;
        rule->which = value;
    }
    rule->everyTry = attempt == "*";
    if (!rule->everyTry) {
        if (!ParseNumber(attempt.c_str(), 10, 1000000, &value)) return false;
        rule->attempt = value;
    }
    rule->keepStatus = false;
    if (what == "silence") {
        rule->response = {Response::Kind::kSilence};
    } else if (what.rfind("status=", 0) == 0 && ParseNumber(what.c_str() + 7, 16, 0x7F, &value)) {
        rule->response = {Response::Kind::kStatus, static_cast<std::uint8_t>(value)};
    } else if (what.rfind("busy=", 0) == 0 && ParseNumber(what.c_str() + 5, 10, 600000, &value)) {
        rule->response = {Response::Kind::kStatus, 0, static_cast<std::uint32_t>(value)};
        rule->keepStatus = true;
    } else {
        return false;
    }
    return true;
}

FaultScript ScriptOf(std::vector<FaultRule> rules) {
    return [rules = std::move(rules)](const Request& request) -> std::optional<Response> {
        for (const FaultRule& rule : rules) {
            if (rule.identification != request.identification) continue;
            if (!rule.identification && rule.which != request.record) continue;
            if (!rule.everyTry && rule.attempt != request.attempt) continue;
            Response response = rule.response;
            if (rule.keepStatus) response.status = request.status;
            return response;
        }
        return std::nullopt;
    };
}

}  // namespace

ParseOutcome ParseOptions(int argc, char** argv, SimOptions* options, std::string* error) {
    std::vector<FaultRule> rules;
    bool sizeGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help") return ParseOutcome::kHelp;
        if (option == "--verbose") {
            options->verbose = true;
            continue;
        }
        if (i + 1 == argc) {
            *error = "unknown option or missing value: " + option;
            return ParseOutcome::kError;
        }
        const char* value = argv[++i];
        unsigned long number = 0;
        bool good = true;
        if (option == "--id") {
            good = ParseNumber(value, 16, 0x7F, &number);
            options->device.identificationAnswer = static_cast<std::uint8_t>(number);
        } else if (option == "--restart-after") {
            good = ParseNumber(value, 10, 65535, &number) && number > 0;
            options->device.restartAfterBytes = number;
        } else if (option == "--fault") {
            FaultRule rule;
            good = ParseFault(value, &rule);
            rules.push_back(rule);
        } else if (option == "--store-time") {
            good = ParseNumber(value, 10, 600000, &number);
            options->device.storeMs = static_cast<std::uint32_t>(number);
        } else if (option == "--reply-delay") {
            good = ParseNumber(value, 10, 600000, &number);
            options->replyDelayMs = static_cast<std::uint32_t>(number);
        } else if (option == "--accepted") {
            options->acceptedPath = value;
        } else if (option == "--timeout") {
            good = ParseNumber(value, 10, 86400, &number);
            options->timeoutSeconds = static_cast<std::uint32_t>(number);
        } else if (option == "--make-image") {
            options->makeImagePath = value;
        } else if (option == "--size") {
            good = ParseNumber(value, 10, 65535, &number) && number >= 4;
            options->imageSize = number;
            sizeGiven = true;
        } else if (option == "--record-size") {
            good = ParseNumber(value, 10, 0xFFFB, &number);
            options->recordData = number;
        } else {
            *error = "unknown option: " + option;
            return ParseOutcome::kError;
        }
        if (!good) {
            *error = "bad value for " + option + ": " + value;
            return ParseOutcome::kError;
        }
    }
    if (!options->makeImagePath.empty() && !sizeGiven) {
        *error = "--make-image needs --size";
        return ParseOutcome::kError;
    }
    if (!rules.empty()) options->device.faults = ScriptOf(std::move(rules));
    return ParseOutcome::kRun;
}
