// One whole update run, from the banner to the final key press, and the
// listing of the ports.
#pragma once

#include "driver/command_line.h"
#include "driver/reporter.h"
#include "protocol/find_device.h"

// The run the options ask for, on the ports of the choice, told to the
// reporter; returns its exit status. Without --batch it ends with the final
// wait, unless the user asked it to stop.
int RunUpdate(const RunOptions& options, const PortChoice& ports, Reporter& reporter);

// Finds the ports --in and --out name; kExitUpdated, or else (having said
// why, on standard error) kExitNoDevice when one names no port, kExitUsage
// when one names several.
int ChoosePorts(const RunOptions& options, PortChoice* ports);

// --list: the MIDI ports as the search numbers them.
int ListMidiPorts();
