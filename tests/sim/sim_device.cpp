#include "sim/sim_device.h"

#include "sim/sim_platform.h"

void AttachDevice(TargetDevice* device, std::uint32_t replyDelayMs) {
    sim::SetDeviceModel([device, replyDelayMs](const Bytes& message) {
        const std::optional<Response> response = device->Receive(message);
        if (!response || response->kind == Response::Kind::kSilence) return;
        sim::ScheduleArrival(replyDelayMs + response->delayMs, WireBytes(*response),
                             response->kind == Response::Kind::kIncomplete ? sim::Arrival::kIncomplete
                                                                          : sim::Arrival::kComplete);
    });
}
