#include "options.h"

#include <getopt.h>

#include <cstdlib>

const char kUsage[] =
    "Usage: tessarine-sim [options]\n"
    "       tessarine-sim --make-image FILE --size N [--record-size R]\n"
    "\n"
    "Plays the Corvilent Tessarine device on two virtual MIDI ports ('device in'\n"
    "and 'device out') of the ALSA sequencer, or of a running JACK server, until\n"
    "it is interrupted.\n"
    "\n"
    "  --name NAME            the MIDI client's name (default Tessarine)\n"
    "  --id HEX               answer identification requests with HEX (default 3D)\n"
    "  --restart-after N      answer 77 (restarting) to the record that brings the\n"
    "                         accepted bytes to N\n"
    "  --fault WHICH:TRY:WHAT answer otherwise: WHICH is a record number (from 0),\n"
    "                         a range of them (2-5), '*' for every record, or 'id'\n"
    "                         for identification requests; TRY the try (from 0),\n"
    "                         a range, or '*'; WHAT is 'silence', 'status=HEX',\n"
    "                         'busy=MS' (the usual answer, after working MS on a\n"
    "                         request that finds it idle; what arrives meanwhile\n"
    "                         waits its turn), 'lone-byte' (F0 alone), 'cut-short'\n"
    "                         (no F7) or 'empty' (F0 F7). Repeatable; the first\n"
    "                         that covers a request answers it.\n"
    "  --store-time MS        take MS to store every record, resent ones included\n"
    "                         (default 0); what arrives meanwhile waits its turn\n"
    "  --reply-delay MS       answer MS after being done with a request (default 1)\n"
    "  --wire BYTES           be a device behind a 5-pin MIDI wire: present the\n"
    "                         ports as a sound card's, and take BYTES a second\n"
    "                         (3125 at 31250 baud) through a card's buffer of\n"
    "                         4096 bytes, which drops what does not fit\n"
    "  --rawmidi DEVICE       read and write a card's raw MIDI device (Linux:\n"
    "                         /dev/snd/midiCxDy, a virtual one of snd-virmidi)\n"
    "                         instead of ports of its own; with --wire, read it\n"
    "                         at that pace\n"
    "  --stdio                read the host's messages from standard input and\n"
    "                         write the answers to standard output, a message a\n"
    "                         line in hexadecimal (F0 ... F7), instead of ports\n"
    "  --accepted FILE        write the bytes of the accepted records to FILE\n"
    "  --timeout SECONDS      stop by itself after SECONDS\n"
    "  --verbose              log every message received, in hex, on standard error\n"
    "  --make-image FILE      write a valid image of --size N bytes (4 to 65535) in\n"
    "                         records of --record-size R data bytes (default 256)\n"
    "                         to FILE, as hexadecimal text, and stop\n"
    "  --help                 show this text\n"
    "  --version              show the program's name, version and licence\n"
    "\n"
    "Exit status: 0 after a normal stop, 2 for a bad command line, 3 when no MIDI\n"
    "service can be opened, 1 for any other failure.\n";

