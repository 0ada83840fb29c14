// The sound cards behind ports of the ALSA sequencer: the kernel's clients
// of a card (a MIDI interface, a USB device, a virtual raw MIDI device), as
// against programs and the kernel's own Midi Through; and the buffer of the
// card's raw MIDI device that a port writes into, whose room the kernel
// shows while the device is open (raw_midi_room.h).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

class CardBuffer {
public:
    // The buffer behind the port RtMidi names so ("client:port C:P"); null
    // when the port is no card's. Found once the port has been connected.
    static std::unique_ptr<CardBuffer> Behind(const std::string& rtmidiName);

    // The kernel shows the buffer's room.
    bool Shown() { return Room() >= 0; }
    // The buffer has room for `size` bytes more, beside those it has let
    // through before; when it has, they count as sent.
    bool TakeRoom(std::size_t size);

private:
    CardBuffer(std::string proc, bool output, int substream)
        : proc_(std::move(proc)), output_(output), substream_(substream) {}
    // The room now, in bytes; -1 when it is not shown.
    long Room() const;

    std::string proc_;  // the card's raw MIDI device in /proc/asound
    // The port writes into an output of the device (a card's MIDI port, as
    // the kernel's sequencer binds it), or into the inputs of a virtual one
    // (snd-virmidi), which a program reads.
    bool output_;
    int substream_;           // the output's; an input: any
    std::size_t credit_ = 0;  // room read and not yet taken
};
