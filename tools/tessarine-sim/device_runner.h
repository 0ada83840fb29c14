// Playing the device on virtual MIDI ports.
#pragma once

#include "options.h"

// Runs until interrupted (SIGINT, SIGTERM) or the timeout; returns the exit
// status: 0, 3 when no MIDI service can be opened, 1 for other failures.
int RunDevice(const SimOptions& options);
