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

namespace text {
const std::string kBanner = "Update V0.3 - Update Corvilent Tessarine System\n";
const std::string kFinalWait = "Press any key to continue . . . \n";
const std::string kNoDevice = "\nFailed: Can't find the suitable device to update!\n\n";
const std::string kCompleted = "\rTransferring.. 100% done.  \n\nTarget update successfully!\n\n";
const std::string kRestarted =
    "\rTransferring.. 100% done.  \nTarget update successfully!\n\nThe System is restarted, please wait!\n\n";

std::string Opened(const std::string& name) { return "OK: File '" + name + "' is open.\n"; }

std::string Found(const std::string& in, const std::string& out) {
    return "The Update Device is Open successfully:\nMIDIIN Device: " + in + "\nMIDIOUT Device: " + out + "\n";
}

std::string Progress(char glyph, unsigned percent) {
    return "\r                        \rTransferring.. " + std::string(1, glyph) + " " + std::to_string(percent) +
           "% done";
}
}  // namespace text
