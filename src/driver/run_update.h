// One whole update run, from the banner to the final key press, the choice
// of the ports --in and --out name, and the listing of the ports. Each tells
// a reporter what happens and returns the exit status.
#pragma once

#include "driver/command_line.h"
#include "image/image_buffer.h"
#include "protocol/find_device.h"
#include "protocol/stop_token.h"
#include "report/reporter.h"

// The file stage: finds (or takes the one at `path`), loads and checks the
// image, telling the reporter; true when it is sound, else it has told how
// the run ends, in `ending`.
bool FileStage(const char* path, ImageBuffer* image, Reporter& reporter, Ending* ending);

// The run the options ask for, on the ports of the choice, until the user
// asks it to stop; its exit status. It ends with the final wait when the
// options ask for one, unless the user asked it to stop.
int RunUpdate(const RunOptions& options, const PortChoice& ports, Reporter& reporter, const StopToken& stop);

// Finds the ports --in and --out name; true, or else it has told how the run
// ends (a port that names none: the device unplugged since it was listed; a
// port that names several: a bad command line) and put the exit status in
// `status`. With --wait, a port that names none is looked for again until
// the wait has passed or the user asks the run to stop.
bool ChoosePorts(const RunOptions& options, PortChoice* ports, Reporter& reporter, const StopToken& stop, int* status);

// --list: the MIDI ports as the search numbers them.
int ListMidiPorts(Reporter& reporter);
