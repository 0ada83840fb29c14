// The Windows Multimedia MIDI subset over the MIDI service's ports
// (service_ports.h), for platforms other than Windows. Ports are numbered
// from 0 in the service's own order, leaving out the ports of this
// program's own clients. Input buffers are handed over and returned as winmm
// does. A long message is done once the service has taken it; until then
// taking its header back answers MIDIERR_STILLPLAYING, so the sender waits,
// and nothing is ever dropped on the way. A port whose card's buffer the
// kernel shows takes no more than that buffer has room for, and one told to
// keep a cable's pace no more than its wire can drain (wire_budget.h); each
// holds the rest the same way. Handles are those of a table
// (port_table.h): a closed one answers MMSYSERR_INVALHANDLE.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/service/service_ports.h"
#include "platform/service/wire_budget.h"
#include "platform/winmm/port_table.h"
#include "platform/winmm/winmm.h"

namespace {

constexpr char kClientName[] = "tessarine-update";
// How long a closing output waits for the service to deliver what it took.
constexpr DWORD kDeliveryLimitMs = 1000;

ServicePorts* Service() { return ChosenServicePorts(kClientName); }

// Port `index` of the service's list, without our own clients' ports; false
// when the list is shorter, or `ended` tells that there is no service.
bool FindPort(bool source, UINT_PTR index, std::string* name, MMRESULT* ended) {
    ServicePorts* service = Service();
    std::vector<std::string> names;
    if (service == nullptr || !service->List(source, &names)) {
        *ended = MMSYSERR_NODRIVER;
        return false;
    }
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& n) { return n.empty() || n.rfind(kClientName, 0) == 0; }),
                names.end());
    *ended = MMSYSERR_BADDEVICEID;
    if (index >= names.size()) return false;
    *name = std::move(names[index]);
    return true;
}

template <typename Caps>
MMRESULT FillCaps(bool source, UINT_PTR index, Caps* caps) {
    std::string name;
    MMRESULT ended = MMSYSERR_NOERROR;
    if (!FindPort(source, index, &name, &ended)) return ended;
    *caps = Caps{};
    std::strncpy(caps->szPname, name.c_str(), MAXPNAMELEN - 1);
    return MMSYSERR_NOERROR;
}

struct InputPort {
    HMIDIIN handle = nullptr;
    std::unique_ptr<ServiceInput> source;
    MIDIINPROC callback = nullptr;
    DWORD_PTR instance = 0;
    std::mutex lock;  // guards what follows, and the flags of queued headers
    bool started = false;
    bool closing = false;
    std::deque<MIDIHDR*> queue;
};

struct OutputPort {
    std::unique_ptr<ServiceOutput> destination;
    // The message the service has not taken yet, offered again whenever its
    // header is asked for back.
    MIDIHDR* pending = nullptr;
    LinkPace pace = LinkPace::kProgram;
    WireBudget wire;  // with LinkPace::kCable
};

// Never destroyed: a port left open at the end is not closed by static
// destruction, after the service's own state has gone.
PortTable<InputPort, HMIDIIN>& inputs = *new PortTable<InputPort, HMIDIIN>;
PortTable<OutputPort, HMIDIOUT>& outputs = *new PortTable<OutputPort, HMIDIOUT>;
// System Exclusive messages received on any input: the device's replies,
// each of which tells that what was sent before it has left every buffer.
std::atomic<std::uint32_t> repliesHeard{0};

void Notify(InputPort* port, UINT message, DWORD_PTR param1) {
    // The time stamp winmm passes as the second parameter is not kept.
    if (port->callback != nullptr) port->callback(port->handle, message, port->instance, param1, 0);
}

// Runs on the service's thread for every message the port receives.
void OnServiceInput(const unsigned char* message, std::size_t size, void* context) {
    auto* port = static_cast<InputPort*>(context);
    // Short messages are of no use to the program: they are not passed on.
    if (size == 0 || message[0] != 0xF0) return;
    ++repliesHeard;
    std::unique_lock<std::mutex> guard(port->lock);
    if (!port->started) return;
    // A message longer than the buffer fills it, goes back as long data and
    // goes on in the next buffer; with no buffer queued the rest is lost.
    // So winmm does.
    std::size_t done = 0;
    while (done < size) {
        if (!guard.owns_lock()) guard.lock();
        if (!port->started || port->queue.empty()) return;
        MIDIHDR* header = port->queue.front();
        port->queue.pop_front();
        const std::size_t length = std::min<std::size_t>(size - done, header->dwBufferLength);
        std::memcpy(header->lpData, message + done, length);
        done += length;
        header->dwBytesRecorded = static_cast<DWORD>(length);
        header->dwFlags &= ~DWORD{MHDR_INQUEUE};
        const bool cutShort = done == size && message[size - 1] != 0xF7;
        guard.unlock();
        // The notification hands the buffer back, or another, for the rest.
        Notify(port, cutShort ? MIM_LONGERROR : MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header));
    }
}

