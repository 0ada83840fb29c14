// The MIDI ports the program uses: the inputs it listens on (every input at
// once while it searches for the device, the device's alone afterwards), the
// outputs it sends on (every output while it searches, the device's
// afterwards), System Exclusive sends, and the mailboxes the device's
// replies arrive in, one for each input port.
//
// The platform's MIDI service calls OnMidiInput on a thread of its own; it
// posts the byte count and the status byte of each System Exclusive message
// an input receives to that input's mailbox and signals the arrival. The
// main flow waits for that signal and takes the reply, both at once.
#pragma once

#include <atomic>
#include <cstdint>

#include "midi/midi_ports.h"
#include "platform/winmm/winmm.h"

constexpr std::uint16_t kReceiveBufferSize = 200;
// The longest message body SendSysEx puts between F0 and F7.
constexpr std::uint8_t kMaxSysExBody = 22;

// What the notification leaves for the main flow: the byte count of the
// latest System Exclusive message and its status byte, the byte after F0
// (taken from the buffer by the notification: the buffer is already back
// with the port, where the next message may be written into it while the
// main flow looks). Count and status are one value, handed over and taken
// in one step, so that a reply that arrives while the last one is taken is
// neither lost nor taken twice, nor its count paired with another's status.
class ReplyMailbox {
public:
    // On the MIDI service's thread: a message has arrived.
    void Post(std::int16_t count, std::uint8_t status) {
        latest_ = static_cast<std::uint16_t>(count) | std::uint32_t{status} << 16;
    }
    // Takes the message waiting if it is a reply (two bytes at least: a
    // message of one is none, and stays); false when there is none.
    bool Take(std::uint8_t* status, std::int16_t* count = nullptr) {
        std::uint32_t latest = latest_;
        while (CountOf(latest) > 1) {
            if (latest_.compare_exchange_weak(latest, 0)) {
                *status = static_cast<std::uint8_t>(latest >> 16);
                if (count != nullptr) *count = CountOf(latest);
                return true;
            }
        }
        return false;
    }
    // The byte count of the latest message; 0 once taken.
    std::int16_t Count() const { return CountOf(latest_); }
    void Clear() { latest_ = 0; }

    // The latest message, from its F0 on; never cleared.
    std::uint8_t buffer[kReceiveBufferSize] = {};

private:
    static std::int16_t CountOf(std::uint32_t value) { return static_cast<std::int16_t>(value & 0xFFFF); }
    std::atomic<std::uint32_t> latest_{0};
};

// The ports of one run: the inputs it listens on, the outputs it sends on,
// each input's mailbox, and the event the notification signals. Its ports
// close when it goes, the inputs first, then the outputs. The platform's
// notification reaches the input it belongs to through the instance value.
class MidiLink {
public:
    MidiLink();
    ~MidiLink();
    MidiLink(const MidiLink&) = delete;
    MidiLink& operator=(const MidiLink&) = delete;

    // Open input port `index` beside those already open and start it, or
    // open output port `index` beside those already open; the platform's
    // code. The port opened must still bear the name `expected` (when one
    // is given): one that does not, since it was listed, is not opened
    // (MMSYSERR_BADDEVICEID).
    MMRESULT OpenMidiIn(UINT index, const char* expected = nullptr);
    MMRESULT OpenMidiOut(UINT index, const char* expected = nullptr);
    // Close every open input port, or every open output port; false when
    // none was open.
    bool CloseMidiIn();
    bool CloseMidiOut();
    // Close every open port of the kind but `keep`.
    void CloseOtherMidiIns(UINT keep);
    void CloseOtherMidiOuts(UINT keep);
    bool MidiInIsOpen(UINT index) const;

    // Sends F0, the n bytes of data (each below 0x80), F7 on output port
    // `output` and returns once the platform has released the message:
    // looking every millisecond while it holds it, for at most five seconds
    // (then the send has failed).
    MMRESULT SendSysEx(UINT output, const std::uint8_t* data, std::uint8_t n);
    // The pace output port `output`'s messages go at; from now on a cable's.
    LinkPace OutputPace(UINT output) const;
    void KeepCablePace(UINT output);

    // Waits up to `milliseconds` for the next System Exclusive message to
    // arrive on any input (of any length).
    void AwaitInput(DWORD milliseconds);

    ReplyMailbox& Mailbox(UINT input);
    const char* MidiInName(UINT input) const;
    const char* MidiOutName(UINT output) const;

    // Called by the MIDI service for input events, with the input's own
    // state as the instance value; nobody else calls it.
    static void CALLBACK OnMidiInput(HMIDIIN port, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                     DWORD_PTR param2);

private:
    static constexpr std::size_t kDeviceNameSize = 100;
    static constexpr std::size_t kFrameSize = 64;

    struct Input {
        HMIDIIN port = nullptr;
        // Read by OnMidiInput on the MIDI service's thread.
        std::atomic<bool> open{false};
        char name[kDeviceNameSize] = "";
        MIDIHDR header = {};
        ReplyMailbox mailbox;
        // The link's event, set whenever a message arrives.
        HANDLE notice = nullptr;
    };
    struct Output {
        HMIDIOUT port = nullptr;
        bool open = false;
        char name[kDeviceNameSize] = "";
    };

    static bool CloseInput(Input& input);
    static bool CloseOutput(Output& output);

    Input inputs_[kMaxPorts];
    Output outputs_[kMaxPorts];
    HANDLE notice_;
    MIDIHDR outputHeader_ = {};
    std::uint8_t frame_[kFrameSize] = {};
};
