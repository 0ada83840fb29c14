// The MIDI ports the program uses: the inputs it listens on (every input at
// once while it searches for the device, the device's alone afterwards), the
// outputs it sends on (every output while it searches, the device's
// afterwards), System Exclusive sends, and the mailboxes the device's
// replies arrive in, one for each input port.
//
// The platform's MIDI service calls OnMidiInput on a thread of its own; it
// writes the byte count of each System Exclusive message an input receives
// into that input's mailbox and signals the arrival. The main flow waits for
// that signal, resets the count to 0 when it takes a reply, and reads the
// status byte that follows the F0.
#pragma once

#include <atomic>
#include <cstdint>

#include "midi/midi_ports.h"
#include "platform/winmm.h"

constexpr std::uint16_t kReceiveBufferSize = 200;
// The longest message body SendSysEx puts between F0 and F7.
constexpr std::uint8_t kMaxSysExBody = 22;

struct ReplyMailbox {
    // Byte count of the latest System Exclusive message; 0 once taken.
    std::atomic<std::int16_t> receivedCount{0};
    // Byte 1 of the latest message, taken from the buffer by the
    // notification: the buffer is already back with the port, where the next
    // message may be written into it while the main flow looks.
    std::atomic<std::uint8_t> status{0};
    // The latest message, from its F0 on; never cleared.
    std::uint8_t buffer[kReceiveBufferSize] = {};
};

// Open input port `index` beside those already open and start it, or open
// output port `index` beside those already open; the platform's code.
MMRESULT OpenMidiIn(UINT index);
MMRESULT OpenMidiOut(UINT index);
// Close every open input port, or every open output port; false when none
// was open.
bool CloseMidiIn();
bool CloseMidiOut();
// Close every open port of the kind but `keep`.
void CloseOtherMidiIns(UINT keep);
void CloseOtherMidiOuts(UINT keep);
bool MidiInIsOpen(UINT index);

// Sends F0, the n bytes of data (each below 0x80), F7 on output port
// `output` and returns once the platform has released the message: looking
// every millisecond while it holds it, for at most five seconds (then the
// send has failed).
MMRESULT SendSysEx(UINT output, const std::uint8_t* data, std::uint8_t n);

// Called by the MIDI service for input events, with the input port's number
// as the instance value; nobody else calls it.
void CALLBACK OnMidiInput(HMIDIIN port, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);

// Waits up to `milliseconds` for the next System Exclusive message to arrive
// on any input (of any length).
void AwaitInput(DWORD milliseconds);

ReplyMailbox& Mailbox(UINT input);
const char* MidiInName(UINT input);
const char* MidiOutName(UINT output);
