#include "midi/midi_link.h"

#include <cstring>

namespace {

constexpr std::size_t kDeviceNameSize = 100;
constexpr std::size_t kFrameSize = 64;
constexpr DWORD kStillPlayingPauseMs = 100;

HMIDIIN inputPort = nullptr;
HMIDIOUT outputPort = nullptr;
// Read by OnMidiInput on the MIDI service's thread.
std::atomic<bool> inputOpen{false};
bool outputOpen = false;
char inputName[kDeviceNameSize] = "";
char outputName[kDeviceNameSize] = "";

ReplyMailbox mailbox;
// Set by the notification whenever it stores a byte count, so that the main
// flow can wait for a reply without waking every millisecond to look.
HANDLE inputNotice = nullptr;
MIDIHDR inputHeader;
MIDIHDR outputHeader;
std::uint8_t frame[kFrameSize];

// Hands the single receive buffer (back) to the input port.
void QueueReceiveBuffer() {
    midiInPrepareHeader(inputPort, &inputHeader, sizeof inputHeader);
    midiInAddBuffer(inputPort, &inputHeader, sizeof inputHeader);
}

void CopyName(char* to, const char* from) {
    std::strncpy(to, from, kDeviceNameSize - 1);
    to[kDeviceNameSize - 1] = '\0';
}

}  // namespace

MMRESULT OpenMidiIn(UINT index) {
    if (inputNotice == nullptr) inputNotice = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const MMRESULT opened =
        midiInOpen(&inputPort, index, reinterpret_cast<DWORD_PTR>(&OnMidiInput), 0, CALLBACK_FUNCTION);
    if (opened != MMSYSERR_NOERROR) {
        inputOpen = false;
        return opened;
    }
    MIDIINCAPSA caps = {};
    midiInGetDevCapsA(index, &caps, sizeof caps);
    CopyName(inputName, caps.szPname);

    inputHeader = MIDIHDR{};
    inputHeader.lpData = reinterpret_cast<LPSTR>(mailbox.buffer);
    inputHeader.dwBufferLength = kReceiveBufferSize;
    QueueReceiveBuffer();
    inputOpen = true;

    const MMRESULT started = midiInStart(inputPort);
    // An input that cannot start is closed again rather than left open
    // behind the caller's back.
    if (started != MMSYSERR_NOERROR) CloseMidiIn();
    return started;
}

MMRESULT OpenMidiOut(UINT index) {
    const MMRESULT opened = midiOutOpen(&outputPort, index, 0, 0, CALLBACK_NULL);
    if (opened != MMSYSERR_NOERROR) {
        outputOpen = false;
        return opened;
    }
    MIDIOUTCAPSA caps = {};
    midiOutGetDevCapsA(index, &caps, sizeof caps);
    CopyName(outputName, caps.szPname);
    outputOpen = true;
    return MMSYSERR_NOERROR;
}

bool CloseMidiIn() {
    if (!inputOpen) return false;
    inputOpen = false;
    // The port refuses to close while it holds a queued buffer: stop it and
    // take the buffer back first (the notification no longer re-queues it).
    midiInStop(inputPort);
    midiInReset(inputPort);
    midiInUnprepareHeader(inputPort, &inputHeader, sizeof inputHeader);
    midiInClose(inputPort);
    return true;
}

bool CloseMidiOut() {
    if (!outputOpen) return false;
    outputOpen = false;
    midiOutClose(outputPort);
    return true;
}

MMRESULT SendSysEx(const std::uint8_t* data, std::uint8_t n) {
    if (n > kMaxSysExBody) return MMSYSERR_INVALPARAM;
    std::memset(frame, 0, sizeof frame);
    frame[0] = 0xF0;
    std::memcpy(frame + 1, data, n);
    frame[n + 1] = 0xF7;

    outputHeader = MIDIHDR{};
    outputHeader.lpData = reinterpret_cast<LPSTR>(frame);
    outputHeader.dwBufferLength = n + 2u;
    MMRESULT code = midiOutPrepareHeader(outputPort, &outputHeader, sizeof outputHeader);
    if (code != MMSYSERR_NOERROR) return code;
    code = midiOutLongMsg(outputPort, &outputHeader, sizeof outputHeader);
    if (code != MMSYSERR_NOERROR) return code;
    while (midiOutUnprepareHeader(outputPort, &outputHeader, sizeof outputHeader) == MIDIERR_STILLPLAYING) {
        Sleep(kStillPlayingPauseMs);
    }
    return MMSYSERR_NOERROR;
}

void CALLBACK OnMidiInput(HMIDIIN, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
    // Short messages are never replies. An incomplete System Exclusive
    // message is no reply either, but its buffer must still go back to the
    // port, or every later reply would go unheard.
    if (message != MIM_LONGDATA && message != MIM_LONGERROR) return;
    if (message == MIM_LONGDATA) {
        const MIDIHDR* filled = reinterpret_cast<const MIDIHDR*>(param1);
        mailbox.status = static_cast<std::uint8_t>(filled->lpData[1]);
        mailbox.receivedCount = static_cast<std::int16_t>(filled->dwBytesRecorded & 0xFFFF);
        SetEvent(inputNotice);
    }
    if (inputOpen) {
        midiInUnprepareHeader(inputPort, &inputHeader, sizeof inputHeader);
        QueueReceiveBuffer();
    }
}

bool AwaitInput(DWORD milliseconds) {
    if (inputNotice == nullptr) {
        Sleep(milliseconds);
        return false;
    }
    return WaitForSingleObject(inputNotice, milliseconds) == WAIT_OBJECT_0;
}

ReplyMailbox& Mailbox() { return mailbox; }
std::uint8_t ReplyStatus() { return mailbox.status; }
const char* MidiInName() { return inputName; }
const char* MidiOutName() { return outputName; }
