#include "support/update_scene.h"

#include "midi/midi_link.h"
#include "sim/sim_device.h"
#include "sim/sim_platform.h"

void SetUpScene(unsigned inputs, unsigned outputs, const std::set<UINT>& deviceOutputs,
                const std::set<UINT>& deviceInputs, TargetDevice* device) {
    CloseMidiIn();
    CloseMidiOut();
    sim::Reset();
    Mailbox().receivedCount = 0;
    for (unsigned i = 0; i < inputs; ++i) sim::AddInput({"In " + std::to_string(i)});
    for (unsigned i = 0; i < outputs; ++i) sim::AddOutput({"Out " + std::to_string(i)});
    sim::ConnectDevice(deviceOutputs, deviceInputs);
    if (device != nullptr) AttachDevice(device);
}