// Whether the destination can still receive what is sent to it.
bool Reachable(OutputPort* port) { return !Service()->Gone() && port->destination->Reachable(); }

bool Offer(OutputPort* port, const MIDIHDR* header) {
    const DWORD size = header->dwBufferLength;
    if (port->pace == LinkPace::kCable && !port->wire.Fits(size, timeGetTime(), repliesHeard)) return false;
    if (port->pace == LinkPace::kBuffer && !port->destination->HasRoom(size)) return false;
    if (!port->destination->Send(reinterpret_cast<const unsigned char*>(header->lpData), header->dwBufferLength)) {
        return false;
    }
    port->wire.Sent(header->dwBufferLength);
    return true;
}

}  // namespace

MMRESULT midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT) { return FillCaps(true, deviceId, caps); }

MMRESULT midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT) { return FillCaps(false, deviceId, caps); }

MMRESULT midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD) {
    std::string name;
    MMRESULT ended = MMSYSERR_NOERROR;
    if (!FindPort(true, deviceId, &name, &ended)) return ended;
    auto port = std::make_unique<InputPort>();
    port->callback = reinterpret_cast<MIDIINPROC>(callback);
    port->instance = instance;
    // Nothing reaches the callback before the port is started.
    port->source = Service()->OpenSource(name, OnServiceInput, port.get());
    if (!port->source) return MMSYSERR_ALLOCATED;
    InputPort* opened = port.get();
    const HMIDIIN added = inputs.Add(std::move(port));
    if (added == nullptr) return MMSYSERR_NOMEM;
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
    // As winmm: a buffer is handed over prepared.
    if ((header->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
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
    // Closing the source waits for a notification still under way, which
    // may still look the port up; only then is it taken out of the table.
    port->source.reset();
    inputs.Remove(handle);
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR, DWORD_PTR, DWORD) {
    std::string name;
    MMRESULT ended = MMSYSERR_NOERROR;
    if (!FindPort(false, deviceId, &name, &ended)) return ended;
    auto port = std::make_unique<OutputPort>();
    port->destination = Service()->OpenDestination(name);
    if (!port->destination) return MMSYSERR_ALLOCATED;
    switch (port->destination->LinkTo()) {
        case ServiceOutput::Link::kProgram: port->pace = LinkPace::kProgram; break;
        case ServiceOutput::Link::kBufferShown: port->pace = LinkPace::kBuffer; break;
        case ServiceOutput::Link::kHardware: port->pace = LinkPace::kFast; break;
    }
    *handle = outputs.Add(std::move(port));
    return *handle != nullptr ? MMSYSERR_NOERROR : MMSYSERR_NOMEM;
}

MMRESULT midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR, UINT) {
    return outputs.Find(handle) != nullptr ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT) {
    OutputPort* port = outputs.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if (port->pending != nullptr) return MIDIERR_NOTREADY;
    if (!Reachable(port)) return MIDIERR_NODEVICE;
    if (!Offer(port, header)) port->pending = header;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT) {
    OutputPort* port = outputs.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if (port->pending != header) return MMSYSERR_NOERROR;
    if (!Reachable(port)) {
        port->pending = nullptr;
        return MIDIERR_NODEVICE;
    }
    if (!Offer(port, header)) return MIDIERR_STILLPLAYING;
    port->pending = nullptr;
    return MMSYSERR_NOERROR;
}

bool MidiPortWholeName(bool input, UINT index, char* name, std::size_t size) {
    std::string whole;
    MMRESULT ended = MMSYSERR_NOERROR;
    if (!FindPort(input, index, &whole, &ended)) return false;
    std::snprintf(name, size, "%s", whole.c_str());
    return true;
}

LinkPace MidiOutLinkPace(HMIDIOUT handle) {
    OutputPort* port = outputs.Find(handle);
    return port != nullptr ? port->pace : LinkPace::kProgram;
}

void MidiOutKeepCablePace(HMIDIOUT handle) {
    OutputPort* port = outputs.Find(handle);
    if (port != nullptr) port->pace = LinkPace::kCable;
}

const char* MidiServiceName() {
    ServicePorts* service = Service();
    return service != nullptr ? service->Name() : "";
}

DWORD MidiServiceMissedCycles() {
    ServicePorts* service = Service();
    return service != nullptr ? service->MissedCycles() : 0;
}

MMRESULT midiOutClose(HMIDIOUT handle) {
    std::unique_ptr<OutputPort> port = outputs.Remove(handle);
    if (!port) return MMSYSERR_INVALHANDLE;
    // What the service has taken reaches the destination before the port
    // goes, as winmm delivers what it accepted; a server can stall.
    const DWORD start = timeGetTime();
    while (!port->destination->Delivered() && timeGetTime() - start < kDeliveryLimitMs) Sleep(1);
    return MMSYSERR_NOERROR;
}
