#include "sim/sim_device.h"

#include "sim/sim_platform.h"

void AttachDevice(TargetDevice* device, std::uint32_t replyDelayMs, AnswerSeen seen) {
    sim::SetDeviceModel([device, replyDelayMs, seen](const Bytes& message) {
        const std::uint64_t now = sim::NowMs();
        const std::optional<TimedResponse> answer = device->Receive(message, now);
        if (!answer) return;
        if (seen) seen(now, *answer);
        if (answer->response.kind == Response::Kind::kSilence) return;
        const bool incomplete = answer->response.kind == Response::Kind::kIncomplete;
        sim::ScheduleArrival(static_cast<std::uint32_t>(answer->atMs - now) + replyDelayMs,
                             WireBytes(answer->response),
                             incomplete ? sim::Arrival::kIncomplete : sim::Arrival::kComplete);
    });
}
