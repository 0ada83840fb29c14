// The device search: every input with every output, inputs outermost, until
// a pair answers the identification request.
#include "protocol/find_device.h"

#include <cstdio>

#include "midi/midi_link.h"
#include "protocol/reply_ledger.h"
#include "protocol/wire_protocol.h"

namespace {

constexpr std::uint8_t kMaxPorts = 10;
constexpr std::uint8_t kAttemptsPerPair = 4;
constexpr std::uint16_t kIdentifyWaitMs = 500;

// Ports are numbered from 0; the first index whose capability query fails
// ends the count.
template <typename Caps, typename Query>
std::uint8_t CountPorts(Query query) {
    Caps caps;
    std::uint8_t count = 0;
    while (count < kMaxPorts && query(count, &caps, sizeof caps) == MMSYSERR_NOERROR) ++count;
    return count;
}

// Asks the open pair for the device, a few times.
std::uint8_t ProbePair(const std::uint8_t* request, std::uint8_t expectedId) {
    for (std::uint8_t attempt = 0; attempt < kAttemptsPerPair; ++attempt) {
        if (SendSysEx(request, sizeof HANDSHAKE_BODY) == MMSYSERR_NOERROR) RequestSent();
        std::uint8_t status = 0;
        if (!AwaitAnswer(kIdentifyWaitMs, &status)) continue;
        if (status == expectedId) return kDeviceFound;
        if (status == REPLY_NEEDS_RESET) return REPLY_NEEDS_RESET;
    }
    return kNoDevice;
}

}  // namespace

std::uint8_t FindUpdateDevice(std::uint8_t expectedId) {
    const std::uint8_t inputs = CountPorts<MIDIINCAPSA>(midiInGetDevCapsA);
    const std::uint8_t outputs = CountPorts<MIDIOUTCAPSA>(midiOutGetDevCapsA);
    std::uint8_t request[sizeof HANDSHAKE_BODY];
    for (std::uint8_t i = 0; i < sizeof request; ++i) request[i] = HANDSHAKE_BODY[i];

    std::uint8_t result = kNoDevice;
    for (std::uint8_t in = 0; in < inputs && result == kNoDevice; ++in) {
        if (OpenMidiIn(in) != MMSYSERR_NOERROR) continue;
        for (std::uint8_t out = 0; out < outputs && result == kNoDevice; ++out) {
            if (OpenMidiOut(out) != MMSYSERR_NOERROR) continue;
            // Answers still owed by the previous pair are not this one's.
            NextSubject(kIdentifyWaitMs);
            result = ProbePair(request, expectedId);
            if (result == kNoDevice) CloseMidiOut();
        }
        if (result == kNoDevice) CloseMidiIn();
    }

    if (result == kNoDevice) {
        std::printf("\nFailed: Can't find the suitable device to update!\n\n");
    } else {
        std::printf("The Update Device is Open successfully:\n");
        std::printf("MIDIIN Device: %s\n", MidiInName());
        std::printf("MIDIOUT Device: %s\n", MidiOutName());
    }
    return result;
}
