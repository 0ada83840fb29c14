// The device search. Every input port listens at once, and the request goes
// to every output at once: one round trip tells whether, and on which input,
// the device answers. Halves of the outputs are then asked in turn, the
// lower half first, until one output is left: the lowest whose device
// answers, the one asking one output after another would find. That output
// is asked once more, alone, after the waits for late answers the reply
// ledger keeps to, and only its answer counts.
//
// The halves are asked with a shorter wait, four times the round trip the
// device showed (at least 100 ms): a device that answered the first round
// that quickly answers a half as quickly. A device that did not (it answered
// a later round, or came late), and a last output that does not answer
// alone, are searched for as before: each output alone, in order, with the
// full waits.
//
// An answer to a half that comes late, while the answers still owed are
// awaited, sends the search back into that half: it costs that wait, and
// no request more.
//
// So no device costs four rounds of half a second, whatever the ports; a
// device costs a round trip, up to three halves (for ten outputs), and one
// wait for late answers. No output hears more than eight requests: four
// rounds, or one round, three halves and one alone; then at most three alone.
#include "protocol/find_device.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "console/console.h"
#include "midi/midi_link.h"
#include "platform/host.h"
#include "protocol/reply_ledger.h"
#include "protocol/wire_protocol.h"

namespace {

constexpr std::uint8_t kRounds = 4;
constexpr std::uint16_t kIdentifyWaitMs = 500;
constexpr std::uint16_t kShortestHalfWaitMs = 100;
constexpr std::uint8_t kRoundTripsAHalfWaits = 4;
constexpr std::uint8_t kTriesAlone = 3;

struct Search {
    std::uint8_t expectedId;
    std::uint8_t request[sizeof HANDSHAKE_BODY];
    UINT outputs[kMaxPorts];  // the open ones, in order
    UINT count;
    const PortNames* names;
};

// Says on the console which outputs are asked, when the search takes long.
void ShowAsked(const Search& search, UINT first, UINT last) {
    // A port's name is at most 31 characters, each escaped in 4 at most.
    char what[200];
    if (last - first == 1) {
        std::snprintf(what, sizeof what, "Looking for the device on MIDI output %u (%.124s)", search.outputs[first],
                      PrintableName(search.names->names[search.outputs[first]]).text);
    } else {
        std::snprintf(what, sizeof what, "Looking for the device on MIDI outputs %u to %u", search.outputs[first],
                      search.outputs[last - 1]);
    }
    WaitFor(what);
}

// One request to each of the outputs [first, last), back to back, then a
// wait of up to `wait` for the device's answer on any input. Returns
// kNoDevice, kDeviceFound or REPLY_NEEDS_RESET, and the input the answer
// came on and how long it took.
std::uint8_t Ask(const Search& search, UINT first, UINT last, std::uint16_t wait, UINT* input,
                 DWORD* roundTrip = nullptr) {
    ShowAsked(search, first, last);
    const DWORD start = timeGetTime();
    for (UINT i = first; i < last; ++i) {
        if (SendSysEx(search.outputs[i], search.request, sizeof search.request) == MMSYSERR_NOERROR) RequestSent();
    }
    std::uint8_t status = 0;
    for (DWORD waited = 0; waited < wait && AnswersOwed(); waited = timeGetTime() - start) {
        if (!AwaitAnswer(static_cast<std::uint16_t>(wait - waited), &status, input)) break;
        if (status != search.expectedId && status != REPLY_NEEDS_RESET) continue;
        if (roundTrip != nullptr) *roundTrip = timeGetTime() - start;
        return status == REPLY_NEEDS_RESET ? REPLY_NEEDS_RESET : kDeviceFound;
    }
    return kNoDevice;
}

// Each output alone, in order, a few times.
std::uint8_t AskEachAlone(const Search& search, DevicePorts* found) {
    for (UINT i = 0; i < search.count; ++i) {
        NextSubject(kIdentifyWaitMs);
        for (std::uint8_t attempt = 0; attempt < kTriesAlone && !StopRequested(); ++attempt) {
            const std::uint8_t result = Ask(search, i, i + 1, kIdentifyWaitMs, &found->input);
            found->output = search.outputs[i];
            if (result != kNoDevice) return result;
        }
    }
    return kNoDevice;
}

std::uint8_t Locate(const Search& search, DevicePorts* found) {
    std::uint8_t result = kNoDevice;
    DWORD roundTrip = 0;
    std::uint8_t rounds = 0;
    while (result == kNoDevice && rounds < kRounds && !StopRequested()) {
        result = Ask(search, 0, search.count, kIdentifyWaitMs, &found->input, &roundTrip);
        ++rounds;
    }
    found->output = search.outputs[0];
    if (result == kNoDevice || search.count == 1) return result;
    if (rounds == 1) {
        const std::uint16_t wait = static_cast<std::uint16_t>(
            std::clamp<DWORD>(kRoundTripsAHalfWaits * roundTrip, kShortestHalfWaitMs, kIdentifyWaitMs));
        UINT first = 0;
        UINT last = search.count;
        UINT ignored = 0;
        // The lower half of the last step, when it did not answer in time.
        bool silentLower = false;
        UINT lowerFirst = 0;
        for (;;) {
            const bool alone = last - first == 1;
            const std::bitset<128> late = NextSubject(alone ? kIdentifyWaitMs : wait);
            // An answer that comes while the answers owed are awaited still
            // tells that the device is there: the search goes back to it.
            if (silentLower && (late[search.expectedId] || late[REPLY_NEEDS_RESET])) {
                last = first;
                first = lowerFirst;
                silentLower = false;
                continue;
            }
            if (alone) break;
            const UINT middle = first + (last - first) / 2;
            silentLower = Ask(search, first, middle, wait, &ignored) == kNoDevice;
            if (silentLower) {
                lowerFirst = first;
                first = middle;
            } else {
                last = middle;
            }
        }
        result = Ask(search, first, last, kIdentifyWaitMs, &found->input);
        found->output = search.outputs[first];
        if (result != kNoDevice) return result;
    }
    return AskEachAlone(search, found);
}

// Ports another program holds, and a MIDI service that cannot be reached,
// would otherwise look like a device that is not there.
void ReportTrouble(const PortNames& inputs, const PortNames& outputs, const bool (&heldIn)[kMaxPorts],
                   const bool (&heldOut)[kMaxPorts]) {
    if (NoMidiService(inputs, outputs)) {
        std::printf("%s\n", kNoMidiServiceAdvice);
    }
    for (UINT i = 0; i < kMaxPorts; ++i) {
        const char* kinds[] = {"input", "output"};
        const PortNames* lists[] = {&inputs, &outputs};
        const bool held[] = {heldIn[i], heldOut[i]};
        for (int kind = 0; kind < 2; ++kind) {
            if (!held[kind]) continue;
            std::printf("MIDI %s %u (%s) is in use by another program: close that program, then try again.\n",
                        kinds[kind], i, PrintableName(lists[kind]->names[i]).text);
        }
    }
}

}  // namespace

