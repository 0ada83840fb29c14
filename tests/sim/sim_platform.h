// A simulated MIDI platform for tests: the same Windows Multimedia MIDI
// subset the program calls, in process, on a virtual clock. Sleep advances
// the clock and delivers, in time order, what the simulated device scheduled
// up to then, so long waits take no real time and always run the same way.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/winmm/winmm.h"

namespace sim {

struct Port {
    std::string name;
    MMRESULT capsResult = MMSYSERR_NOERROR;
    MMRESULT openResult = MMSYSERR_NOERROR;
    MMRESULT startResult = MMSYSERR_NOERROR;  // inputs only
};

enum class Arrival {
    kComplete,    // a whole System Exclusive message
    kIncomplete,  // cut short: returned as MIM_LONGERROR
    kShort,       // a short message, up to three bytes
};

struct SentMessage {
    std::uint64_t timeMs;
    UINT output;
    std::vector<std::uint8_t> bytes;
};

// Sees every message sent on an output a device hears.
using DeviceModel = std::function<void(const std::vector<std::uint8_t>& message)>;
// Chooses the result of the n-th send (counted from 0) of the whole run.
using SendResult = std::function<MMRESULT(std::size_t sendNumber)>;

// A fresh platform: no ports, no device, time 0, nothing recorded.
void Reset();
void AddInput(const Port& port);
void AddOutput(const Port& port);
// A device that hears every message sent on the outputs; there may be
// several.
void ConnectDevice(const std::set<UINT>& outputs, DeviceModel model);
// Every message sent on the output arrives at once on the input, as on a
// port that passes everything through (ALSA's Midi Through).
void ConnectEcho(UINT output, UINT input);
// Delivers bytes on the inputs, after the delay.
void ScheduleArrival(std::uint32_t delayMs, const std::set<UINT>& inputs, const std::vector<std::uint8_t>& bytes,
                     Arrival kind = Arrival::kComplete);
void SetSendResult(SendResult result);
// The platform holds every message sent this long (UINT32_MAX: for ever),
// from the given send on (counted from 0): until then, taking the message
// back answers MIDIERR_STILLPLAYING.
void HoldEveryMessage(std::uint32_t milliseconds, std::size_t fromSend = 0);

// The MIDI service reports a missed cycle (a JACK server's xrun) once the
// given send (counted from 0) has been made.
void MissCycleAtSend(std::size_t sendNumber);

// Sleep sleeps for real as well (for measuring the program's own pacing);
// the virtual clock still says when what arrives.
void SetRealTime(bool realTime);

std::uint64_t NowMs();
const std::vector<SentMessage>& Sent();
// Every platform call but Sleep, in order, as "name" or "name index".
const std::vector<std::string>& Calls();
std::size_t CountCalls(const std::string& call);
bool InputIsOpen(UINT index);
bool OutputIsOpen(UINT index);

}  // namespace sim
