#include "support/update_scene.h"

#include "midi/midi_link.h"
#include "protocol/reply_ledger.h"
#include "sim/sim_device.h"
#include "sim/sim_platform.h"

void SetUpScene(unsigned inputs, unsigned outputs, const std::set<UINT>& deviceOutputs,
                const std::set<UINT>& deviceInputs, TargetDevice* device) {
    CloseMidiIn();
    CloseMidiOut();
    sim::Reset();
    NextSubject(0);  // nothing owed from an earlier scene, an empty mailbox
    for (unsigned i = 0; i < inputs; ++i) sim::AddInput({"In " + std::to_string(i)});
    for (unsigned i = 0; i < outputs; ++i) sim::AddOutput({"Out " + std::to_string(i)});
    sim::ConnectDevice(deviceOutputs, deviceInputs);
    if (device != nullptr) AttachDevice(device);
}
