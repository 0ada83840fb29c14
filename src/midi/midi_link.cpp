#include "midi/midi_link.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kDeviceNameSize = 100;
constexpr std::size_t kFrameSize = 64;
constexpr DWORD kStillPlayingPauseMs = 1;
// A message the platform holds longer than this will not go.
constexpr DWORD kStillPlayingLimitMs = 5000;
static_assert(kMaxSysExBody + 2 <= kFrameSize, "a frame holds the longest message");

struct Input {
    HMIDIIN port = nullptr;
    // Read by OnMidiInput on the MIDI service's thread.
    std::atomic<bool> open{false};
    char name[kDeviceNameSize] = "";
    MIDIHDR header;
    ReplyMailbox mailbox;
};

struct Output {
    HMIDIOUT port = nullptr;
    bool open = false;
    char name[kDeviceNameSize] = "";
};

Input inputs[kMaxPorts];
Output outputs[kMaxPorts];

// Set by the notification whenever it stores a byte count, so that the main
// flow can wait for a reply without waking every millisecond to look.
HANDLE inputNotice = nullptr;
MIDIHDR outputHeader;
std::uint8_t frame[kFrameSize];

// Hands the input's single receive buffer (back) to its port.
void QueueReceiveBuffer(Input& input) {
    midiInPrepareHeader(input.port, &input.header, sizeof input.header);
    midiInAddBuffer(input.port, &input.header, sizeof input.header);
}

void CopyName(char* to, const char* from) { std::snprintf(to, kDeviceNameSize, "%s", from); }

bool CloseInput(Input& input) {
    if (!input.open) return false;
    input.open = false;
    // The port refuses to close while it holds a queued buffer: stop it and
    // take the buffer back first (the notification no longer re-queues it).
    midiInStop(input.port);
    midiInReset(input.port);
    midiInUnprepareHeader(input.port, &input.header, sizeof input.header);
    midiInClose(input.port);
    return true;
}

bool CloseOutput(Output& output) {
    if (!output.open) return false;
    output.open = false;
    midiOutClose(output.port);
    return true;
}

}  // namespace

MMRESULT OpenMidiIn(UINT index) {
    if (index >= kMaxPorts) return MMSYSERR_BADDEVICEID;
    Input& input = inputs[index];
    if (input.open) return MMSYSERR_ALLOCATED;
    if (inputNotice == nullptr) inputNotice = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const MMRESULT opened =
        midiInOpen(&input.port, index, reinterpret_cast<DWORD_PTR>(&OnMidiInput), index, CALLBACK_FUNCTION);
    if (opened != MMSYSERR_NOERROR) return opened;
    MIDIINCAPSA caps = {};
    midiInGetDevCapsA(index, &caps, sizeof caps);
    CopyName(input.name, caps.szPname);

    input.header = MIDIHDR{};
    input.header.lpData = reinterpret_cast<LPSTR>(input.mailbox.buffer);
    input.header.dwBufferLength = kReceiveBufferSize;
    QueueReceiveBuffer(input);
    input.open = true;

    const MMRESULT started = midiInStart(input.port);
    // An input that cannot start is closed again rather than left open
    // behind the caller's back.
    if (started != MMSYSERR_NOERROR) CloseInput(input);
    return started;
}

MMRESULT OpenMidiOut(UINT index) {
    if (index >= kMaxPorts) return MMSYSERR_BADDEVICEID;
    Output& output = outputs[index];
    if (output.open) return MMSYSERR_ALLOCATED;
    const MMRESULT opened = midiOutOpen(&output.port, index, 0, 0, CALLBACK_NULL);
    if (opened != MMSYSERR_NOERROR) return opened;
    MIDIOUTCAPSA caps = {};
    midiOutGetDevCapsA(index, &caps, sizeof caps);
    CopyName(output.name, caps.szPname);
    output.open = true;
    return MMSYSERR_NOERROR;
}

bool CloseMidiIn() {
    bool closed = false;
    for (Input& input : inputs) closed |= CloseInput(input);
    return closed;
}

bool CloseMidiOut() {
    bool closed = false;
    for (Output& output : outputs) closed |= CloseOutput(output);
    return closed;
}

void CloseOtherMidiIns(UINT keep) {
    for (UINT i = 0; i < kMaxPorts; ++i) {
        if (i != keep) CloseInput(inputs[i]);
    }
}

void CloseOtherMidiOuts(UINT keep) {
    for (UINT i = 0; i < kMaxPorts; ++i) {
        if (i != keep) CloseOutput(outputs[i]);
    }
}

bool MidiInIsOpen(UINT index) { return index < kMaxPorts && inputs[index].open; }

MMRESULT SendSysEx(UINT output, const std::uint8_t* data, std::uint8_t n) {
    if (n > kMaxSysExBody || output >= kMaxPorts) return MMSYSERR_INVALPARAM;
    std::memset(frame, 0, sizeof frame);
    frame[0] = 0xF0;
    std::memcpy(frame + 1, data, n);
    frame[n + 1] = 0xF7;

    const HMIDIOUT port = outputs[output].port;
    outputHeader = MIDIHDR{};
    outputHeader.lpData = reinterpret_cast<LPSTR>(frame);
    outputHeader.dwBufferLength = n + 2u;
    MMRESULT code = midiOutPrepareHeader(port, &outputHeader, sizeof outputHeader);
    if (code != MMSYSERR_NOERROR) return code;
    code = midiOutLongMsg(port, &outputHeader, sizeof outputHeader);
    if (code != MMSYSERR_NOERROR) return code;
    const DWORD start = timeGetTime();
    while ((code = midiOutUnprepareHeader(port, &outputHeader, sizeof outputHeader)) == MIDIERR_STILLPLAYING) {
        if (timeGetTime() - start >= kStillPlayingLimitMs) return code;
        Sleep(kStillPlayingPauseMs);
    }
    // A message the platform gave back unsent (its device went meanwhile)
    // has failed as surely as one it refused.
    return code;
}

void CALLBACK OnMidiInput(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
    // Short messages are never replies. An incomplete System Exclusive
    // message is no reply either, but its buffer must still go back to the
    // port, or every later reply would go unheard.
    if (instance >= kMaxPorts || (message != MIM_LONGDATA && message != MIM_LONGERROR)) return;
    Input& input = inputs[instance];
    if (message == MIM_LONGDATA) {
        const MIDIHDR* filled = reinterpret_cast<const MIDIHDR*>(param1);
        input.mailbox.Post(static_cast<std::int16_t>(filled->dwBytesRecorded & 0xFFFF),
                           static_cast<std::uint8_t>(filled->lpData[1]));
        SetEvent(inputNotice);
    }
    if (input.open) {
        midiInUnprepareHeader(input.port, &input.header, sizeof input.header);
        QueueReceiveBuffer(input);
    }
}

void AwaitInput(DWORD milliseconds) {
    if (inputNotice == nullptr) {
        Sleep(milliseconds);
    } else {
        WaitForSingleObject(inputNotice, milliseconds);
    }
}

ReplyMailbox& Mailbox(UINT input) { return inputs[input].mailbox; }
const char* MidiInName(UINT input) { return inputs[input].name; }
const char* MidiOutName(UINT output) { return outputs[output].name; }
