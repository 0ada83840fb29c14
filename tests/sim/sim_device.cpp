#include "sim/sim_device.h"

#include "sim/sim_platform.h"

void AttachDevice(TargetDevice* device, const std::set<UINT>& outputs, const std::set<UINT>& inputs,
                  std::uint32_t replyDelayMs, AnswerSeen seen) {
    sim::ConnectDevice(outputs, [device, inputs, replyDelayMs, seen](const Bytes& message) {
        const std::uint64_t now = sim::NowMs();
        const std::optional<TimedResponse> answer = device->Receive(message, now);
        if (!answer) return;
        if (seen) seen(now, *answer);
        if (answer->response.kind == Response::Kind::kSilence) return;
        const bool incomplete = answer->response.kind == Response::Kind::kIncomplete;
        sim::ScheduleArrival(static_cast<std::uint32_t>(answer->atMs - now) + replyDelayMs, inputs,
                             WireBytes(answer->response),
                             incomplete ? sim::Arrival::kIncomplete : sim::Arrival::kComplete);
    });
}
