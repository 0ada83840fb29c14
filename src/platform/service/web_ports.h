// MIDI through the browser's Web MIDI, for the web page: the ports of the
// access the page was granted, in the browser's order. Messages a source
// receives wait in the page's queue until the program looks (PumpWebMidi,
// at every wait): the page never calls into the program while it waits.
#pragma once

#include "platform/service/service_ports.h"

// Hands every message waiting in the page's queue to its source's handler.
void PumpWebMidi();
