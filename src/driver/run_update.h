// One whole update run, from the banner to the final key press, and the
// listing of the ports.
#pragma once

#include "driver/command_line.h"
#include "protocol/find_device.h"

// Exit statuses. Without --batch a run ends 0 whatever its outcome, as the
// console text tells it; with --batch the status tells it too.
constexpr int kExitUpdated = 0;
constexpr int kExitImageFailed = 1;  // not found, unreadable, or failing its check
constexpr int kExitUsage = 2;        // a bad command line: nothing was done
constexpr int kExitNoDevice = 3;
constexpr int kExitResetRequested = 4;
constexpr int kExitTransferFailed = 5;
constexpr int kExitInterrupted = 130;  // in every mode: the user asked the run to stop

// The run the options ask for, on the ports of the choice; returns its exit
// status.
int RunUpdate(const RunOptions& options, const PortChoice& ports);

// Finds the ports --in and --out name; kExitUpdated, or else (having said
// why, on standard error) kExitNoDevice when one names no port, kExitUsage
// when one names several.
int ChoosePorts(const RunOptions& options, PortChoice* ports);

// --list: the MIDI ports as the search numbers them.
int ListMidiPorts();
