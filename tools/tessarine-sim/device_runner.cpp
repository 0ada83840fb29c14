#include "device_runner.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>

#include "host_link.h"

namespace {

constexpr auto kStopCheckInterval = std::chrono::milliseconds(100);

std::atomic<bool> stopRequested{false};
void RequestStop(int) { stopRequested = true; }

void LogMessage(const Bytes& message) {
    std::fprintf(stderr, "received");
    for (std::uint8_t b : message) std::fprintf(stderr, " %02X", b);
    std::fprintf(stderr, "\n");
}

}  // namespace

int RunDevice(const SimOptions& options) {
    int status = 0;
    const std::unique_ptr<HostLink> host = options.stdio                 ? OpenStdioLink()
                                           : options.rawMidiPath.empty() ? OpenServiceLink(options, &status)
                                                                         : OpenRawMidiLink(options, &status);
    if (!host) return status;

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
    std::printf("tessarine-sim: ready on %s\n", options.stdio                 ? "standard input and output"
                                                : options.rawMidiPath.empty() ? "ports 'device in' and 'device out'"
                                                                              : options.rawMidiPath.c_str());
    std::fflush(stdout);

    TargetDevice device(options.device);
    std::size_t written = 0;
    std::multimap<Clock::time_point, Bytes> replies;
    const Clock::time_point started = Clock::now();
    const Clock::time_point deadline =
        options.timeoutSeconds ? Clock::now() + std::chrono::seconds(options.timeoutSeconds) : Clock::time_point::max();
    while (!stopRequested && Clock::now() < deadline) {
        std::deque<Bytes> messages;
        Clock::time_point wake = Clock::now() + kStopCheckInterval;
        if (!replies.empty() && replies.begin()->first < wake) wake = replies.begin()->first;
        host->Receive(wake, &messages);
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
        while (!replies.empty() && replies.begin()->first <= Clock::now() && host->Answer(replies.begin()->second)) {
            replies.erase(replies.begin());
        }
    }
    if (host->Dropped() > 0) {
        std::fprintf(stderr, "tessarine-sim: %zu bytes did not fit the card's buffer and were lost\n", host->Dropped());
    }
    if (accepted != nullptr) std::fclose(accepted);
    return 0;
}
