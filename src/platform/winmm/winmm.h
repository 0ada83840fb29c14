// The Windows Multimedia MIDI calls the program is written against, the
// millisecond sleep and clock, and the event the MIDI notification signals.
// On Windows these are the system's own; elsewhere this header declares the
// same subset, with the same names, types, constants and result codes, and a
// layer of ours implements it (over RtMidi for the real program, in process
// for tests). Tests on Windows use these declarations
// too (TESSARINE_OWN_WINMM): the system's are imports from its DLLs, which a
// simulated platform cannot stand in for.
#pragma once

#include <cstddef>

#if defined(_WIN32) && !defined(TESSARINE_OWN_WINMM)

#ifndef NOMINMAX
#define NOMINMAX
#endif
// windows.h first: mmsystem.h builds on it.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#else

#include <cstdint>

typedef unsigned int UINT;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::uintptr_t DWORD_PTR;
typedef std::uintptr_t UINT_PTR;
typedef UINT MMRESULT;
typedef char* LPSTR;
typedef int BOOL;
typedef void* HANDLE;

#define FALSE 0
#define TRUE 1

#define CALLBACK

// Windows' own names for the handles' types.
typedef struct HMIDIIN__* HMIDIIN;    // NOLINT(bugprone-reserved-identifier)
typedef struct HMIDIOUT__* HMIDIOUT;  // NOLINT(bugprone-reserved-identifier)
typedef HMIDIIN* LPHMIDIIN;
typedef HMIDIOUT* LPHMIDIOUT;

typedef struct midihdr_tag {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    struct midihdr_tag* lpNext;
    DWORD_PTR reserved;
    DWORD dwOffset;
    DWORD_PTR dwReserved[8];
} MIDIHDR, *LPMIDIHDR;

#define MAXPNAMELEN 32

typedef struct {
    WORD wMid;
    WORD wPid;
    UINT vDriverVersion;
    char szPname[MAXPNAMELEN];
    DWORD dwSupport;
} MIDIINCAPSA, *LPMIDIINCAPSA;

typedef struct {
    WORD wMid;
    WORD wPid;
    UINT vDriverVersion;
    char szPname[MAXPNAMELEN];
    WORD wTechnology;
    WORD wVoices;
    WORD wNotes;
    WORD wChannelMask;
    DWORD dwSupport;
} MIDIOUTCAPSA, *LPMIDIOUTCAPSA;

#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1
#define MMSYSERR_BADDEVICEID 2
#define MMSYSERR_ALLOCATED 4
#define MMSYSERR_INVALHANDLE 5
#define MMSYSERR_NODRIVER 6
#define MMSYSERR_NOMEM 7
#define MMSYSERR_INVALFLAG 10
#define MMSYSERR_INVALPARAM 11
#define MIDIERR_UNPREPARED 64
#define MIDIERR_STILLPLAYING 65
#define MIDIERR_NOTREADY 67
#define MIDIERR_NODEVICE 68

#define MHDR_DONE 0x00000001
#define MHDR_PREPARED 0x00000002
#define MHDR_INQUEUE 0x00000004

#define MIM_DATA 0x3C3
#define MIM_LONGDATA 0x3C4
#define MIM_LONGERROR 0x3C6

#define CALLBACK_NULL 0x00000000
#define CALLBACK_FUNCTION 0x00030000

// The notification routine an input port opened with CALLBACK_FUNCTION calls.
typedef void(CALLBACK* MIDIINPROC)(HMIDIIN port, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);

MMRESULT midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT capsSize);
MMRESULT midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT midiInPrepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT headerSize);
MMRESULT midiInUnprepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT headerSize);
MMRESULT midiInAddBuffer(HMIDIIN handle, LPMIDIHDR header, UINT headerSize);
MMRESULT midiInStart(HMIDIIN handle);
MMRESULT midiInStop(HMIDIIN handle);
MMRESULT midiInReset(HMIDIIN handle);
MMRESULT midiInClose(HMIDIIN handle);

MMRESULT midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT capsSize);
MMRESULT midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize);
MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize);
MMRESULT midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT headerSize);
MMRESULT midiOutClose(HMIDIOUT handle);

void Sleep(DWORD milliseconds);
// Milliseconds since some start; wraps.
DWORD timeGetTime();

#define WAIT_OBJECT_0 0x00000000
#define WAIT_TIMEOUT 0x00000102

// An event that one thread sets and another waits for; an auto-reset event
// (manualReset false) is cleared again by the wait that sees it set.
HANDLE CreateEventA(void* attributes, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE handle);
BOOL CloseHandle(HANDLE handle);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

#endif

// Not a Windows call: sleeps at least `milliseconds`, and not much more
// (Sleep wakes on the system's tick, or late by the timer's latency).
void SleepAtLeast(DWORD milliseconds);
// Not a Windows call: how many cycles the MIDI service has reported it
// missed since the program began (a JACK server's xruns, in which MIDI
// messages may be lost or held back); 0 where the service has no cycles.
DWORD MidiServiceMissedCycles();
// Not a Windows call: the whole name of MIDI port `index`, an input or an
// output, where the service's names can be longer than the capability
// record's 31 characters; false where it has no more to tell.
bool MidiPortWholeName(bool input, UINT index, char* name, std::size_t size);

// Not a Windows call: the name of the MIDI service the ports are of ("ALSA",
// "JACK", "CoreMIDI", "Windows MIDI", "Web MIDI"); "" when none can be
// reached.
const char* MidiServiceName();

// Not Windows calls: the pace an output's messages go at on their way to
// the device. A 5-pin MIDI cable carries 3125 bytes a second, a USB link
// far more; a card's buffer in between drops what does not fit, unless its
// driver holds the sender back.
enum class LinkPace {
    kProgram,  // another program's port: no wire behind it
    kBuffer,   // as the card's buffer, which the kernel shows, takes them
    kFast,     // hardware whose buffer is not shown: as fast as they come
    kCable,    // no faster than a cable carries them
    kDriver,   // the driver holds each message until its wire has taken it
};
LinkPace MidiOutLinkPace(HMIDIOUT handle);
// From now on the output keeps a cable's pace.
void MidiOutKeepCablePace(HMIDIOUT handle);
