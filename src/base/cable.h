// A 5-pin MIDI cable, which the device may be behind: 31250 baud carry 3125
// bytes a second. A card in front of one buffers 4 KiB and drops what does
// not fit; no more than half of that is let run ahead of the cable.
#pragma once

#include <cstdint>

constexpr std::uint32_t kCableBytesPerSecond = 3125;
constexpr std::uint32_t kCableBudgetBytes = 2048;
