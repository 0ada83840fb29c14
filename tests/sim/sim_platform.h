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

#include "platform/winmm.h"

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

// Sees every message sent on an output the device is connected to.
using DeviceModel = std::function<void(const std::vector<std::uint8_t>& message)>;
// Chooses the result of the n-th send (counted from 0) of the whole run.
using SendResult = std::function<MMRESULT(std::size_t sendNumber)>;

// A fresh platform: no ports, no device, time 0, nothing recorded.
void Reset();
void AddInput(const Port& port);
void AddOutput(const Port& port);
// The device hears the given outputs and answers on the given inputs.
void ConnectDevice(const std::set<UINT>& outputsItHears, const std::set<UINT>& inputsItAnswers);
void SetDeviceModel(DeviceModel model);
// Every message sent on the output arrives at once on the input, as on a
// port that passes everything through (ALSA's Midi Through).
void ConnectEcho(UINT output, UINT input);
// Delivers bytes to the inputs the device answers on, after the delay.
void ScheduleArrival(std::uint32_t delayMs, const std::vector<std::uint8_t>& bytes,
                     Arrival kind = Arrival::kComplete);
void SetSendResult(SendResult result);
// Every send's unprepare answers MIDIERR_STILLPLAYING this many times first.
void SetStillPlayingRounds(unsigned rounds);

// Runs the action whenever the platform is called as `call` ("name" or
// "name index", as Calls() shows it), before the call takes effect: a way to
// make something happen between two steps of the program.
void OnCall(const std::string& call, std::function<void()> action);

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
bool InputHasQueuedBuffer(UINT index);

}  // namespace sim
