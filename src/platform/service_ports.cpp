#include "platform/service_ports.h"

#include "platform/midi_service.h"
#include "platform/rtmidi_ports.h"

#ifdef TESSARINE_WITH_JACK
#include "platform/jack_ports.h"
#endif

ServicePorts* ChosenServicePorts(const char* clientName) {
    static ServicePorts* const chosen = [clientName]() -> ServicePorts* {
        if (AlsaSequencerReachable()) return RtMidiServicePorts(RtMidi::LINUX_ALSA, clientName);
#ifdef TESSARINE_WITH_JACK
        if (ServicePorts* jack = JackServicePorts(clientName)) return jack;
#endif
        if (RtMidiCompiled(RtMidi::MACOSX_CORE)) return RtMidiServicePorts(RtMidi::MACOSX_CORE, clientName);
        return nullptr;
    }();
    return chosen;
}