namespace {

bool ParseNumber(const char* text, int base, unsigned long max, unsigned long* value) {
    if (*text == '\0' || *text == '-' || *text == '+') return false;
    char* end = nullptr;
    *value = std::strtoul(text, &end, base);
    return *end == '\0' && *value <= max;
}

enum Option {
    kName = 1,
    kId,
    kRestartAfter,
    kFault,
    kStoreTime,
    kReplyDelay,
    kAccepted,
    kTimeout,
    kVerbose,
    kMakeImage,
    kSize,
    kRecordSize,
    kHelp,
    kWire,
    kRawMidi,
    kStdio,
    kVersion
};

const option kOptions[] = {
    {"name", required_argument, nullptr, kName},
    {"id", required_argument, nullptr, kId},
    {"restart-after", required_argument, nullptr, kRestartAfter},
    {"fault", required_argument, nullptr, kFault},
    {"store-time", required_argument, nullptr, kStoreTime},
    {"reply-delay", required_argument, nullptr, kReplyDelay},
    {"accepted", required_argument, nullptr, kAccepted},
    {"timeout", required_argument, nullptr, kTimeout},
    {"verbose", no_argument, nullptr, kVerbose},
    {"make-image", required_argument, nullptr, kMakeImage},
    {"size", required_argument, nullptr, kSize},
    {"record-size", required_argument, nullptr, kRecordSize},
    {"help", no_argument, nullptr, kHelp},
    {"wire", required_argument, nullptr, kWire},
    {"rawmidi", required_argument, nullptr, kRawMidi},
    {"stdio", no_argument, nullptr, kStdio},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

// Takes one option's value; false when it is not one the option takes.
bool Take(int option, const char* value, SimOptions* options, bool* sizeGiven) {
    unsigned long number = 0;
    switch (option) {
        case kName: options->clientName = value; return *value != '\0';
        case kId:
            if (!ParseNumber(value, 16, 0x7F, &number)) return false;
            options->device.identificationAnswer = static_cast<std::uint8_t>(number);
            return true;
        case kRestartAfter:
            if (!ParseNumber(value, 10, 65535, &number) || number == 0) return false;
            options->device.restartAfterBytes = number;
            return true;
        case kFault: options->device.faults.emplace_back(); return ParseFault(value, &options->device.faults.back());
        case kStoreTime:
            if (!ParseNumber(value, 10, 600000, &number)) return false;
            options->device.storeMs = static_cast<std::uint32_t>(number);
            return true;
        case kReplyDelay:
            if (!ParseNumber(value, 10, 600000, &number)) return false;
            options->replyDelayMs = static_cast<std::uint32_t>(number);
            return true;
        case kAccepted: options->acceptedPath = value; return true;
        case kTimeout:
            if (!ParseNumber(value, 10, 86400, &number)) return false;
            options->timeoutSeconds = static_cast<std::uint32_t>(number);
            return true;
        case kWire:
            if (!ParseNumber(value, 10, 1000000, &number) || number == 0) return false;
            options->wireBytesPerSecond = static_cast<std::uint32_t>(number);
            return true;
        case kRawMidi: options->rawMidiPath = value; return *value != '\0';
        case kMakeImage: options->makeImagePath = value; return true;
        case kSize:
            if (!ParseNumber(value, 10, 65535, &number) || number < 4) return false;
            options->imageSize = number;
            *sizeGiven = true;
            return true;
        case kRecordSize:
            if (!ParseNumber(value, 10, 0xFFFB, &number)) return false;
            options->recordData = number;
            return true;
        default: return false;
    }
}

}  // namespace

ParseOutcome ParseOptions(int argc, char** argv, SimOptions* options, std::string* error) {
    bool sizeGiven = false;
    opterr = 0;
    optind = 1;
    for (int option; (option = getopt_long(argc, argv, "", kOptions, nullptr)) != -1;) {
        if (option == kHelp) return ParseOutcome::kHelp;
        if (option == kVersion) return ParseOutcome::kVersion;
        if (option == kVerbose || option == kStdio) {
            (option == kVerbose ? options->verbose : options->stdio) = true;
        } else if (option == '?') {
            *error = std::string(optopt != 0 ? "missing value for " : "unknown option: ") + argv[optind - 1];
            return ParseOutcome::kError;
        } else if (!Take(option, optarg, options, &sizeGiven)) {
            *error = std::string("bad value for --") + kOptions[option - 1].name + ": " + optarg;
            return ParseOutcome::kError;
        }
    }
    if (optind < argc) {
        *error = std::string("unexpected argument: ") + argv[optind];
        return ParseOutcome::kError;
    }
    if (!options->makeImagePath.empty() && !sizeGiven) {
        *error = "--make-image needs --size";
        return ParseOutcome::kError;
    }
    return ParseOutcome::kRun;
}
