// What the platform tells beyond the Windows calls themselves: on Windows,
// little more. Its MIDI services run in no cycles that could be missed, a
// port's name is its capability record's, and its drivers hold a long
// message as still playing until the wire has taken it.
#include "platform/winmm/winmm.h"

DWORD MidiServiceMissedCycles() { return 0; }

const char* MidiServiceName() { return "Windows MIDI"; }

bool MidiPortWholeName(bool, UINT, char*, std::size_t) { return false; }

LinkPace MidiOutLinkPace(HMIDIOUT) { return LinkPace::kDriver; }

void MidiOutKeepCablePace(HMIDIOUT) {}
