#include "device_runner.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>

#include "platform/service_ports.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kStopCheckInterval = std::chrono::milliseconds(100);

std::atomic<bool> stopRequested{false};
void RequestStop(int) { stopRequested = true; }

// Messages from the host, handed from the service's thread to the main loop, so
// that the service's (possibly real-time) thread never waits for the device.
struct Inbox {
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<Bytes> messages;
};

void OnMessage(const unsigned char* message, std::size_t size, void* context) {
    auto* inbox = static_cast<Inbox*>(context);
    std::lock_guard<std::mutex> guard(inbox->lock);
    inbox->messages.emplace_back(message, message + size);
    inbox->arrived.notify_one();
}

void LogMessage(const Bytes& message) {
    std::fprintf(stderr, "received");
    for (std::uint8_t b : message) std::fprintf(stderr, " %02X", b);
    std::fprintf(stderr, "\n");
}

}  // namespace

int RunDevice(const SimOptions& options) {
    // The input and the output on clients of their own, as a device's two
    // ports are; the input goes first when they close, so that nothing is
    // heard that could no longer be answered.
    std::unique_ptr<ServicePorts> inClient = OwnServicePorts(options.clientName.c_str());
    std::unique_ptr<ServicePorts> outClient = OwnServicePorts(options.clientName.c_str());
    if (!outClient || !inClient) {
        std::fprintf(stderr,
                     "tessarine-sim: no MIDI service can be opened: neither the ALSA sequencer (/dev/snd/seq) "
                     "nor a running JACK server\n");
        return 3;
    }
    Inbox inbox;
    std::unique_ptr<ServiceOutput> out = outClient->OpenOwnDestination("device out");
    std::unique_ptr<ServiceInput> in = inClient->OpenOwnSource("device in", OnMessage, &inbox);
    if (!in || !out) {
        std::fprintf(stderr, "tessarine-sim: the ports 'device in' and 'device out' cannot be opened\n");
        return 3;
    }

    std::FILE* accepted = nullptr;
    if (!options.acceptedPath.empty()) {
        accepted = std::fopen(options.acceptedPath.c_str(), "wb");
        if (accepted == nullptr) {
            std::fprintf(stderr, "tessarine-sim: cannot write %s\n", options.acceptedPath.c_str());
            return 1;
        }
    }
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    std::printf("tessarine-sim: ready on ports 'device in' and 'device out'\n");
    std::fflush(stdout);

    TargetDevice device(options.device);
    std::size_t written = 0;
    std::multimap<Clock::time_point, Bytes> replies;
    const Clock::time_point started = Clock::now();
    const Clock::time_point deadline =
        options.timeoutSeconds ? Clock::now() + std::chrono::seconds(options.timeoutSeconds) : Clock::time_point::max();
    while (!stopRequested && Clock::now() < deadline) {
        std::deque<Bytes> messages;
        {
            std::unique_lock<std::mutex> guard(inbox.lock);
            Clock::time_point wake = Clock::now() + kStopCheckInterval;
            if (!replies.empty() && replies.begin()->first < wake) wake = replies.begin()->first;
            inbox.arrived.wait_until(guard, wake, [&] { return !inbox.messages.empty(); });
            messages.swap(inbox.messages);
        }
        for (const Bytes& message : messages) {
            if (options.verbose) LogMessage(message);
            const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
            const std::optional<TimedResponse> answer = device.Receive(message, now.count());
            if (answer && answer->response.kind != Response::Kind::kSilence) {
                const auto at = std::chrono::milliseconds(answer->atMs + options.replyDelayMs);
                replies.emplace(started + at, WireBytes(answer->response));
            }
        }
        if (accepted != nullptr && device.Accepted().size() > written) {
            std::fwrite(device.Accepted().data() + written, 1, device.Accepted().size() - written, accepted);
            std::fflush(accepted);
            written = device.Accepted().size();
        }
        // A reply the service cannot take yet is offered again on the next turn.
        while (!replies.empty() && replies.begin()->first <= Clock::now() &&
               out->Send(replies.begin()->second.data(), replies.begin()->second.size())) {
            replies.erase(replies.begin());
        }
    }
    if (accepted != nullptr) std::fclose(accepted);
    return 0;
}
