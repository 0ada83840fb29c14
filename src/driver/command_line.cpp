#include "driver/command_line.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

// An hour: a production line's station waits for the next device.
constexpr unsigned long kMostWaitSeconds = 3600;

// What the command line has asked for so far.
struct Reading {
    RunOptions* run;
    bool help = false;
    bool version = false;
};

// What an option does, with its value (null for a flag, or when its value
// is missing); false, with `error` filled, when the value will not do.
using Apply = bool (*)(Reading* reading, const char* value, char* error, std::size_t size);

struct Option {
    const char* name;   // "--wait"
    char letter;        // '\0', or the short form's: 'h' for -h
    const char* value;  // what its value is called; null for a flag
    const char* help;   // a line end inside begins another line of it
    // Applied before every other option, whatever its place: the face, in
    // which even a refusal of the command line is told.
    bool first;
    Apply apply;
};

// --batch and --json: no final wait, an exit status that tells the outcome,
// and their face (JSON's, when both are given).
void ChooseFace(Face face, RunOptions* options) {
    if (options->face != Face::kJson) options->face = face;
    options->finalWait = false;
    options->statusTellsOutcome = true;
}

bool ChoosePort(const char* option, const char* value, const char** port, char* error, std::size_t size) {
    if (value == nullptr || value[0] == '\0') {
        std::snprintf(error, size, "%s needs a PORT: a number from --list, or a part of the port's name", option);
        return false;
    }
    *port = value;
    return true;
}

constexpr Option kOptions[] = {
    {"--list", '\0', nullptr, "list the MIDI ports as the search numbers them, and stop", false,
     [](Reading* r, const char*, char*, std::size_t) {
         r->run->list = true;
         return true;
     }},
    {"--in", '\0', "PORT", "look for the device on this MIDI input only", false,
     [](Reading* r, const char* value, char* error, std::size_t size) {
         return ChoosePort("--in", value, &r->run->input, error, size);
     }},
    {"--out", '\0', "PORT",
     "and on this MIDI output only; PORT is a number from --list\n"
     "or a part of the port's name (letter case ignored)",
     false,
     [](Reading* r, const char* value, char* error, std::size_t size) {
         return ChoosePort("--out", value, &r->run->output, error, size);
     }},
    {"--dry-run", '\0', nullptr, "check the image and find the device, then stop: no record\nis sent", false,
     [](Reading* r, const char*, char*, std::size_t) {
         r->run->dryRun = true;
         return true;
     }},
    {"--wait", '\0', "SECONDS",
     "look for the device until it answers or SECONDS have passed\n"
     "(plugged in after the start, or still starting up)",
     false,
     [](Reading* r, const char* value, char* error, std::size_t size) {
         char* end = nullptr;
         const unsigned long seconds = value != nullptr ? std::strtoul(value, &end, 10) : 0;
         if (value == nullptr || value[0] < '0' || value[0] > '9' || *end != '\0' || seconds > kMostWaitSeconds) {
             std::snprintf(error, size, "--wait needs SECONDS, a whole number from 0 to %lu", kMostWaitSeconds);
             return false;
         }
         r->run->waitSeconds = static_cast<std::uint32_t>(seconds);
         return true;
     }},
    {"--sha256", '\0', "HEX",
     "the image file's SHA-256, as published (64 hexadecimal digits):\n"
     "a file whose SHA-256 differs is refused, and nothing sent",
     false,
     [](Reading* r, const char* value, char* error, std::size_t size) {
         if (value == nullptr || std::strlen(value) != 64 || std::strspn(value, "0123456789abcdefABCDEF") != 64) {
             std::snprintf(error, size, "--sha256 needs HEX, the image's SHA-256 as 64 hexadecimal digits");
             return false;
         }
         r->run->sha256 = value;
         return true;
     }},
    {"--batch", '\0', nullptr,
     "for scripts and production lines: no final wait, whole lines\n"
     "for a log, and an exit status that tells the outcome",
     true,
     [](Reading* r, const char*, char*, std::size_t) {
         ChooseFace(Face::kLines, r->run);
         return true;
     }},
    {"--json", '\0', nullptr,
     "as --batch, but JSON Lines on standard output: one event an\n"
     "object, the last the outcome (see the manual page)",
     true,
     [](Reading* r, const char*, char*, std::size_t) {
         ChooseFace(Face::kJson, r->run);
         return true;
     }},
    {"--log", '\0', "FILE", "also append the run's events to FILE as JSON Lines", false,
     [](Reading* r, const char* value, char* error, std::size_t size) {
         if (value == nullptr || value[0] == '\0') {
             std::snprintf(error, size, "--log needs a FILE to append the run's events to");
             return false;
         }
         r->run->log = value;
         return true;
     }},
    {"--help", 'h', nullptr, "show this text", false,
     [](Reading* r, const char*, char*, std::size_t) {
         r->help = true;
         return true;
     }},
    {"--version", 'V', nullptr, "show the program's version", false,
     [](Reading* r, const char*, char*, std::size_t) {
         r->version = true;
         return true;
     }},
};

