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

void CardBuffer::Carry(Clock::time_point now) {
    const std::size_t carried = std::min(pace_.Due(now), waiting_.size());
    pace_.Took(carried);
    carried_.insert(carried_.end(), waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(carried));
    waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(carried));
    if (waiting_.empty()) pace_.Idle();
}

void CardBuffer::Arrive(const unsigned char* bytes, std::size_t size) {
    std::lock_guard<std::mutex> guard(lock_);
    Carry(Clock::now());
    const std::size_t kept = std::min(kSize - waiting_.size(), size);
    waiting_.insert(waiting_.end(), bytes, bytes + kept);
    dropped_ += size - kept;
}

Bytes CardBuffer::Take() {
    std::lock_guard<std::mutex> guard(lock_);
    Carry(Clock::now());
    Bytes carried;
    carried.swap(carried_);
    return carried;
}

std::size_t CardBuffer::Dropped() {
    std::lock_guard<std::mutex> guard(lock_);
    return dropped_;
}
