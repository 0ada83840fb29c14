// A simulated set-up for update tests: named ports, the target device on
// some of them, and the texts the program prints along the way.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "device/image_maker.h"
#include "device/target_device.h"
#include "platform/winmm.h"

// A fresh simulated platform with `inputs` and `outputs` ports named
// "In 0", "Out 0", ..., the device hearing `deviceOutputs` and answering on
// `deviceInputs`; the MIDI link's ports closed and its mailbox empty.
void SetUpScene(unsigned inputs, unsigned outputs, const std::set<UINT>& deviceOutputs,
                const std::set<UINT>& deviceInputs, TargetDevice* device);

namespace text {
extern const std::string kBanner;
extern const std::string kFinalWait;
extern const std::string kNoDevice;
extern const std::string kCompleted;
extern const std::string kRestarted;
std::string Opened(const std::string& name);
std::string Found(const std::string& in, const std::string& out);
std::string Progress(char glyph, unsigned percent);
}  // namespace text
