// The device search. Every input port listens at once, and the request goes
// to every output at once: one round trip tells whether, and on which input,
// the device answers. Halves of the outputs are then asked in turn, the
// lower half first, until one output is left: the lowest whose device
// answers, the one asking one output after another would find. That output
// is asked once more, alone, after the waits for late answers the reply
// ledger keeps to, and only its answer counts.
//
// The halves are asked with a shorter wait, four times the round trip the
// device showed in the round it answered (at least 100 ms): a device that
// answered that quickly answers a half as quickly. One that answered only a
// later round (it was starting up, or its answer came late, a cycle of its
// MIDI service held back on a busy machine) is searched for the same way.
// The last output is asked alone up to three times, as each output alone
// would be, within eight requests in all: an answer held back once costs a
// wait, not every output's tries.
//
// An answer to a half that comes late, while the answers still owed are
// awaited, sends the search back into that half: it costs that wait, and
// no request more. A last output that does not answer alone is searched
// for as before: each output alone, in order, with the full waits.
//
// So no device costs four rounds of half a second, whatever the ports; a
// device costs a round trip, up to three halves (for ten outputs), and one
// wait for late answers. No output hears more than eight requests: the
// rounds, the halves and the tries alone; then at most three alone.
#include "protocol/find_device.h"

#include <algorithm>
#include <iterator>

#include "protocol/wire_protocol.h"

namespace {

constexpr std::uint8_t kRounds = 4;
constexpr std::uint16_t kShortestHalfWaitMs = 100;
constexpr std::uint8_t kRoundTripsAHalfWaits = 4;
constexpr std::uint8_t kTriesAlone = 3;
// The most requests an output hears before each is asked alone again.
constexpr std::uint8_t kMostRequests = 8;

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
Answer Ask(const Search& search, UINT first, UINT last, std::uint16_t wait, UINT* input, DWORD* roundTrip = nullptr) {
    const DWORD start = timeGetTime();
    search.reporter.Tell(event::Asking{search.outputs[first], search.outputs[last - 1],
                                       last - first == 1 ? search.names.names[search.outputs[first]] : nullptr});
    for (UINT i = first; i < last; ++i) {
        if (search.link.midi.SendSysEx(search.outputs[i], search.request, sizeof search.request) == MMSYSERR_NOERROR) {
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

// Output i alone, up to `tries` times, the answers owed about what was
// asked before settled. An answer that comes late is one to a later try:
// every try asks the same.
Answer AskAlone(const Search& search, UINT i, std::uint8_t tries, UINT* input) {
    for (std::uint8_t attempt = 0; attempt < tries && !search.link.stop.Requested(); ++attempt) {
        const Answer answer = Ask(search, i, i + 1, kIdentifyWaitMs, input);
        if (answer != Answer::kNone) return answer;
    }
    return Answer::kNone;
}

// Each output alone, in order, a few times; but `done`, which has been.
Answer AskEachAlone(const Search& search, UINT done, UINT* input, UINT* output) {
    for (UINT i = 0; i < search.count; ++i) {
        if (i == done) continue;
        search.link.ledger.NextSubject(kIdentifyWaitMs);
        *output = search.outputs[i];
        const Answer answer = AskAlone(search, i, kTriesAlone, input);
        if (answer != Answer::kNone) return answer;
    }
    return Answer::kNone;
}

Answer Locate(const Search& search, UINT* input, UINT* output) {
    // The requests each of the search's outputs has heard.
    std::uint8_t heard[kMaxPorts] = {};
    const auto ask = [&](UINT first, UINT last, std::uint16_t wait, UINT* from, DWORD* roundTrip = nullptr) {
        for (UINT i = first; i < last; ++i) ++heard[i];
        return Ask(search, first, last, wait, from, roundTrip);
    };
    Answer answer = Answer::kNone;
    DWORD roundTrip = 0;
    for (std::uint8_t rounds = 0; answer == Answer::kNone && rounds < kRounds && !search.link.stop.Requested();
         ++rounds) {
        answer = ask(0, search.count, kIdentifyWaitMs, input, &roundTrip);
    }
    *output = search.outputs[0];
    if (answer == Answer::kNone || search.count == 1) return answer;
    // (With a single output the rounds have asked it alone.)
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
        silentLower = ask(first, middle, wait, &ignored) == Answer::kNone;
        if (silentLower) {
            lowerFirst = first;
            first = middle;
        } else {
            last = middle;
        }
    }
    *output = search.outputs[first];
    const std::uint8_t tries = static_cast<std::uint8_t>(std::min<int>(kTriesAlone, kMostRequests - heard[first]));
    answer = AskAlone(search, first, tries, input);
    return answer != Answer::kNone ? answer : AskEachAlone(search, first, input, output);
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
    if (NoMidiService(inputs, outputs)) reporter.Tell(event::NoMidiService{});
    for (UINT i = 0; i < kMaxPorts; ++i) {
        if (held.input[i]) reporter.Tell(event::PortHeld{true, i, inputs.names[i]});
        if (held.output[i]) reporter.Tell(event::PortHeld{false, i, outputs.names[i]});
    }
}

}  // namespace

SearchOutcome FindUpdateDevice(DeviceLink& link, std::uint8_t expectedId, const PortChoice& choice,
                               std::uint32_t waitMs, ProtocolReporter& reporter) {
    SearchOutcome outcome;
    PortNames inputs;
    PortNames outputs;
    Held held;
    Answer answer = Answer::kNone;
    link.ledger.WaitBegins(Wait::kSearch);
    const auto round = [&](const PortNames& listedInputs, const PortNames& listedOutputs) {
        inputs = listedInputs;
        outputs = listedOutputs;
        held = Held{};
        Search search = {link, reporter, expectedId, {}, {}, 0, outputs};
        std::copy(std::begin(HANDSHAKE_BODY), std::end(HANDSHAKE_BODY), search.request);
        const bool listening = OpenPorts(link, inputs, choice, &search, &held);
        answer = listening && search.count > 0 ? Locate(search, &outcome.input, &outcome.output) : Answer::kNone;
        if (answer != Answer::kNone) return false;
        // Not there yet (plugged in later, or still starting up): the ports
        // are listed and asked again a moment later.
        link.midi.CloseMidiIn();
        link.midi.CloseMidiOut();
        return true;
    };
    ListPortsUntil(waitMs, link.stop, round, [&](std::uint16_t ms) { link.ledger.Idle(ms); });
    link.ledger.WaitEnds();
    ReportTrouble(inputs, outputs, held, reporter);
    if (link.stop.Requested()) {
        outcome.ending = Ending::kStoppedInSearch;
    } else if (answer != Answer::kNone) {
        outcome.ending = answer == Answer::kFound ? std::nullopt : std::optional<Ending>(Ending::kResetRequested);
        // Told first: closing the other ports takes a while over some
        // services.
        reporter.Tell(event::DeviceFound{link.midi.MidiInName(outcome.input), link.midi.MidiOutName(outcome.output)});
    }
    if (outcome.ending == Ending::kNoDevice || outcome.ending == Ending::kStoppedInSearch) {
        link.midi.CloseMidiIn();
        link.midi.CloseMidiOut();
    } else {
        link.midi.CloseOtherMidiIns(outcome.input);
        link.midi.CloseOtherMidiOuts(outcome.output);
    }
    return outcome;
}
