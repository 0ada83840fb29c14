// The ports of a running JACK server, all on one client of our own, which
// is closed when they go (or by CloseClient), after the ports opened on it.
// Null when no server runs (none is started).
#pragma once

#include <memory>

#include "platform/service/service_ports.h"

std::unique_ptr<ServicePorts> OpenJackPorts(const char* clientName);
