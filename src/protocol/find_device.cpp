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
#include <iterator>

#include "platform/host.h"
#include "protocol/wire_protocol.h"

namespace {

constexpr std::uint8_t kRounds = 4;
constexpr std::uint16_t kIdentifyWaitMs = 500;
constexpr std::uint16_t kShortestHalfWaitMs = 100;
constexpr std::uint8_t kRoundTripsAHalfWaits = 4;
constexpr std::uint8_t kTriesAlone = 3;

struct Search {
    DeviceLink& link;
    ProtocolReporter& reporter;
    std::uint8_t expectedId;
    std::uint8_t request[sizeof HANDSHAKE_BODY];
    UINT outputs[kMaxPorts];  // the open ones, in order
    UINT count;
    const PortNames& names;
};

enum class Answer { kNone, kFound, kResetRequested };

bool Identifies(const Search& search, std::uint8_t status) {
    return status == search.expectedId || status == REPLY_NEEDS_RESET;
}

// One request to each of the outputs [first, last), back to back, then a
// wait of up to `wait` for the device's answer on any input; the input the
// answer came on and how long it took.
Answer Ask(const Search& search, UINT first, UINT last, std::uint16_t wait, UINT* input,
           DWORD* roundTrip = nullptr) {
    const DWORD start = timeGetTime();
    search.reporter.Asking(search.outputs[first], search.outputs[last - 1],
                           last - first == 1 ? search.names.names[search.outputs[first]] : nullptr, start);
    for (UINT i = first; i < last; ++i) {
        if (search.link.midi.SendSysEx(search.outputs[i], search.request, sizeof search.request) ==
            MMSYSERR_NOERROR) {
            search.link.ledger.RequestSent();
        }
    }
    std::uint8_t status = 0;
    for (DWORD waited = 0; waited < wait && search.link.ledger.AnswersOwed(); waited = timeGetTime() - start) {
        if (!search.link.ledger.AwaitAnswer(static_cast<std::uint16_t>(wait - waited), &status, input)) break;
        if (!Identifies(search, status)) continue;
        if (roundTrip != nullptr) *roundTrip = timeGetTime() - start;
        return status == REPLY_NEEDS_RESET ? Answer::kResetRequested : Answer::kFound;
    }
    return Answer::kNone;
}

// Each output alone, in order, a few times.
Answer AskEachAlone(const Search& search, UINT* input, UINT* output) {
    for (UINT i = 0; i < search.count; ++i) {
        search.link.ledger.NextSubject(kIdentifyWaitMs);
        for (std::uint8_t attempt = 0; attempt < kTriesAlone && !StopRequested(); ++attempt) {
            const Answer answer = Ask(search, i, i + 1, kIdentifyWaitMs, input);
            *output = search.outputs[i];
            if (answer != Answer::kNone) return answer;
        }
    }
    return Answer::kNone;
}

Answer Locate(const Search& search, UINT* input, UINT* output) {
    Answer answer = Answer::kNone;
    DWORD roundTrip = 0;
    std::uint8_t rounds = 0;
    while (answer == Answer::kNone && rounds < kRounds && !StopRequested()) {
        answer = Ask(search, 0, search.count, kIdentifyWaitMs, input, &roundTrip);
        ++rounds;
    }
    *output = search.outputs[0];
    if (answer == Answer::kNone || search.count == 1) return answer;
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
            const std::bitset<128> late = search.link.ledger.NextSubject(alone ? kIdentifyWaitMs : wait);
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
            silentLower = Ask(search, first, middle, wait, &ignored) == Answer::kNone;
            if (silentLower) {
                lowerFirst = first;
                first = middle;
            } else {
                last = middle;
            }
        }
        answer = Ask(search, first, last, kIdentifyWaitMs, input);
        *output = search.outputs[first];
        if (answer != Answer::kNone) return answer;
    }
    return AskEachAlone(search, input, output);
}

// Ports another program holds, by kind and number.
struct Held {
    bool input[kMaxPorts] = {};
    bool output[kMaxPorts] = {};
};

// The name the chosen port must still bear, if it was chosen by one.
const char* ChosenName(UINT chosen, UINT index, const char* name) {
    return chosen == index && name[0] != '\0' ? name : nullptr;
}

// Opens the ports of the choice; whether any input listens.
bool OpenPorts(DeviceLink& link, const PortNames& inputs, const PortChoice& choice, Search* search, Held* held) {
    bool listening = false;
    for (UINT in = 0; in < inputs.count; ++in) {
        if (choice.input != kAnyPort && choice.input != in) continue;
        const MMRESULT opened = link.midi.OpenMidiIn(in, ChosenName(choice.input, in, choice.inputName));
        listening |= opened == MMSYSERR_NOERROR;
        held->input[in] = opened == MMSYSERR_ALLOCATED;
    }
    for (UINT out = 0; out < search->names.count; ++out) {
        if (choice.output != kAnyPort && choice.output != out) continue;
        const MMRESULT opened = link.midi.OpenMidiOut(out, ChosenName(choice.output, out, choice.outputName));
        if (opened == MMSYSERR_NOERROR) search->outputs[search->count++] = out;
        held->output[out] = opened == MMSYSERR_ALLOCATED;
    }
    return listening;
}

// Ports another program holds, and a MIDI service that cannot be reached,
// would otherwise look like a device that is not there.
void ReportTrouble(const PortNames& inputs, const PortNames& outputs, const Held& held, ProtocolReporter& reporter) {
    if (NoMidiService(inputs, outputs)) reporter.NoMidiService();
    for (UINT i = 0; i < kMaxPorts; ++i) {
        if (held.input[i]) reporter.PortHeld(true, i, inputs.names[i]);
        if (held.output[i]) reporter.PortHeld(false, i, outputs.names[i]);
    }
}

}  // namespace

SearchOutcome FindUpdateDevice(DeviceLink& link, std::uint8_t expectedId, const PortChoice& choice,
                               ProtocolReporter& reporter) {
    PortNames inputs;
    PortNames outputs;
    ListMidiInputs(&inputs);
    ListMidiOutputs(&outputs);
    Search search = {link, reporter, expectedId, {}, {}, 0, outputs};
    std::copy(std::begin(HANDSHAKE_BODY), std::end(HANDSHAKE_BODY), search.request);
    Held held;
    const bool listening = OpenPorts(link, inputs, choice, &search, &held);

    SearchOutcome outcome;
    reporter.WaitBegins(ProtocolReporter::Wait::kSearch, timeGetTime());
    const Answer answer = listening && search.count > 0 ? Locate(search, &outcome.input, &outcome.output)
                                                        : Answer::kNone;
    reporter.WaitEnds();
    ReportTrouble(inputs, outputs, held, reporter);
    if (StopRequested()) {
        outcome.ending = SearchOutcome::Ending::kStopped;
    } else if (answer != Answer::kNone) {
        outcome.ending = answer == Answer::kFound ? SearchOutcome::Ending::kFound
                                                  : SearchOutcome::Ending::kResetRequested;
        // Told first: closing the other ports takes a while over some
        // services.
        reporter.DeviceFound(link.midi.MidiInName(outcome.input), link.midi.MidiOutName(outcome.output));
    }
    if (outcome.ending == SearchOutcome::Ending::kNoDevice || outcome.ending == SearchOutcome::Ending::kStopped) {
        link.midi.CloseMidiIn();
        link.midi.CloseMidiOut();
    } else {
        link.midi.CloseOtherMidiIns(outcome.input);
        link.midi.CloseOtherMidiOuts(outcome.output);
    }
    return outcome;
}
