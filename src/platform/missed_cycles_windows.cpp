// Windows' own MIDI services run in no cycles that could be missed.
#include "platform/winmm.h"

DWORD MidiServiceMissedCycles() { return 0; }
