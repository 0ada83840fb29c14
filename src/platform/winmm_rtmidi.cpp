// The Windows Multimedia MIDI subset over RtMidi, for platforms other than
// Windows. Ports are numbered from 0 in the service's own order, leaving out
// the ports of this program's own clients. Input buffers are handed over and
// returned as winmm does; sends return once RtMidi has handed the message to
// the service. Handles are those of a table (port_table.h): a closed one
// answers MMSYSERR_INVALHANDLE.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/midi_service.h"
#include "platform/port_table.h"
#include "platform/winmm.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kClientName[] = "tessarine-update";
// How often a send looks whether its port is still listed; the look walks
// the service's port list, too slow to repeat for every chunk.
constexpr auto kPortCheckInterval = std::chrono::milliseconds(100);

void RecordFailure(RtMidiError::Type type, const std::string&, void* failed) {
    if (type != RtMidiError::DEBUG_WARNING) static_cast<std::atomic<bool>*>(failed)->store(true);
}

struct ListedPort {
    unsigned serviceIndex;
    std::string name;
};

// The client's list of ports, in the service's order, without those of our
// own clients.
std::vector<ListedPort> Listing(RtMidi& client) {
    std::vector<ListedPort> ports;
    const unsigned count = client.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        std::string name = client.getPortName(i);
        if (!name.empty() && name.rfind(kClientName, 0) != 0) ports.push_back({i, std::move(name)});
    }
    return ports;
}

// Finds port `index` of the client's own list, as the client must open it.
bool FindPort(RtMidi& client, UINT_PTR index, unsigned* serviceIndex, std::string* name) {
    std::vector<ListedPort> ports = Listing(client);
    if (index >= ports.size()) return false;
    *serviceIndex = ports[index].serviceIndex;
    *name = std::move(ports[index].name);
    return true;
}

template <typename Caps>
MMRESULT FillCaps(RtMidi* client, UINT_PTR index, Caps* caps) {
    if (client == nullptr) return MMSYSERR_NODRIVER;
    unsigned serviceIndex = 0;
    std::string name;
    if (!FindPort(*client, index, &serviceIndex, &name)) return MMSYSERR_BADDEVICEID;
    *caps = Caps{};
    std::strncpy(caps->szPname, name.c_str(), MAXPNAMELEN - 1);
    return MMSYSERR_NOERROR;
}

// Closes a client, unless its service has stopped: libjack crashes closing
// a client whose server has gone, so such clients are kept, reachable, to
// the process's end.
template <typename Client>
void Dispose(std::unique_ptr<Client> client) {
    static auto* const abandoned = new std::vector<Client*>;
    if (MidiServiceGone()) abandoned->push_back(client.release());
}

// Clients that answer capability queries, made on the first query and kept
// to the process's end: a JACK client costs tens of milliseconds to make and
// as many to close. They are closed when the process ends, before libjack's
// own state goes, as a client left open stalls a JACK server in synchronous
// mode until it notices. (Plain pointers: nothing of them is to be left to
// static destruction.)
std::atomic<bool> listingFailed{false};
RtMidiIn* inputLister = nullptr;
RtMidiOut* outputLister = nullptr;

void CloseClientsAtExit() {
    Dispose(std::unique_ptr<RtMidiIn>(inputLister));
    Dispose(std::unique_ptr<RtMidiOut>(outputLister));
    inputLister = nullptr;
    outputLister = nullptr;
}

template <typename Client>
RtMidi* Lister(Client** lister, std::unique_ptr<Client> (*make)(const char*, RtMidiErrorCallback, void*)) {
    static const bool closedAtExit = std::atexit(CloseClientsAtExit) == 0;
    (void)closedAtExit;
    if (*lister == nullptr) *lister = make(kClientName, RecordFailure, &listingFailed).release();
    return *lister;
}

struct InputPort {
    HMIDIIN handle = nullptr;
    std::unique_ptr<RtMidiIn> client;
    std::atomic<bool> failed{false};
    MIDIINPROC callback = nullptr;
    DWORD_PTR instance = 0;
    std::mutex lock;  // guards what follows, and the flags of queued headers
    bool started = false;
    bool closing = false;
    std::deque<MIDIHDR*> queue;
};

struct OutputPort {
    std::unique_ptr<RtMidiOut> client;
    std::atomic<bool> failed{false};
    std::string portName;
    Clock::time_point lastCheck;
};

// Never destroyed: a port left open at the end is not closed by static
// destruction, after libjack's own state has gone.
PortTable<InputPort, HMIDIIN>& inputs = *new PortTable<InputPort, HMIDIIN>;
PortTable<OutputPort, HMIDIOUT>& outputs = *new PortTable<OutputPort, HMIDIOUT>;

void Notify(InputPort* port, UINT message, DWORD_PTR param1) {
    // The time stamp winmm passes as the second parameter is not kept.
    if (port->callback != nullptr) port->callback(port->handle, message, port->instance, param1, 0);
}

// Runs on RtMidi's thread for every message the port receives.
void OnServiceInput(double, std::vector<unsigned char>* message, void* userData) {
    auto* port = static_cast<InputPort*>(userData);
    // Short messages are of no use to the program: they are not passed on.
    if (message->empty() || (*message)[0] != 0xF0) return;
    std::unique_lock<std::mutex> guard(port->lock);
    if (!port->started) return;
    // A message longer than the buffer fills it, goes back as long data and
    // goes on in the next buffer; with no buffer queued the rest is lost.
    // So winmm does.
    std::size_t done = 0;
    while (done < message->size()) {
        if (!guard.owns_lock()) guard.lock();
        if (!port->started || port->queue.empty()) return;
        MIDIHDR* header = port->queue.front();
        port->queue.pop_front();
        const std::size_t length = std::min<std::size_t>(message->size() - done, header->dwBufferLength);
        std::memcpy(header->lpData, message->data() + done, length);
        done += length;
        header->dwBytesRecorded = static_cast<DWORD>(length);
        header->dwFlags &= ~DWORD{MHDR_INQUEUE};
        const bool cutShort = done == message->size() && message->back() != 0xF7;
        guard.unlock();
        // The notification hands the buffer back, or another, for the rest.
        Notify(port, cutShort ? MIM_LONGERROR : MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header));
    }
}

