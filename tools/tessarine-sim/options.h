// The simulator's command line.
#pragma once

#include <cstdint>
#include <string>

#include "device/target_device.h"

struct SimOptions {
    // --make-image: write an image file and stop.
    std::string makeImagePath;
    std::size_t imageSize = 0;
    std::size_t recordData = 256;

    // Otherwise: play the device.
    std::string clientName = "Tessarine";
    DeviceSettings device;
    std::uint32_t replyDelayMs = 1;
    std::string acceptedPath;
    std::uint32_t timeoutSeconds = 0;  // 0: until interrupted
    // --wire: bytes a second the device takes, behind a card's buffer (0:
    // as fast as they come, whole messages at once).
    std::uint32_t wireBytesPerSecond = 0;
    std::string rawMidiPath;  // --rawmidi: a card's raw MIDI device instead of ports
    bool stdio = false;       // --stdio: standard input and output instead of ports
    bool verbose = false;
};

enum class ParseOutcome { kRun, kHelp, kVersion, kError };

extern const char kUsage[];

// Fills options from the command line; on kError, error says what is wrong.
ParseOutcome ParseOptions(int argc, char** argv, SimOptions* options, std::string* error);
