// The target device on the simulated platform.
#pragma once

#include <cstdint>

#include "device/target_device.h"

// From now on the device hears every message on the outputs it is connected
// to; its answers arrive replyDelayMs after the device gives them.
void AttachDevice(TargetDevice* device, std::uint32_t replyDelayMs = 1);
