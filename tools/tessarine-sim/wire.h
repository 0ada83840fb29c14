// The device's end of a 5-pin MIDI wire: bytes come no faster than the
// wire's rate, through a card's buffer of a fixed size that drops what
// does not fit (as the kernel's does), and are put back together into
// System Exclusive messages.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// How many bytes a wire has carried by a point in time: one every
// 1/rate seconds while there are bytes to carry, none while it is idle.
class WirePace {
public:
    explicit WirePace(std::uint32_t bytesPerSecond) : perByte_(std::chrono::nanoseconds(1000000000) / bytesPerSecond) {}
    // The wire has nothing to carry: the next byte starts afresh.
    void Idle() { idle_ = true; }
    // How many bytes the wire has carried by `now` that have not been taken.
    std::size_t Due(Clock::time_point now);
    void Took(std::size_t bytes) { next_ += perByte_ * static_cast<long>(bytes); }
    // When the next byte will have been carried.
    Clock::time_point NextByteAt() const { return next_; }

private:
    std::chrono::nanoseconds perByte_;
    Clock::time_point next_{};
    bool idle_ = true;
};

// Bytes back into System Exclusive messages: F0 begins one, F7 ends it; a
// status byte that comes before the F7 cuts it short (it is passed on as it
// came, without an F7); real-time bytes are left out.
class SysExAssembler {
public:
    void Add(std::uint8_t byte, std::deque<Bytes>* messages);

private:
    Bytes message_;
    bool inMessage_ = false;
};

// A card's receive buffer in front of its wire: what arrives (on the
// service's thread) waits there until the wire has carried it, at the
// wire's pace whenever the device looks, and what does not fit is dropped
// and counted. The wire runs on its own time, as a card's does: a device
// that looks late takes all the wire has carried meanwhile.
class CardBuffer {
public:
    static constexpr std::size_t kSize = 4096;
    explicit CardBuffer(std::uint32_t bytesPerSecond) : pace_(bytesPerSecond) {}
    void Arrive(const unsigned char* bytes, std::size_t size);
    // What the wire has carried since the last look.
    Bytes Take();
    std::size_t Dropped();

private:
    // Moves what the wire has carried by now out of the buffer.
    void Carry(Clock::time_point now);

    std::mutex lock_;
    WirePace pace_;
    std::deque<std::uint8_t> waiting_;
    Bytes carried_;
    std::size_t dropped_ = 0;
};
