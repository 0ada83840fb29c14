#include "midi/midi_link.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr DWORD kStillPlayingPauseMs = 1;
// A message the platform holds longer than this will not go.
constexpr DWORD kStillPlayingLimitMs = 5000;

// Hands an input's single receive buffer (back) to its port.
void QueueReceiveBuffer(HMIDIIN port, MIDIHDR* header) {
    midiInPrepareHeader(port, header, sizeof *header);
    midiInAddBuffer(port, header, sizeof *header);
}

template <std::size_t kSize>
void CopyName(char (&to)[kSize], const char* from) {
    std::snprintf(to, kSize, "%s", from);
}

// The port's name now, to be compared with the one it was listed under.
template <typename Caps, typename Query>
bool BearsName(bool input, Query query, UINT index, const char* expected, Caps* caps) {
    *caps = Caps{};
    const MMRESULT asked = query(index, caps, sizeof *caps);
    if (expected == nullptr) return true;
    char listed[kPortNameSize];
    ListedName(input, index, caps->szPname, listed);
    return asked == MMSYSERR_NOERROR && std::strcmp(listed, expected) == 0;
}

}  // namespace

MidiLink::MidiLink() : notice_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
    static_assert(kMaxSysExBody + 2 <= kFrameSize, "a frame holds the longest message");
    for (Input& input : inputs_) input.notice = notice_;
}

MidiLink::~MidiLink() {
    CloseMidiIn();
    CloseMidiOut();
    CloseHandle(notice_);
}

bool MidiLink::CloseInput(Input& input) {
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

bool MidiLink::CloseOutput(Output& output) {
    if (!output.open) return false;
    output.open = false;
    midiOutClose(output.port);
    return true;
}

MMRESULT MidiLink::OpenMidiIn(UINT index, const char* expected) {
    if (index >= kMaxPorts) return MMSYSERR_BADDEVICEID;
    Input& input = inputs_[index];
    if (input.open) return MMSYSERR_ALLOCATED;
    MIDIINCAPSA caps;
    if (!BearsName(true, midiInGetDevCapsA, index, expected, &caps)) return MMSYSERR_BADDEVICEID;
    const MMRESULT opened = midiInOpen(&input.port, index, reinterpret_cast<DWORD_PTR>(&OnMidiInput),
                                       reinterpret_cast<DWORD_PTR>(&input), CALLBACK_FUNCTION);
    if (opened != MMSYSERR_NOERROR) return opened;
    CopyName(input.name, caps.szPname);

    input.header = MIDIHDR{};
    input.header.lpData = reinterpret_cast<LPSTR>(input.mailbox.buffer);
    input.header.dwBufferLength = kReceiveBufferSize;
    QueueReceiveBuffer(input.port, &input.header);
    input.open = true;

    const MMRESULT started = midiInStart(input.port);
    // An input that cannot start is closed again rather than left open
    // behind the caller's back.
    if (started != MMSYSERR_NOERROR) CloseInput(input);
    return started;
}

MMRESULT MidiLink::OpenMidiOut(UINT index, const char* expected) {
    if (index >= kMaxPorts) return MMSYSERR_BADDEVICEID;
    Output& output = outputs_[index];
    if (output.open) return MMSYSERR_ALLOCATED;
    MIDIOUTCAPSA caps;
    if (!BearsName(false, midiOutGetDevCapsA, index, expected, &caps)) return MMSYSERR_BADDEVICEID;
    const MMRESULT opened = midiOutOpen(&output.port, index, 0, 0, CALLBACK_NULL);
    if (opened != MMSYSERR_NOERROR) return opened;
    CopyName(output.name, caps.szPname);
    output.open = true;
    return MMSYSERR_NOERROR;
}

bool MidiLink::CloseMidiIn() {
    bool closed = false;
    for (Input& input : inputs_) closed |= CloseInput(input);
    return closed;
}

bool MidiLink::CloseMidiOut() {
    bool closed = false;
    for (Output& output : outputs_) closed |= CloseOutput(output);
    return closed;
}

void MidiLink::CloseOtherMidiIns(UINT keep) {
    for (UINT i = 0; i < kMaxPorts; ++i) {
        if (i != keep) CloseInput(inputs_[i]);
    }
}

void MidiLink::CloseOtherMidiOuts(UINT keep) {
    for (UINT i = 0; i < kMaxPorts; ++i) {
        if (i != keep) CloseOutput(outputs_[i]);
    }
}

bool MidiLink::MidiInIsOpen(UINT index) const { return index < kMaxPorts && inputs_[index].open; }

MMRESULT MidiLink::SendSysEx(UINT output, const std::uint8_t* data, std::uint8_t n) {
    if (n > kMaxSysExBody || output >= kMaxPorts) return MMSYSERR_INVALPARAM;
    std::memset(frame_, 0, sizeof frame_);
    frame_[0] = 0xF0;
    std::memcpy(frame_ + 1, data, n);
    frame_[n + 1] = 0xF7;

    const HMIDIOUT port = outputs_[output].port;
    outputHeader_ = MIDIHDR{};
    outputHeader_.lpData = reinterpret_cast<LPSTR>(frame_);
    outputHeader_.dwBufferLength = n + 2u;
    MMRESULT code = midiOutPrepareHeader(port, &outputHeader_, sizeof outputHeader_);
    if (code != MMSYSERR_NOERROR) return code;
    code = midiOutLongMsg(port, &outputHeader_, sizeof outputHeader_);
    if (code != MMSYSERR_NOERROR) return code;
    const DWORD start = timeGetTime();
    while ((code = midiOutUnprepareHeader(port, &outputHeader_, sizeof outputHeader_)) == MIDIERR_STILLPLAYING) {
        if (timeGetTime() - start >= kStillPlayingLimitMs) return code;
        Sleep(kStillPlayingPauseMs);
    }
    // A message the platform gave back unsent (its device went meanwhile)
    // has failed as surely as one it refused.
    return code;
}

void CALLBACK MidiLink::OnMidiInput(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
    // Short messages are never replies. An incomplete System Exclusive
    // message is no reply either, but its buffer must still go back to the
    // port, or every later reply would go unheard.
    if (instance == 0 || (message != MIM_LONGDATA && message != MIM_LONGERROR)) return;
    Input& input = *reinterpret_cast<Input*>(instance);
    if (message == MIM_LONGDATA) {
        const MIDIHDR* filled = reinterpret_cast<const MIDIHDR*>(param1);
        input.mailbox.Post(static_cast<std::int16_t>(filled->dwBytesRecorded & 0xFFFF),
                           static_cast<std::uint8_t>(filled->lpData[1]));
        SetEvent(input.notice);
    }
    if (input.open) {
        midiInUnprepareHeader(input.port, &input.header, sizeof input.header);
        QueueReceiveBuffer(input.port, &input.header);
    }
}

LinkPace MidiLink::OutputPace(UINT output) const { return MidiOutLinkPace(outputs_[output].port); }

void MidiLink::KeepCablePace(UINT output) { MidiOutKeepCablePace(outputs_[output].port); }

void MidiLink::AwaitInput(DWORD milliseconds) { WaitForSingleObject(notice_, milliseconds); }

ReplyMailbox& MidiLink::Mailbox(UINT input) { return inputs_[input].mailbox; }
const char* MidiLink::MidiInName(UINT input) const { return inputs_[input].name; }
const char* MidiLink::MidiOutName(UINT output) const { return outputs_[output].name; }
