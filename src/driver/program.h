// The whole program, from its command line to its exit status: read the
// command line whole before anything else is done, choose the face that
// shows the run (and a log beside it), then make the run it asks for. The
// entry hands it the user's requests to stop and whether standard output
// is a terminal.
#pragma once

#include "base/stop_token.h"

int RunProgram(int argc, char** argv, const StopToken& stop, bool terminal);
