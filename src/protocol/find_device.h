// The search for the target device among the MIDI port pairs.
#pragma once

#include <cstdint>
#include <optional>

#include "base/ending.h"
#include "midi/midi_ports.h"
#include "protocol/device_link.h"
#include "protocol/progress.h"

// The ports the search may use: every one, or the one the user chose, as it
// was listed (it must still bear that name when it is opened).
constexpr UINT kAnyPort = ~0u;
struct PortChoice {
    UINT input = kAnyPort;
    UINT output = kAnyPort;
    char inputName[kPortNameSize] = "";
    char outputName[kPortNameSize] = "";
};

struct SearchOutcome {
    // How the run ends here (kNoDevice, kResetRequested, kStoppedInSearch);
    // none when the device answered with the expected byte.
    std::optional<Ending> ending = Ending::kNoDevice;
    // The pair the device answered on: the link keeps it open, and closes
    // the others.
    UINT input = 0;
    UINT output = 0;
};

// Asks the ports of the choice for the device with the identification
// request, until the user asks the run to stop; with a wait, lists the ports
// and asks them again until the device answers or `waitMs` have passed.
// Tells the reporter what keeps ports from being used, the search's waits,
// and the pair found.
SearchOutcome FindUpdateDevice(DeviceLink& link, std::uint8_t expectedId, const PortChoice& choice,
                               std::uint32_t waitMs, ProtocolReporter& reporter);
