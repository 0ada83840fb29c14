// What the platform tells beyond the Windows calls themselves: on Windows,
// nothing more. Its MIDI services run in no cycles that could be missed, and
// a port's name is its capability record's.
#include "platform/winmm/winmm.h"

DWORD MidiServiceMissedCycles() { return 0; }

bool MidiPortWholeName(bool, UINT, char*, std::size_t) { return false; }