// The option the word names, and where its value begins ("--wait=5": after
// the "="; null when the value is the next word or there is none).
const Option* Named(const char* word, const char** value) {
    for (const Option& option : kOptions) {
        *value = nullptr;
        if (option.letter != '\0' && word[1] == option.letter && word[2] == '\0') return &option;
        const std::size_t length = std::strlen(option.name);
        if (std::strncmp(word, option.name, length) != 0) continue;
        if (word[length] == '\0') return &option;
        if (word[length] == '=' && option.value != nullptr) {
            *value = word + length + 1;
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

void PrintUsage(std::FILE* out) {
    std::fputs(
        "Usage: tessarine-update [OPTION...] [IMAGE]\n"
        "\n"
        "Updates the firmware of a Corvilent Tessarine controller over MIDI. It sends\n"
        "IMAGE, or else the first *.led file of the current folder (either way its name\n"
        "must begin with \"Corvilent\", in any letter case), after checking every\n"
        "record of it and finding the device among the MIDI ports. Without --batch it\n"
        "waits for a key at the end, as when started from a window.\n"
        "\n"
        "  IMAGE          the image file to send\n",
        out);
    for (const Option& option : kOptions) {
        char label[32] = "";
        if (option.letter != '\0') std::snprintf(label, sizeof label, "-%c, ", option.letter);
        const std::size_t at = std::strlen(label);
        std::snprintf(label + at, sizeof label - at, "%s %s", option.name, option.value != nullptr ? option.value : "");
        std::fprintf(out, "  %-14s ", label);
        for (const char* c = option.help; *c != '\0'; ++c) {
            std::fputc(*c, out);
            if (*c == '\n') std::fputs("                 ", out);
        }
        std::fputc('\n', out);
    }
    std::fputs(
        "\n"
        "Exit status with --batch or --json: 0 updated (or, with --dry-run, the device found),\n"
        "1 the image not found, unreadable or failing its check, 3 no device answered,\n"
        "4 the device asks to be reset, 5 the transfer failed, 130 interrupted.\n"
        "Without --batch: 0, or 130 when interrupted. A bad command line: 2, and\n"
        "nothing is done; a PORT that names none: 3.\n",
        out);
}

CommandLine ReadCommandLine(int argc, char** argv, RunOptions* options, char* error, std::size_t errorSize) {
    Reading reading = {options};
    // The face first, whatever else the line holds; then the rest in order.
    for (const bool first : {true, false}) {
        bool optionsEnd = false;
        for (int i = 1; i < argc; ++i) {
            const char* word = argv[i];
            if (optionsEnd || word[0] != '-' || word[1] == '\0') {
                if (first) continue;
#ifdef _WIN32
                if (!optionsEnd && std::strcmp(word, "/?") == 0) {
                    reading.help = true;
                    continue;
                }
#endif
                if (options->image != nullptr) {
                    std::snprintf(error, errorSize, "one image at a time: '%s' and '%s' given", options->image, word);
                    return CommandLine::kError;
                }
                options->image = word;
                continue;
            }
            if (std::strcmp(word, "--") == 0) {
                optionsEnd = true;
                continue;
            }
            const char* value = nullptr;
            const Option* option = Named(word, &value);
            if (option == nullptr) {
                if (first) continue;
                std::snprintf(error, errorSize, "unknown option '%s'", word);
                return CommandLine::kError;
            }
            // A value in the next word.
            if (option->value != nullptr && value == nullptr) {
                value = i + 1 < argc ? argv[++i] : nullptr;
            }
            if (option->first == first && !option->apply(&reading, value, error, errorSize)) {
                return CommandLine::kError;
            }
        }
    }
    if (reading.help) return CommandLine::kHelp;
    return reading.version ? CommandLine::kVersion : CommandLine::kRun;
}
