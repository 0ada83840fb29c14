#include "sim/sim_device.h"

#include "sim/sim_platform.h"

void AttachDevice(TargetDevice* device, std::uint32_t replyDelayMs) {
    sim::SetDeviceModel([device, replyDelayMs](const Bytes& message) {
        const std::uint64_t now = sim::NowMs();
        const std::optional<TimedResponse> answer = device->Receive(message, now);
        if (!answer || answer->response.kind == Response::Kind::kSilence) return;
        const bool incomplete = answer->response.kind == Response::Kind::kIncomplete;
        sim::ScheduleArrival(static_cast<std::uint32_t>(answer->atMs - now) + replyDelayMs,
                             WireBytes(answer->response),
                             incomplete ? sim::Arrival::kIncomplete : sim::Arrival::kComplete);
    });
}
