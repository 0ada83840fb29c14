#include "platform/service/service_ports.h"

#include <cstdlib>

#include "platform/service/rtmidi_clients.h"
#include "platform/service/rtmidi_ports.h"

#ifdef TESSARINE_WITH_JACK
#include "platform/service/jack_ports.h"
#endif

std::unique_ptr<ServicePorts> OwnServicePorts(const char* clientName) {
    if (AlsaSequencerReachable()) return MakeRtMidiServicePorts(RtMidi::LINUX_ALSA, clientName);
#ifdef TESSARINE_WITH_JACK
    if (std::unique_ptr<ServicePorts> jack = OpenJackPorts(clientName)) return jack;
#endif
    if (RtMidiCompiled(RtMidi::MACOSX_CORE)) return MakeRtMidiServicePorts(RtMidi::MACOSX_CORE, clientName);
    return nullptr;
}

ServicePorts* ChosenServicePorts(const char* clientName) {
    // Never destroyed, as the service's threads may outlive the program's
    // own; but its client is closed when the process ends, before the
    // service's library goes: a JACK server in synchronous mode waits for a
    // client left open until it notices.
    static ServicePorts* const chosen = [clientName] {
        ServicePorts* ports = OwnServicePorts(clientName).release();
        if (ports != nullptr) std::atexit([] { chosen->CloseClient(); });
        return ports;
    }();
    return chosen;
}
