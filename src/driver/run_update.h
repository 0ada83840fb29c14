// One whole update run, from the banner to the final key press, the choice
// of the ports --in and --out name, and the listing of the ports. Each tells
// a reporter what happens, its end told once (Finish), and returns the exit
// status.
#pragma once

#include <optional>

#include "base/stop_token.h"
#include "driver/command_line.h"
#include "image/image_buffer.h"
#include "protocol/find_device.h"
#include "report/reporter.h"

// Tells the reporter how the run ended; its exit status.
int Finish(const Outcome& outcome, bool statusTellsOutcome, Reporter& reporter);

// The file stage: finds (or takes the one at `path`), loads and checks the
// image, and its SHA-256 against `sha256` when that is given, telling the
// reporter; nothing when it is sound, else how the run ends, whose name
// lives in `file`.
std::optional<Outcome> FileStage(const char* path, const char* sha256, ImageBuffer* image, ImageOutcome* file,
                                 Reporter& reporter);

// The run the options ask for, on the ports of the choice, until the user
// asks it to stop; its exit status. It ends with the final wait when the
// options ask for one, unless the user asked it to stop.
int RunUpdate(const RunOptions& options, const PortChoice& ports, Reporter& reporter, const StopToken& stop);

// Finds the ports --in and --out name; nothing, or else how the run ends
// (a port that names none: the device unplugged since it was listed; a
// port that names several: a bad command line). With --wait, a port that
// names none is looked for again until the wait has passed or the user
// asks the run to stop. What is wrong is written into `problem`.
std::optional<Outcome> ChoosePorts(const RunOptions& options, PortChoice* ports, const StopToken& stop, char* problem,
                                   std::size_t size);

// --list: the MIDI ports as the search numbers them, and the service's
// name; its exit status.
int ListMidiPorts(bool statusTellsOutcome, Reporter& reporter);
