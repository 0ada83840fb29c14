// A simulated MIDI platform for tests: the same Windows Multimedia MIDI
// subset the program calls, in process, on a virtual clock. Sleeps advance
// the clock and deliver, in time order, what the simulated device scheduled
// up to then, so long waits take no real time and always run the same way.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "device/target_device.h"
#include "platform/winmm/winmm.h"

namespace sim {

struct Port {
    std::string name;
    MMRESULT capsResult = MMSYSERR_NOERROR;
    MMRESULT openResult = MMSYSERR_NOERROR;
    MMRESULT startResult = MMSYSERR_NOERROR;  // inputs only
    LinkPace pace = LinkPace::kProgram;       // outputs only
};

enum class Arrival {
    kComplete,    // a whole System Exclusive message
    kIncomplete,  // cut short: returned as MIM_LONGERROR
    kShort,       // a short message, up to three bytes
};

struct SentMessage {
    std::uint64_t timeMs;
    UINT output;
    Bytes bytes;
};

// A fresh platform: no ports, no device, time 0, nothing recorded.
void Reset();
void AddInput(const Port& port);
void AddOutput(const Port& port);
// From now on the device hears every message sent on the outputs; its
// answers arrive on the inputs `delayMs` after it gives them. `seen` sees
// each answer and the time the request came.
void Attach(TargetDevice* device, const std::set<UINT>& outputs, const std::set<UINT>& inputs,
            std::uint32_t delayMs = 1,
            const std::function<void(std::uint64_t nowMs, const TimedResponse& answer)>& seen = {});
// Delivers bytes on the inputs, after the delay.
void ScheduleArrival(std::uint32_t delayMs, const std::set<UINT>& inputs, const Bytes& bytes,
                     Arrival kind = Arrival::kComplete);
// Chooses the result of the n-th send (counted from 0) of the whole run.
void SetSendResult(std::function<MMRESULT(std::size_t sendNumber)> result);
// The platform holds every message sent this long (UINT32_MAX: for ever),
// from the given send on: until then, taking the message back answers
// MIDIERR_STILLPLAYING.
void HoldEveryMessage(std::uint32_t milliseconds, std::size_t fromSend = 0);
// The pace the output's messages go at, as the platform tells it.
void SetOutputPace(UINT output, LinkPace pace);
// The MIDI service reports a missed cycle (a JACK server's xrun) once the
// given send has been made.
void MissCycleAtSend(std::size_t sendNumber);
// Sleeps sleep for real as well (for measuring the program's own pacing).
void SetRealTime(bool realTime);

std::uint64_t NowMs();
const std::vector<SentMessage>& Sent();
// Every platform call but the sleeps, in order, as "name" or "name index".
const std::vector<std::string>& Calls();
std::size_t CountCalls(const std::string& call);
bool InputIsOpen(UINT index);
bool OutputIsOpen(UINT index);

}  // namespace sim
