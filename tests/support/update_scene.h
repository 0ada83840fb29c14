// A simulated set-up for update tests: named ports and the target device on
// some of them.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "support/console_text.h"
#include "device/image_maker.h"
#include "device/target_device.h"
#include "platform/winmm.h"

// A fresh simulated platform with `inputs` and `outputs` ports named
// "In 0", "Out 0", ..., the device hearing `deviceOutputs` and answering on
// `deviceInputs`; the MIDI link's ports closed and its mailbox empty.
void SetUpScene(unsigned inputs, unsigned outputs, const std::set<UINT>& deviceOutputs,
                const std::set<UINT>& deviceInputs, TargetDevice* device);
