// The Windows Multimedia MIDI subset over RtMidi, for platforms other than
// Windows. Ports are numbered from 0 in the service's own order, leaving out
// the ports of this program's own clients. Input buffers are handed over and
// returned as winmm does; sends return once RtMidi has handed the message to
// the service.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>

#include "platform/midi_service.h"
#include "platform/winmm.h"

namespace {

constexpr char kClientName[] = "tessarine-update";
// How often a send looks whether its port is still listed; the look walks
// the service's port list, too slow to repeat for every chunk.
constexpr auto kPortCheckInterval = std::chrono::milliseconds(100);

using Clock = std::chrono::steady_clock;

void RecordFailure(RtMidiError::Type type, const std::string&, void* failed) {
    if (type != RtMidiError::DEBUG_WARNING) static_cast<std::atomic<bool>*>(failed)->store(true);
}

// Finds port `index` of the client's list; our own clients' ports are not
// counted. Fills the service's own index and the port's name.
bool FindPort(RtMidi& client, UINT_PTR index, unsigned* serviceIndex, std::string* name) {
    const unsigned count = client.getPortCount();
    UINT_PTR seen = 0;
    for (unsigned i = 0; i < count; ++i) {
        std::string portName = client.getPortName(i);
        if (portName.empty() || portName.rfind(kClientName, 0) == 0) continue;
        if (seen++ == index) {
            *serviceIndex = i;
            *name = std::move(portName);
            return true;
        }
    }
    return false;
}

template <typename Caps>
MMRESULT FillCaps(RtMidi* probe, UINT_PTR index, Caps* caps, UINT capsSize) {
    if (caps == nullptr || capsSize < sizeof(Caps)) return MMSYSERR_INVALPARAM;
    unsigned serviceIndex = 0;
    std::string name;
    if (probe == nullptr || !FindPort(*probe, index, &serviceIndex, &name)) return MMSYSERR_BADDEVICEID;
    *caps = Caps{};
    std::strncpy(caps->szPname, name.c_str(), MAXPNAMELEN - 1);
    return MMSYSERR_NOERROR;
}

// Clients kept for the whole run to answer capability queries. They are
// never closed: libjack crashes closing a client whose server has gone, and
// the process's end releases them anyway.
std::atomic<bool> probeFailed{false};
RtMidiIn* InputProbe() {
    static RtMidiIn* const probe = MakeMidiIn(kClientName, RecordFailure, &probeFailed).release();
    return probe;
}
RtMidiOut* OutputProbe() {
    static RtMidiOut* const probe = MakeMidiOut(kClientName, RecordFailure, &probeFailed).release();
    return probe;
}

}  // namespace

struct HMIDIIN__ {
    std::unique_ptr<RtMidiIn> client;
    std::atomic<bool> failed{false};
    MIDIINPROC callback = nullptr;
    DWORD_PTR instance = 0;
    Clock::time_point startedAt;
    std::mutex lock;  // guards what follows, and the flags of queued headers
    bool started = false;
    bool closing = false;
    std::deque<MIDIHDR*> queue;
};

struct HMIDIOUT__ {
    std::unique_ptr<RtMidiOut> client;
    std::atomic<bool> failed{false};
    std::string portName;
    Clock::time_point lastCheck;
};

namespace {

DWORD_PTR MillisecondsSince(Clock::time_point start) {
    return static_cast<DWORD_PTR>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

void Notify(HMIDIIN__* port, UINT message, DWORD_PTR param1) {
    if (port->callback != nullptr) port->callback(port, message, port->instance, param1, MillisecondsSince(port->startedAt));
}

// Runs on RtMidi's thread for every message the port receives.
void OnServiceInput(double, std::vector<unsigned char>* message, void* userData) {
    auto* port = static_cast<HMIDIIN__*>(userData);
    if (message->empty()) return;
    std::unique_lock<std::mutex> guard(port->lock);
    if (!port->started) return;
    if ((*message)[0] != 0xF0) {
        DWORD packed = 0;
        for (std::size_t i = 0; i < message->size() && i < 3; ++i) packed |= DWORD{(*message)[i]} << (8 * i);
        guard.unlock();
        Notify(port, MIM_DATA, packed);
        return;
    }
    // With no buffer queued the message is lost, as on Windows.
    if (port->queue.empty()) return;
    MIDIHDR* header = port->queue.front();
    port->queue.pop_front();
    const std::size_t length = std::min<std::size_t>(message->size(), header->dwBufferLength);
    std::memcpy(header->lpData, message->data(), length);
    header->dwBytesRecorded = static_cast<DWORD>(length);
    header->dwFlags = (header->dwFlags & ~DWORD{MHDR_INQUEUE}) | MHDR_DONE;
    const bool complete = length == message->size() && message->back() == 0xF7;
    guard.unlock();
    Notify(port, complete ? MIM_LONGDATA : MIM_LONGERROR, reinterpret_cast<DWORD_PTR>(header));
}

bool StillListed(HMIDIOUT__* port) {
    RtMidiOut& client = *port->client;
    const unsigned count = client.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        if (client.getPortName(i) == port->portName) return true;
    }
    return false;
}

}  // namespace

MMRESULT midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT capsSize) {
    return FillCaps(InputProbe(), deviceId, caps, capsSize);
}

