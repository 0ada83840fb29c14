#include "driver/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const char kUsage[] =
    "Usage: tessarine-update [OPTION...] [IMAGE]\n"
    "\n"
    "Updates the firmware of a Corvilent Tessarine controller over MIDI. It sends\n"
    "IMAGE, or else the first *.led file of the current folder (either way its name\n"
    "must begin with \"Corvilent\", in any letter case), after checking every\n"
    "record of it and finding the device among the MIDI ports. Without --batch it\n"
    "waits for a key at the end, as when started from a window.\n"
    "\n"
    "  IMAGE          the image file to send\n"
    "  --list         list the MIDI ports as the search numbers them, and stop\n"
    "  --in PORT      look for the device on this MIDI input only\n"
    "  --out PORT     and on this MIDI output only; PORT is a number from --list\n"
    "                 or a part of the port's name (letter case ignored)\n"
    "  --dry-run      check the image and find the device, then stop: no record\n"
    "                 is sent\n"
    "  --wait SECONDS look for the device until it answers or SECONDS have passed\n"
    "                 (plugged in after the start, or still starting up)\n"
    "  --batch        for scripts and production lines: no final wait, whole lines\n"
    "                 for a log, and an exit status that tells the outcome\n"
    "  --json         as --batch, but JSON Lines on standard output: one event an\n"
    "                 object, the last the outcome (see the manual page)\n"
    "  --log FILE     also append the run's events to FILE as JSON Lines\n"
    "  -h, --help     show this text\n"
    "  -V, --version  show the program's version\n"
    "\n"
    "Exit status with --batch or --json: 0 updated (or, with --dry-run, the device found),\n"
    "1 the image not found, unreadable or failing its check, 3 no device answered,\n"
    "4 the device asks to be reset, 5 the transfer failed, 130 interrupted.\n"
    "Without --batch: 0, or 130 when interrupted. A bad command line: 2, and\n"
    "nothing is done; a PORT that names none: 3.\n";

namespace {

// An hour: a production line's station waits for the next device.
constexpr unsigned long kMostWaitSeconds = 3600;

// The option's value: what follows "=" in the same word, or the next word.
const char* ValueOf(const char* word, std::size_t nameLength, int argc, char** argv, int* i) {
    if (word[nameLength] == '=') return word + nameLength + 1;
    return *i + 1 < argc ? argv[++*i] : nullptr;
}

bool Named(const char* word, const char* name) {
    const std::size_t length = std::strlen(name);
    return std::strncmp(word, name, length) == 0 && (word[length] == '\0' || word[length] == '=');
}

// --batch and --json: no final wait, an exit status that tells the outcome,
// and their face (JSON's, when both are given).
void ChooseFace(Face face, RunOptions* options) {
    if (options->face != Face::kJson) options->face = face;
    options->finalWait = false;
    options->statusTellsOutcome = true;
}

}  // namespace

CommandLine ReadCommandLine(int argc, char** argv, RunOptions* options, char* error, std::size_t errorSize) {
    // The face first, whatever else the line holds.
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--batch") == 0) ChooseFace(Face::kLines, options);
        if (std::strcmp(argv[i], "--json") == 0) ChooseFace(Face::kJson, options);
    }
    bool help = false;
    bool version = false;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        if (optionsEnd || word[0] != '-' || word[1] == '\0') {
#ifdef _WIN32
            if (!optionsEnd && std::strcmp(word, "/?") == 0) {
                help = true;
                continue;
            }
#endif
            if (options->image != nullptr) {
                std::snprintf(error, errorSize, "one image at a time: '%s' and '%s' given", options->image, word);
                return CommandLine::kError;
            }
            options->image = word;
        } else if (std::strcmp(word, "--") == 0) {
            optionsEnd = true;
        } else if (std::strcmp(word, "--help") == 0 || std::strcmp(word, "-h") == 0) {
            help = true;
        } else if (std::strcmp(word, "--version") == 0 || std::strcmp(word, "-V") == 0) {
            version = true;
        } else if (std::strcmp(word, "--list") == 0) {
            options->list = true;
        } else if (std::strcmp(word, "--dry-run") == 0) {
            options->dryRun = true;
        } else if (std::strcmp(word, "--batch") == 0 || std::strcmp(word, "--json") == 0) {
            // Chosen above.
        } else if (Named(word, "--wait")) {
            const char* seconds = ValueOf(word, 6, argc, argv, &i);
            char* end = nullptr;
            const unsigned long value = seconds != nullptr ? std::strtoul(seconds, &end, 10) : 0;
            if (seconds == nullptr || seconds[0] < '0' || seconds[0] > '9' || *end != '\0' ||
                value > kMostWaitSeconds) {
                std::snprintf(error, errorSize, "--wait needs SECONDS, a whole number from 0 to %u",
                              static_cast<unsigned>(kMostWaitSeconds));
                return CommandLine::kError;
            }
            options->waitSeconds = static_cast<std::uint32_t>(value);
        } else if (Named(word, "--log")) {
            const char* file = ValueOf(word, 5, argc, argv, &i);
            if (file == nullptr || file[0] == '\0') {
                std::snprintf(error, errorSize, "--log needs a FILE to append the run's events to");
                return CommandLine::kError;
            }
            options->log = file;
        } else if (Named(word, "--in") || Named(word, "--out")) {
            const bool in = Named(word, "--in");
            const char* port = ValueOf(word, in ? 4 : 5, argc, argv, &i);
            if (port == nullptr || port[0] == '\0') {
                std::snprintf(error, errorSize, "%s needs a PORT: a number from --list, or a part of the port's name",
                              in ? "--in" : "--out");
                return CommandLine::kError;
            }
            (in ? options->input : options->output) = port;
        } else {
            std::snprintf(error, errorSize, "unknown option '%s'", word);
            return CommandLine::kError;
        }
    }
    if (help) return CommandLine::kHelp;
    return version ? CommandLine::kVersion : CommandLine::kRun;
}
