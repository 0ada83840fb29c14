#include "wire.h"

#include <algorithm>

std::size_t WirePace::Due(Clock::time_point now) {
    if (idle_) {
        next_ = now + perByte_;
        idle_ = false;
    }
    return now < next_ ? 0 : static_cast<std::size_t>((now - next_) / perByte_) + 1;
}

void SysExAssembler::Add(std::uint8_t byte, std::deque<Bytes>* messages) {
    if (byte >= 0xF8) return;  // real-time bytes may come anywhere
    if (byte == 0xF0 || (byte >= 0x80 && byte != 0xF7)) {
        if (inMessage_) messages->push_back(std::move(message_));
        message_.clear();
        inMessage_ = byte == 0xF0;
    }
    if (!inMessage_) return;
    message_.push_back(byte);
    if (byte != 0xF7) return;
    messages->push_back(std::move(message_));
    message_.clear();
    inMessage_ = false;
}

void CardBuffer::Arrive(const unsigned char* bytes, std::size_t size) {
    std::lock_guard<std::mutex> guard(lock_);
    const std::size_t room = kSize - bytes_.size();
    const std::size_t kept = std::min(room, size);
    bytes_.insert(bytes_.end(), bytes, bytes + kept);
    dropped_ += size - kept;
}

Bytes CardBuffer::Take(std::size_t most) {
    std::lock_guard<std::mutex> guard(lock_);
    const std::size_t taken = std::min(most, bytes_.size());
    Bytes bytes(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(taken));
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(taken));
    return bytes;
}

std::size_t CardBuffer::Waiting() {
    std::lock_guard<std::mutex> guard(lock_);
    return bytes_.size();
}

std::size_t CardBuffer::Dropped() {
    std::lock_guard<std::mutex> guard(lock_);
    return dropped_;
}
