// The device on two ports of its own of a MIDI service.
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "host_link.h"
#include "platform/service/service_ports.h"

namespace {

// Whole messages, handed from the service's thread to the device's loop,
// so that the service's (possibly real-time) thread never waits for it.
class WholeMessages {
public:
    static void Arrive(const unsigned char* message, std::size_t size, void* self) {
        auto* inbox = static_cast<WholeMessages*>(self);
        std::lock_guard<std::mutex> guard(inbox->lock_);
        inbox->messages_.emplace_back(message, message + size);
        inbox->arrived_.notify_one();
    }
    void Take(Clock::time_point wake, std::deque<Bytes>* messages) {
        std::unique_lock<std::mutex> guard(lock_);
        arrived_.wait_until(guard, wake, [&] { return !messages_.empty(); });
        while (!messages_.empty()) {
            messages->push_back(std::move(messages_.front()));
            messages_.pop_front();
        }
    }

private:
    std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<Bytes> messages_;
};

// Bytes through a card's buffer, at the wire's pace.
class WireBytes {
public:
    explicit WireBytes(std::uint32_t bytesPerSecond) : buffer_(bytesPerSecond) {}
    static void Arrive(const unsigned char* message, std::size_t size, void* self) {
        static_cast<WireBytes*>(self)->buffer_.Arrive(message, size);
    }
    void Take(Clock::time_point wake, std::deque<Bytes>* messages) {
        // The wire is looked at every millisecond.
        std::this_thread::sleep_until(std::min(wake, Clock::now() + std::chrono::milliseconds(1)));
        for (std::uint8_t byte : buffer_.Take()) assembler_.Add(byte, messages);
    }
    std::size_t Dropped() { return buffer_.Dropped(); }

private:
    CardBuffer buffer_;
    SysExAssembler assembler_;
};

class ServiceLink final : public HostLink {
public:
    explicit ServiceLink(const SimOptions& options) : wired_(options.wireBytesPerSecond > 0) {
        if (wired_) wire_ = std::make_unique<WireBytes>(options.wireBytesPerSecond);
    }
    ~ServiceLink() override {
        // The input first, so that nothing is heard that could no longer be
        // answered.
        in_.reset();
        out_.reset();
    }
    bool Open(const SimOptions& options, int* status) {
        // The input and the output on clients of their own, as a device's
        // two ports are.
        inClient_ = OwnServicePorts(options.clientName.c_str());
        outClient_ = OwnServicePorts(options.clientName.c_str());
        if (!inClient_ || !outClient_) {
            std::fprintf(stderr,
                         "tessarine-sim: no MIDI service can be opened: neither the ALSA sequencer (/dev/snd/seq) "
                         "nor a running JACK server\n");
            *status = 3;
            return false;
        }
        out_ = outClient_->OpenOwnDestination("device out", wired_);
        in_ = wired_ ? inClient_->OpenOwnSource("device in", WireBytes::Arrive, wire_.get(), true)
                     : inClient_->OpenOwnSource("device in", WholeMessages::Arrive, &whole_, false);
        if (!in_ || !out_) {
            std::fprintf(stderr, "tessarine-sim: the ports 'device in' and 'device out' cannot be opened\n");
            *status = 3;
            return false;
        }
        return true;
    }
    void Receive(Clock::time_point wake, std::deque<Bytes>* messages) override {
        if (wired_) {
            wire_->Take(wake, messages);
        } else {
            whole_.Take(wake, messages);
        }
    }
    bool Answer(const Bytes& message) override { return out_->Send(message.data(), message.size()); }
    std::size_t Dropped() override { return wired_ ? wire_->Dropped() : 0; }

private:
    bool wired_;
    WholeMessages whole_;
    std::unique_ptr<WireBytes> wire_;
    std::unique_ptr<ServicePorts> inClient_;
    std::unique_ptr<ServicePorts> outClient_;
    std::unique_ptr<ServiceInput> in_;
    std::unique_ptr<ServiceOutput> out_;
};

}  // namespace

std::unique_ptr<HostLink> OpenServiceLink(const SimOptions& options, int* status) {
    auto link = std::make_unique<ServiceLink>(options);
    return link->Open(options, status) ? std::move(link) : nullptr;
}
