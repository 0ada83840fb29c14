// The ports of a running JACK server, all on one client of our own, which
// is opened on first use and kept to the process's end. Null when no server
// runs (none is started).
#pragma once

#include "platform/service_ports.h"

ServicePorts* JackServicePorts(const char* clientName);
