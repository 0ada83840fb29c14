#include "fault.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

bool ParseNumber(const std::string& text, int base, unsigned long max, unsigned long* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    char* end = nullptr;
    *value = std::strtoul(text.c_str(), &end, base);
    return *end == '\0' && *value <= max;
}

// N, A-B or '*'.
bool ParseRange(const std::string& text, std::size_t* first, std::size_t* last) {
    if (text == "*") {
        *first = 0;
        *last = SIZE_MAX;
        return true;
    }
    const std::size_t dash = text.find('-');
    unsigned long from = 0;
    unsigned long to = 0;
    if (!ParseNumber(text.substr(0, dash), 10, 1000000, &from)) return false;
    to = from;
    if (dash != std::string::npos && (!ParseNumber(text.substr(dash + 1), 10, 1000000, &to) || to < from)) {
        return false;
    }
    *first = from;
    *last = to;
    return true;
}

bool ParseAnswer(const std::string& what, Fault* fault) {
    unsigned long value = 0;
    const std::size_t equals = what.find('=');
    const std::string name = what.substr(0, equals);
    const std::string argument = equals == std::string::npos ? "" : what.substr(equals + 1);
    Response& response = fault->response;
    if (name == "status" && ParseNumber(argument, 16, 0x7F, &value)) {
        response = {Response::Kind::kStatus, static_cast<std::uint8_t>(value)};
    } else if (name == "busy" && ParseNumber(argument, 10, 600000, &value)) {
        response = {Response::Kind::kStatus, 0, static_cast<std::uint32_t>(value)};
        fault->ownStatus = true;
    } else if (what == "silence") {
        response = {Response::Kind::kSilence};
    } else if (what == "lone-byte") {
        response = {Response::Kind::kOneByte};
    } else if (what == "empty") {
        response = {Response::Kind::kEmpty};
    } else if (what == "cut-short") {
        response = {Response::Kind::kIncomplete};
        fault->ownStatus = true;
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool Fault::Covers(bool identificationRequest, std::size_t record, std::size_t attempt) const {
    if (identification != identificationRequest || attempt < firstTry || attempt > lastTry) return false;
    return identification || (record >= firstRecord && record <= lastRecord);
}

bool ParseFault(const std::string& text, Fault* fault) {
    const std::size_t first = text.find(':');
    const std::size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos) return false;
    *fault = Fault{};
    const std::string which = text.substr(0, first);
    fault->identification = which == "id";
    if (!fault->identification && !ParseRange(which, &fault->firstRecord, &fault->lastRecord)) return false;
    return ParseRange(text.substr(first + 1, second - first - 1), &fault->firstTry, &fault->lastTry) &&
           ParseAnswer(text.substr(second + 1), fault);
}

std::vector<Fault> Faults(const std::string& text) {
    std::istringstream words(text);
    std::vector<Fault> faults;
    for (std::string word; words >> word;) {
        faults.emplace_back();
        if (!ParseFault(word, &faults.back())) {
            std::fprintf(stderr, "not a fault: %s\n", word.c_str());
            std::abort();
        }
    }
    return faults;
}