bool StillListed(OutputPort* port) {
    RtMidiOut& client = *port->client;
    const unsigned count = client.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        if (client.getPortName(i) == port->portName) return true;
    }
    return false;
}

}  // namespace

MMRESULT midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT) {
    return FillCaps(Lister(&inputLister, MakeMidiIn), deviceId, caps);
}

MMRESULT midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT) {
    return FillCaps(Lister(&outputLister, MakeMidiOut), deviceId, caps);
}

MMRESULT midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD) {
    auto port = std::make_unique<InputPort>();
    port->client = MakeMidiIn(kClientName, RecordFailure, &port->failed);
    if (!port->client) return MMSYSERR_NODRIVER;
    unsigned serviceIndex = 0;
    std::string name;
    if (!FindPort(*port->client, deviceId, &serviceIndex, &name)) return MMSYSERR_BADDEVICEID;
    port->callback = reinterpret_cast<MIDIINPROC>(callback);
    port->instance = instance;
    port->client->ignoreTypes(false, true, true);
    port->client->setCallback(OnServiceInput, port.get());
    port->failed = false;
    port->client->openPort(serviceIndex, "in");
    if (port->failed || !port->client->isPortOpen()) return MMSYSERR_ALLOCATED;
    InputPort* opened = port.get();
    const HMIDIIN added = inputs.Add(std::move(port));
    if (added == nullptr) return MMSYSERR_NOMEM;
    // Nothing reaches the callback before the port is started.
    opened->handle = added;
    *handle = added;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInPrepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT) {
    InputPort* port = inputs.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    std::lock_guard<std::mutex> guard(port->lock);
    header->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInUnprepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT) {
    InputPort* port = inputs.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    std::lock_guard<std::mutex> guard(port->lock);
    header->dwFlags &= ~DWORD{MHDR_PREPARED};
    return MMSYSERR_NOERROR;
}

MMRESULT midiInAddBuffer(HMIDIIN handle, LPMIDIHDR header, UINT) {
    InputPort* port = inputs.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    std::lock_guard<std::mutex> guard(port->lock);
    if (port->closing) return MMSYSERR_INVALHANDLE;
    header->dwFlags |= MHDR_INQUEUE;
    port->queue.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT midiInStart(HMIDIIN handle) {
    InputPort* port = inputs.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    std::lock_guard<std::mutex> guard(port->lock);
    port->started = true;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInStop(HMIDIIN handle) {
    InputPort* port = inputs.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    std::lock_guard<std::mutex> guard(port->lock);
    port->started = false;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInReset(HMIDIIN handle) {
    InputPort* port = inputs.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    std::deque<MIDIHDR*> returned;
    {
        std::lock_guard<std::mutex> guard(port->lock);
        port->started = false;
        returned.swap(port->queue);
        for (MIDIHDR* header : returned) {
            header->dwBytesRecorded = 0;
            header->dwFlags &= ~DWORD{MHDR_INQUEUE};
        }
    }
    for (MIDIHDR* header : returned) Notify(port, MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header));
    return MMSYSERR_NOERROR;
}

MMRESULT midiInClose(HMIDIIN handle) {
    InputPort* port = inputs.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard<std::mutex> guard(port->lock);
        port->closing = true;
    }
    // Closing the client waits for a notification still under way, which
    // may still look the port up; only then is it taken out of the table.
    Dispose(std::move(port->client));
    inputs.Remove(handle);
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR, DWORD_PTR, DWORD) {
    auto port = std::make_unique<OutputPort>();
    port->client = MakeMidiOut(kClientName, RecordFailure, &port->failed);
    if (!port->client) return MMSYSERR_NODRIVER;
    unsigned serviceIndex = 0;
    if (!FindPort(*port->client, deviceId, &serviceIndex, &port->portName)) return MMSYSERR_BADDEVICEID;
    port->failed = false;
    port->client->openPort(serviceIndex, "out");
    if (port->failed || !port->client->isPortOpen()) return MMSYSERR_ALLOCATED;
    port->lastCheck = Clock::now();
    *handle = outputs.Add(std::move(port));
    return *handle != nullptr ? MMSYSERR_NOERROR : MMSYSERR_NOMEM;
}

MMRESULT midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR, UINT) {
    return outputs.Find(handle) != nullptr ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT) {
    OutputPort* port = outputs.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if (MidiServiceGone()) return MIDIERR_NODEVICE;
    const Clock::time_point now = Clock::now();
    if (now - port->lastCheck >= kPortCheckInterval) {
        port->lastCheck = now;
        if (!StillListed(port)) return MIDIERR_NODEVICE;
    }
    port->failed = false;
    port->client->sendMessage(reinterpret_cast<const unsigned char*>(header->lpData), header->dwBufferLength);
    return port->failed ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR, UINT) {
    return outputs.Find(handle) != nullptr ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT midiOutClose(HMIDIOUT handle) {
    std::unique_ptr<OutputPort> port = outputs.Remove(handle);
    if (!port) return MMSYSERR_INVALHANDLE;
    AwaitSentMessages();
    Dispose(std::move(port->client));
    return MMSYSERR_NOERROR;
}