std::uint8_t FindUpdateDevice(std::uint8_t expectedId, const PortChoice& choice, DevicePorts* found) {
    PortNames inputs;
    PortNames outputs;
    ListMidiInputs(&inputs);
    ListMidiOutputs(&outputs);
    Search search = {expectedId, {}, {}, 0, &outputs};
    std::copy(std::begin(HANDSHAKE_BODY), std::end(HANDSHAKE_BODY), search.request);

    bool heldIn[kMaxPorts] = {};
    bool heldOut[kMaxPorts] = {};
    bool listening = false;
    for (UINT in = 0; in < inputs.count; ++in) {
        if (choice.input != kAnyPort && choice.input != in) continue;
        const MMRESULT opened = OpenMidiIn(in);
        listening |= opened == MMSYSERR_NOERROR;
        heldIn[in] = opened == MMSYSERR_ALLOCATED;
    }
    for (UINT out = 0; out < outputs.count; ++out) {
        if (choice.output != kAnyPort && choice.output != out) continue;
        const MMRESULT opened = OpenMidiOut(out);
        if (opened == MMSYSERR_NOERROR) search.outputs[search.count++] = out;
        heldOut[out] = opened == MMSYSERR_ALLOCATED;
    }

    BeginWait("Looking for the device");
    const std::uint8_t result = listening && search.count > 0 ? Locate(search, found) : kNoDevice;
    EndWait();
    ReportTrouble(inputs, outputs, heldIn, heldOut);
    // Told first: closing the other ports takes a while over some services.
    const bool stopped = StopRequested();
    if (stopped) {
        std::printf("\nInterrupted while looking for the device: no record was sent.\n\n");
    } else if (result == kNoDevice) {
        std::printf("\nFailed: Can't find the suitable device to update!\n\n");
    } else {
        std::printf("The Update Device is Open successfully:\n");
        std::printf("MIDIIN Device: %s\n", PrintableName(MidiInName(found->input)).text);
        std::printf("MIDIOUT Device: %s\n", PrintableName(MidiOutName(found->output)).text);
    }
    if (result == kNoDevice || stopped) {
        CloseMidiIn();
        CloseMidiOut();
        return stopped ? kSearchInterrupted : kNoDevice;
    }
    CloseOtherMidiIns(found->input);
    CloseOtherMidiOuts(found->output);
    return result;
}
