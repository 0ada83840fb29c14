// The device behind a sound card's MIDI port: it reads and writes the
// card's raw MIDI device (a virtual one, snd-virmidi, stands in for a card
// here), whose kernel buffer drops what overflows while the device reads
// no faster than its wire.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "host_link.h"

namespace {

class RawMidiLink final : public HostLink {
public:
    explicit RawMidiLink(std::uint32_t bytesPerSecond)
        : paced_(bytesPerSecond > 0), pace_(paced_ ? bytesPerSecond : 1) {}
    ~RawMidiLink() override {
        if (fd_ >= 0) close(fd_);
    }
    bool Open(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        return fd_ >= 0;
    }
    void Receive(Clock::time_point wake, std::deque<Bytes>* messages) override {
        if (idle_) {
            // Nothing on the wire: sleep until bytes come.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now()).count();
            pollfd readable = {fd_, POLLIN, 0};
            if (poll(&readable, 1, static_cast<int>(std::max<decltype(left)>(left, 0))) <= 0) return;
            idle_ = false;
        } else if (paced_) {
            std::this_thread::sleep_until(std::min(wake, pace_.NextByteAt()));
        }
        unsigned char bytes[1024];
        const std::size_t most = paced_ ? std::min(sizeof bytes, pace_.Due(Clock::now())) : sizeof bytes;
        if (most == 0) return;
        const ssize_t got = read(fd_, bytes, most);
        const std::size_t taken = got > 0 ? static_cast<std::size_t>(got) : 0;
        pace_.Took(taken);
        for (std::size_t i = 0; i < taken; ++i) assembler_.Add(bytes[i], messages);
        if (taken < most) {
            // The buffer has run dry: the wire's next byte starts afresh.
            idle_ = true;
            pace_.Idle();
        }
    }
    bool Answer(const Bytes& message) override {
        const ssize_t written = write(fd_, message.data(), message.size());
        return written == static_cast<ssize_t>(message.size()) || (written < 0 && errno != EAGAIN);
    }

private:
    int fd_ = -1;
    bool paced_;
    bool idle_ = true;
    WirePace pace_;
    SysExAssembler assembler_;
};

}  // namespace

std::unique_ptr<HostLink> OpenRawMidiLink(const SimOptions& options, int* status) {
    auto link = std::make_unique<RawMidiLink>(options.wireBytesPerSecond);
    if (link->Open(options.rawMidiPath)) return link;
    std::fprintf(stderr, "tessarine-sim: cannot open %s: %s\n", options.rawMidiPath.c_str(), std::strerror(errno));
    *status = 3;
    return nullptr;
}
