// The ports of a MIDI service other than winmm, as the layer that stands in
// for winmm uses them (winmm_layer.cpp): listed by name, opened by name, a
// source handing each message it receives to a handler, a destination that
// takes messages in order and loses none of them.
//
// The service is chosen once for the whole process: the ALSA sequencer when
// /dev/snd/seq can be opened (through RtMidi), else a JACK server that is
// already running (one is never started; one client of our own for every
// port), else the platform's own through RtMidi (CoreMIDI on macOS).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// Called on a thread of the service with every message a source receives:
// a System Exclusive message whole, and any other message as it comes.
using MessageHandler = void (*)(const unsigned char* message, std::size_t size, void* context);

class ServiceInput {
public:
    virtual ~ServiceInput() = default;
};

class ServiceOutput {
public:
    virtual ~ServiceOutput() = default;
    // Takes the message to go out after those taken before it; false when
    // it cannot take it yet (the service has not taken the earlier ones):
    // the message is then not taken, and may be offered again.
    virtual bool Send(const unsigned char* message, std::size_t size) = 0;
    // Every message taken has left for the destination.
    virtual bool Delivered() = 0;
    // The destination is still there, and the service still takes what is
    // sent to it.
    virtual bool Reachable() = 0;
    // What lies behind the destination: another program's port, or a sound
    // card's, whose buffer the kernel may show.
    enum class Link { kProgram, kBufferShown, kHardware };
    virtual Link LinkTo() { return Link::kProgram; }
    // With kBufferShown: the card's buffer has room for `size` bytes more
    // now, beside what has been sent to it.
    virtual bool HasRoom(std::size_t) { return true; }
};

class ServicePorts {
public:
    virtual ~ServicePorts() = default;
    // The names of the ports messages can be read from (sources) or written
    // to, in the service's order; false when the service cannot be reached.
    virtual bool List(bool sources, std::vector<std::string>* names) = 0;
    // Null when the port cannot be opened.
    virtual std::unique_ptr<ServiceInput> OpenSource(const std::string& name, MessageHandler handler,
                                                     void* context) = 0;
    virtual std::unique_ptr<ServiceOutput> OpenDestination(const std::string& name) = 0;
    // Ports of our own under that name, that other programs connect to, as
    // a device's are: for the device simulator. `hardware`: presented as a
    // sound card's, where the service tells them apart (JACK). Null where
    // the service has none to offer.
    virtual std::unique_ptr<ServiceInput> OpenOwnSource(const std::string&, MessageHandler, void*, bool) {
        return nullptr;
    }
    virtual std::unique_ptr<ServiceOutput> OpenOwnDestination(const std::string&, bool) { return nullptr; }
    // The service has stopped under the program: nothing can be sent or
    // received any more.
    virtual bool Gone() = 0;
    // Its name, as the user knows it.
    virtual const char* Name() = 0;
    // Cycles the service has reported it missed since it was opened.
    virtual unsigned MissedCycles() { return 0; }
    // Ends the service's client for good, the process ending: nothing is
    // sent or received after.
    virtual void CloseClient() {}
};

// The chosen service's ports for this program, whose client takes the name;
// null when there is no service at all.
ServicePorts* ChosenServicePorts(const char* clientName);
// The same service's ports on a client of their own, closed when they go
// (after the ports opened on them): for a device played on ports of its
// own, whose input and output are two clients, as two devices of a JACK
// server are. A client that both reads from and writes to another closes a
// loop there, which the server breaks by holding one of the two a cycle:
// every answer would cost a cycle more.
std::unique_ptr<ServicePorts> OwnServicePorts(const char* clientName);
