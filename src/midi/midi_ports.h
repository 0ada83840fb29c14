// The MIDI ports as the search numbers them: from 0, in the platform's
// order, at most ten of each kind; the first index whose capability query
// fails ends the count.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/stop_token.h"
#include "platform/winmm/winmm.h"

constexpr UINT kMaxPorts = 10;
// A port's name as listed: its whole name where the platform has one longer
// than the capability record's 31 characters.
constexpr std::size_t kPortNameSize = 256;

struct PortNames {
    UINT count = 0;
    char names[kMaxPorts][kPortNameSize] = {};
    // The answer that ended the count: MMSYSERR_NODRIVER where no MIDI
    // service can be reached at all.
    MMRESULT ended = MMSYSERR_NOERROR;
};

// Fill a list that holds none yet.
void ListMidiInputs(PortNames* ports);
void ListMidiOutputs(PortNames* ports);

// The name port `index` bears now, as a list would hold it; `capsName` is
// its capability record's.
void ListedName(bool input, UINT index, const char* capsName, char (&name)[kPortNameSize]);

// No MIDI service answered the listing. On Windows, which always lists its
// own synthesizer, no port at all means its MIDI services are missing; in
// the browser, that the machine has none.
bool NoMidiService(const PortNames& inputs, const PortNames& outputs);

// The name holds the part, letter case ignored.
bool PortNameContains(const char* name, const char* part);

enum class PortMatch { kOne, kNone, kSeveral };

// The port `wanted` names: a number from the list, or a part of exactly one
// port's name, letter case ignored.
PortMatch MatchPort(const PortNames& ports, const char* wanted, UINT* index);

// Lists the ports and hands them to `round`, which tells whether to look
// again: what it looks for (a port, the device) may not be there yet. Then
// the ports are listed again half a second later, unless the user asked
// the run to stop or `waitMs` have passed since the first listing. `pause`
// waits the half second.
template <typename Round, typename Pause>
void ListPortsUntil(std::uint32_t waitMs, const StopToken& stop, Round round, Pause pause) {
    constexpr std::uint16_t kRelistEveryMs = 500;
    for (const DWORD begun = timeGetTime();;) {
        PortNames inputs;
        PortNames outputs;
        ListMidiInputs(&inputs);
        ListMidiOutputs(&outputs);
        if (!round(inputs, outputs) || stop.Requested() || timeGetTime() - begun >= waitMs) return;
        pause(kRelistEveryMs);
    }
}
