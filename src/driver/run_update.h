// One whole update run, from the banner to the final key press, and the
// listing of the ports.
#pragma once

#include "driver/command_line.h"
#include "driver/reporter.h"
#include "image/image_buffer.h"
#include "protocol/find_device.h"

// The file stage: finds (or takes the one at `path`), loads and checks the
// image, telling the reporter; true when it is sound, else it has told how
// the run ends, in `ending`.
bool FileStage(const char* path, ImageBuffer* image, Reporter& reporter, Ending* ending);

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
