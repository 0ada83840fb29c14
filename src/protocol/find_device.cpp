// The device search. Every input port listens at once while the outputs
// take turns with the identification request: an output and the input its
// device answers on make the pair. So the search costs four waits an output,
// however many inputs there are, and finds the pair that trying every input
// with every output, inputs outermost, would find.
#include "protocol/find_device.h"

#include <cstdio>

#include "console/console.h"
#include "midi/midi_link.h"
#include "midi/midi_ports.h"
#include "protocol/reply_ledger.h"
#include "protocol/wire_protocol.h"

namespace {

constexpr std::uint8_t kAttemptsPerOutput = 4;
constexpr std::uint16_t kIdentifyWaitMs = 500;

// Asks for the device on the open output, a few times. Each attempt waits
// until an input answers as the device does, every input has answered, or
// its time is up.
std::uint8_t ProbeOutput(const std::uint8_t* request, std::uint8_t expectedId, UINT* answering) {
    for (std::uint8_t attempt = 0; attempt < kAttemptsPerOutput; ++attempt) {
        if (SendSysEx(request, sizeof HANDSHAKE_BODY) == MMSYSERR_NOERROR) RequestSent();
        const DWORD start = timeGetTime();
        std::uint8_t status = 0;
        for (DWORD waited = 0; waited < kIdentifyWaitMs && AnswersOwed(); waited = timeGetTime() - start) {
            if (!AwaitAnswer(static_cast<std::uint16_t>(kIdentifyWaitMs - waited), &status, answering)) break;
            if (status == expectedId) return kDeviceFound;
            if (status == REPLY_NEEDS_RESET) return REPLY_NEEDS_RESET;
        }
    }
    return kNoDevice;
}

}  // namespace

std::uint8_t FindUpdateDevice(std::uint8_t expectedId, const PortChoice& choice, DevicePorts* found) {
    PortNames inputs;
    PortNames outputs;
    ListMidiInputs(&inputs);
    ListMidiOutputs(&outputs);
    std::uint8_t request[sizeof HANDSHAKE_BODY];
    for (std::uint8_t i = 0; i < sizeof request; ++i) request[i] = HANDSHAKE_BODY[i];

    bool listening = false;
    for (UINT in = 0; in < inputs.count; ++in) {
        if (choice.input == kAnyPort || choice.input == in) listening |= OpenMidiIn(in) == MMSYSERR_NOERROR;
    }
    std::uint8_t result = kNoDevice;
    for (UINT out = 0; out < outputs.count && listening && result == kNoDevice; ++out) {
        if (choice.output != kAnyPort && choice.output != out) continue;
        if (OpenMidiOut(out) != MMSYSERR_NOERROR) continue;
        // Answers still owed for the previous output are not this one's.
        NextSubject(kIdentifyWaitMs);
        result = ProbeOutput(request, expectedId, &found->input);
        found->output = out;
        if (result == kNoDevice) CloseMidiOut();
    }

    if (result == kNoDevice) {
        CloseMidiIn();
        std::printf("\nFailed: Can't find the suitable device to update!\n\n");
    } else {
        CloseOtherMidiIns(found->input);
        std::printf("The Update Device is Open successfully:\n");
        std::printf("MIDIIN Device: %s\n", PrintableName(MidiInName(found->input)).text);
        std::printf("MIDIOUT Device: %s\n", PrintableName(MidiOutName()).text);
    }
    return result;
}
