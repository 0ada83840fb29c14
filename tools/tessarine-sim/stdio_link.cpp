// The device on standard input and output, a message a line in hexadecimal
// ("F0 1A F7"), for a program that carries MIDI itself: the web page's
// tests carry the page's Web MIDI so.
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "host_link.h"

namespace {

class StdioLink final : public HostLink {
public:
    StdioLink() {
        // Reads until standard input ends, which the process does not wait
        // for: it ends when the device stops.
        std::thread([this] {
            for (std::string line; std::getline(std::cin, line);) {
                Bytes message;
                std::istringstream hex(line);
                for (unsigned byte = 0; hex >> std::hex >> byte;) message.push_back(static_cast<std::uint8_t>(byte));
                std::lock_guard<std::mutex> guard(lock_);
                messages_.push_back(std::move(message));
                arrived_.notify_one();
            }
        }).detach();
    }
    void Receive(Clock::time_point wake, std::deque<Bytes>* messages) override {
        std::unique_lock<std::mutex> guard(lock_);
        arrived_.wait_until(guard, wake, [&] { return !messages_.empty(); });
        for (; !messages_.empty(); messages_.pop_front()) messages->push_back(std::move(messages_.front()));
    }
    bool Answer(const Bytes& message) override {
        for (std::size_t i = 0; i < message.size(); ++i) std::printf(i == 0 ? "%02X" : " %02X", message[i]);
        std::printf("\n");
        std::fflush(stdout);
        return true;
    }

private:
    std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<Bytes> messages_;
};

}  // namespace

std::unique_ptr<HostLink> OpenStdioLink() { return std::make_unique<StdioLink>(); }
