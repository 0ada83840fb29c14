// The target device on the simulated platform.
#pragma once

#include <cstdint>
#include <functional>
#include <set>

#include "device/target_device.h"
#include "platform/winmm/winmm.h"

// Sees each answer the device gives to a message that arrived at nowMs.
using AnswerSeen = std::function<void(std::uint64_t nowMs, const TimedResponse& answer)>;

// From now on the device hears every message on the outputs; its answers
// arrive on the inputs replyDelayMs after the device gives them.
void AttachDevice(TargetDevice* device, const std::set<UINT>& outputs, const std::set<UINT>& inputs,
                  std::uint32_t replyDelayMs = 1, AnswerSeen seen = {});