MMRESULT midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT capsSize) {
    return FillCaps(OutputProbe(), deviceId, caps, capsSize);
}

MMRESULT midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    if (handle == nullptr) return MMSYSERR_INVALPARAM;
    if (flags != CALLBACK_FUNCTION && flags != CALLBACK_NULL) return MMSYSERR_INVALFLAG;
    auto port = std::make_unique<HMIDIIN__>();
    port->client = MakeMidiIn(kClientName, RecordFailure, &port->failed);
    if (!port->client) return MMSYSERR_NODRIVER;
    unsigned serviceIndex = 0;
    std::string name;
    if (!FindPort(*port->client, deviceId, &serviceIndex, &name)) return MMSYSERR_BADDEVICEID;
    if (flags == CALLBACK_FUNCTION) port->callback = reinterpret_cast<MIDIINPROC>(callback);
    port->instance = instance;
    port->client->ignoreTypes(false, true, true);
    port->client->setCallback(OnServiceInput, port.get());
    port->failed = false;
    port->client->openPort(serviceIndex, "in");
    if (port->failed || !port->client->isPortOpen()) return MMSYSERR_ALLOCATED;
    *handle = port.release();
    return MMSYSERR_NOERROR;
}

MMRESULT midiInPrepareHeader(HMIDIIN port, LPMIDIHDR header, UINT headerSize) {
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if (header == nullptr || headerSize < sizeof(MIDIHDR) || header->lpData == nullptr) return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> guard(port->lock);
    header->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInUnprepareHeader(HMIDIIN port, LPMIDIHDR header, UINT headerSize) {
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if (header == nullptr || headerSize < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> guard(port->lock);
    if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
    header->dwFlags &= ~DWORD{MHDR_PREPARED};
    return MMSYSERR_NOERROR;
}

MMRESULT midiInAddBuffer(HMIDIIN port, LPMIDIHDR header, UINT headerSize) {
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if (header == nullptr || headerSize < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> guard(port->lock);
    if (port->closing) return MMSYSERR_INVALHANDLE;
    if ((header->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
    if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags | MHDR_INQUEUE) & ~DWORD{MHDR_DONE};
    header->dwBytesRecorded = 0;
    port->queue.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT midiInStart(HMIDIIN port) {
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    std::lock_guard<std::mutex> guard(port->lock);
    if (!port->started) port->startedAt = Clock::now();
    port->started = true;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInStop(HMIDIIN port) {
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    std::lock_guard<std::mutex> guard(port->lock);
    port->started = false;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInReset(HMIDIIN port) {
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    std::deque<MIDIHDR*> returned;
    {
        std::lock_guard<std::mutex> guard(port->lock);
        port->started = false;
        returned.swap(port->queue);
        for (MIDIHDR* header : returned) {
            header->dwBytesRecorded = 0;
            header->dwFlags = (header->dwFlags & ~DWORD{MHDR_INQUEUE}) | MHDR_DONE;
        }
    }
    for (MIDIHDR* header : returned) Notify(port, MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header));
    return MMSYSERR_NOERROR;
}

MMRESULT midiInClose(HMIDIIN port) {
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard<std::mutex> guard(port->lock);
        if (!port->queue.empty()) return MIDIERR_STILLPLAYING;
        port->closing = true;
    }
    // Closing the client waits for a notification still under way.
    port->client.reset();
    delete port;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR, DWORD_PTR, DWORD flags) {
    if (handle == nullptr) return MMSYSERR_INVALPARAM;
    if (flags != CALLBACK_NULL) return MMSYSERR_INVALFLAG;
    auto port = std::make_unique<HMIDIOUT__>();
    port->client = MakeMidiOut(kClientName, RecordFailure, &port->failed);
    if (!port->client) return MMSYSERR_NODRIVER;
    unsigned serviceIndex = 0;
    if (!FindPort(*port->client, deviceId, &serviceIndex, &port->portName)) return MMSYSERR_BADDEVICEID;
    port->failed = false;
    port->client->openPort(serviceIndex, "out");
    if (port->failed || !port->client->isPortOpen()) return MMSYSERR_ALLOCATED;
    port->lastCheck = Clock::now();
    *handle = port.release();
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutPrepareHeader(HMIDIOUT port, LPMIDIHDR header, UINT headerSize) {
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if (header == nullptr || headerSize < sizeof(MIDIHDR) || header->lpData == nullptr) return MMSYSERR_INVALPARAM;
    header->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutLongMsg(HMIDIOUT port, LPMIDIHDR header, UINT headerSize) {
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if (header == nullptr || headerSize < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
    if ((header->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
    const Clock::time_point now = Clock::now();
    if (now - port->lastCheck >= kPortCheckInterval) {
        port->lastCheck = now;
        if (!StillListed(port)) return MIDIERR_NODEVICE;
    }
    port->failed = false;
    port->client->sendMessage(reinterpret_cast<const unsigned char*>(header->lpData), header->dwBufferLength);
    if (port->failed) return MMSYSERR_ERROR;
    header->dwFlags |= MHDR_DONE;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT port, LPMIDIHDR header, UINT headerSize) {
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if (header == nullptr || headerSize < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
    header->dwFlags &= ~DWORD{MHDR_PREPARED};
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutClose(HMIDIOUT port) {
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    delete port;
    return MMSYSERR_NOERROR;
}
