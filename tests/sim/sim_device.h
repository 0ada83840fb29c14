// The target device on the simulated platform.
#pragma once

#include <cstdint>
#include <functional>

#include "device/target_device.h"

// Sees each answer the device gives to a message that arrived at nowMs.
using AnswerSeen = std::function<void(std::uint64_t nowMs, const TimedResponse& answer)>;

// From now on the device hears every message on the outputs it is connected
// to; its answers arrive replyDelayMs after the device gives them.
void AttachDevice(TargetDevice* device, std::uint32_t replyDelayMs = 1, AnswerSeen seen = {});
