#include "sim/sim_platform.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <thread>

#include "platform/host/precise_sleep.h"
#include "platform/winmm/port_table.h"

namespace {

struct InputPort {
    HMIDIIN handle = nullptr;
    UINT index = 0;
    MIDIINPROC callback = nullptr;
    DWORD_PTR instance = 0;
    bool started = false;
    std::deque<MIDIHDR*> queue;
};

struct OutputPort {
    UINT index = 0;
    LinkPace pace = LinkPace::kProgram;
};

struct Delivery {
    Bytes bytes;
    sim::Arrival kind;
    std::set<UINT> inputs;  // those it arrives on
};

struct Device {
    std::set<UINT> hears;  // outputs
    std::function<void(const Bytes&)> receive;
};

struct Event {
    bool manualReset = false;
    bool set = false;
};

struct State {
    std::vector<sim::Port> inputs, outputs;
    std::vector<Device> devices;
    std::function<MMRESULT(std::size_t)> sendResult;
    bool realTime = false;
    std::uint32_t heldMs = 0;
    std::size_t heldFrom = 0;
    std::uint64_t releasedAt = 0;  // the platform lets go of the latest message then
    std::size_t missedCycleAt = SIZE_MAX;
    std::size_t sends = 0;
    std::uint64_t now = 0;
    std::multimap<std::uint64_t, Delivery> pending;
    std::vector<sim::SentMessage> sent;
    std::vector<std::string> calls;
};

// The program may hold handles from before a reset: the tables outlive it,
// so that those answer MMSYSERR_INVALHANDLE, as on a real platform.
PortTable<InputPort, HMIDIIN> inputPorts;
PortTable<OutputPort, HMIDIOUT> outputPorts;
State state;

void Log(const std::string& call) { state.calls.push_back(call); }
void Log(const std::string& call, UINT index) { Log(call + " " + std::to_string(index)); }

void Notify(InputPort* port, UINT message, DWORD_PTR param1) {
    port->callback(port->handle, message, port->instance, param1, static_cast<DWORD_PTR>(state.now));
}

void DeliverTo(InputPort* port, const Delivery& delivery) {
    const Bytes& bytes = delivery.bytes;
    if (delivery.kind == sim::Arrival::kShort) {
        DWORD packed = 0;
        for (std::size_t i = 0; i < bytes.size() && i < 3; ++i) packed |= DWORD{bytes[i]} << (8 * i);
        return Notify(port, MIM_DATA, packed);
    }
    // A message longer than the buffer fills it, goes back as long data and
    // goes on in the next buffer; with no buffer queued the rest is dropped.
    for (std::size_t done = 0; done < bytes.size() && !port->queue.empty();) {
        MIDIHDR* header = port->queue.front();
        port->queue.pop_front();
        const DWORD length = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, header->dwBufferLength));
        std::memcpy(header->lpData, bytes.data() + done, length);
        done += length;
        header->dwBytesRecorded = length;
        header->dwFlags = (header->dwFlags & ~DWORD{MHDR_INQUEUE}) | MHDR_DONE;
        const bool cutShort = delivery.kind == sim::Arrival::kIncomplete && done == bytes.size();
        Notify(port, cutShort ? MIM_LONGERROR : MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header));
    }
}

// Delivers, in time order, what arrives by `until`, stopping early once the
// event (if any) is set; the clock then stands at that delivery.
void DeliverUntil(std::uint64_t until, const Event* stopWhenSet) {
    while (!state.pending.empty() && state.pending.begin()->first <= until) {
        if (stopWhenSet != nullptr && stopWhenSet->set) return;
        const auto next = state.pending.begin();
        state.now = next->first;
        const Delivery delivery = std::move(next->second);
        state.pending.erase(next);
        for (HMIDIIN handle : inputPorts.Handles()) {
            InputPort* port = inputPorts.Find(handle);
            if (port->started && delivery.inputs.count(port->index) > 0) DeliverTo(port, delivery);
        }
    }
    if (stopWhenSet == nullptr || !stopWhenSet->set) state.now = until;
}

template <typename Caps>
MMRESULT GetCaps(const std::vector<sim::Port>& ports, UINT_PTR index, Caps* caps, const char* call) {
    Log(call, static_cast<UINT>(index));
    if (index >= ports.size()) return MMSYSERR_BADDEVICEID;
    if (ports[index].capsResult != MMSYSERR_NOERROR) return ports[index].capsResult;
    *caps = Caps{};
    std::strncpy(caps->szPname, ports[index].name.c_str(), MAXPNAMELEN - 1);
    return MMSYSERR_NOERROR;
}

// Checks an open against the scripted ports; on success makes the handle.
template <typename Opened, typename Handle>
MMRESULT Open(const std::vector<sim::Port>& ports, PortTable<Opened, Handle>* table, UINT id, bool flagsFit,
              Handle* handle) {
    if (id >= ports.size()) return MMSYSERR_BADDEVICEID;
    if (!flagsFit) return MMSYSERR_INVALFLAG;
    if (ports[id].openResult != MMSYSERR_NOERROR) return ports[id].openResult;
    auto port = std::make_unique<Opened>();
    port->index = id;
    *handle = table->Add(std::move(port));
    return MMSYSERR_NOERROR;
}

bool Queued(const InputPort* port, const MIDIHDR* header) {
    return std::find(port->queue.begin(), port->queue.end(), header) != port->queue.end();
}

}  // namespace

namespace sim {

void Reset() {
    for (HMIDIIN handle : inputPorts.Handles()) inputPorts.Remove(handle);
    for (HMIDIOUT handle : outputPorts.Handles()) outputPorts.Remove(handle);
    state = State{};
}
void AddInput(const Port& port) { state.inputs.push_back(port); }
void AddOutput(const Port& port) { state.outputs.push_back(port); }

void Attach(TargetDevice* device, const std::set<UINT>& outputs, const std::set<UINT>& inputs, std::uint32_t delayMs,
            const std::function<void(std::uint64_t, const TimedResponse&)>& seen) {
    state.devices.push_back({outputs, [=](const Bytes& message) {
                                 const std::optional<TimedResponse> answer = device->Receive(message, state.now);
                                 if (!answer) return;
                                 if (seen) seen(state.now, *answer);
                                 const Response::Kind kind = answer->response.kind;
                                 if (kind == Response::Kind::kSilence) return;
                                 ScheduleArrival(
                                     static_cast<std::uint32_t>(answer->atMs - state.now) + delayMs, inputs,
                                     WireBytes(answer->response),
                                     kind == Response::Kind::kIncomplete ? Arrival::kIncomplete : Arrival::kComplete);
                             }});
}

void ScheduleArrival(std::uint32_t delayMs, const std::set<UINT>& inputs, const Bytes& bytes, Arrival kind) {
    state.pending.emplace(state.now + delayMs, Delivery{bytes, kind, inputs});
}

void SetSendResult(std::function<MMRESULT(std::size_t)> result) { state.sendResult = std::move(result); }
void HoldEveryMessage(std::uint32_t milliseconds, std::size_t fromSend) {
    state.heldMs = milliseconds;
    state.heldFrom = fromSend;
}
void MissCycleAtSend(std::size_t sendNumber) { state.missedCycleAt = sendNumber; }
void SetOutputPace(UINT output, LinkPace pace) { state.outputs[output].pace = pace; }
void SetRealTime(bool realTime) { state.realTime = realTime; }
std::uint64_t NowMs() { return state.now; }
const std::vector<SentMessage>& Sent() { return state.sent; }
const std::vector<std::string>& Calls() { return state.calls; }
std::size_t CountCalls(const std::string& call) {
    return static_cast<std::size_t>(std::count(state.calls.begin(), state.calls.end(), call));
}

bool InputIsOpen(UINT index) {
    const std::vector<HMIDIIN> handles = inputPorts.Handles();
    return std::any_of(handles.begin(), handles.end(), [&](HMIDIIN h) { return inputPorts.Find(h)->index == index; });
}

bool OutputIsOpen(UINT index) {
    const std::vector<HMIDIOUT> handles = outputPorts.Handles();
    return std::any_of(handles.begin(), handles.end(), [&](HMIDIOUT h) { return outputPorts.Find(h)->index == index; });
}

}  // namespace sim

void Sleep(DWORD milliseconds) {
    if (state.realTime) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    DeliverUntil(state.now + milliseconds, nullptr);
}

void SleepAtLeast(DWORD milliseconds) {
    if (state.realTime) PreciseSleep(std::chrono::milliseconds(milliseconds));
    DeliverUntil(state.now + milliseconds, nullptr);
}

DWORD timeGetTime() { return static_cast<DWORD>(state.now); }

bool MidiPortWholeName(bool input, UINT index, char* name, std::size_t size) {
    const std::vector<sim::Port>& ports = input ? state.inputs : state.outputs;
    if (index >= ports.size() || ports[index].capsResult != MMSYSERR_NOERROR) return false;
    std::snprintf(name, size, "%s", ports[index].name.c_str());
    return true;
}

LinkPace MidiOutLinkPace(HMIDIOUT handle) {
    OutputPort* port = outputPorts.Find(handle);
    return port != nullptr ? port->pace : LinkPace::kProgram;
}

void MidiOutKeepCablePace(HMIDIOUT handle) {
    OutputPort* port = outputPorts.Find(handle);
    if (port != nullptr) port->pace = LinkPace::kCable;
}

const char* MidiServiceName() { return "simulated"; }

DWORD MidiServiceMissedCycles() { return state.sends > state.missedCycleAt ? 1 : 0; }

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*) {
    return new Event{manualReset != 0, initialState != 0};
}

BOOL CloseHandle(HANDLE handle) {
    delete static_cast<Event*>(handle);
    return TRUE;
}

BOOL SetEvent(HANDLE handle) {
    static_cast<Event*>(handle)->set = true;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto* event = static_cast<Event*>(handle);
    DeliverUntil(state.now + milliseconds, event);
    if (!event->set) {
        if (state.realTime) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return WAIT_TIMEOUT;
    }
    if (!event->manualReset) event->set = false;
    return WAIT_OBJECT_0;
}

MMRESULT midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT) {
    return GetCaps(state.inputs, deviceId, caps, "midiInGetDevCapsA");
}

MMRESULT midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT) {
    return GetCaps(state.outputs, deviceId, caps, "midiOutGetDevCapsA");
}

MMRESULT midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    Log("midiInOpen", deviceId);
    const MMRESULT result = Open(state.inputs, &inputPorts, deviceId, flags == CALLBACK_FUNCTION, handle);
    if (result != MMSYSERR_NOERROR) return result;
    InputPort* port = inputPorts.Find(*handle);
    port->handle = *handle;
    port->callback = reinterpret_cast<MIDIINPROC>(callback);
    port->instance = instance;
    return result;
}

MMRESULT midiInPrepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT) {
    Log("midiInPrepareHeader");
    if (inputPorts.Find(handle) == nullptr) return MMSYSERR_INVALHANDLE;
    header->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInUnprepareHeader(HMIDIIN handle, LPMIDIHDR header, UINT) {
    Log("midiInUnprepareHeader");
    InputPort* port = inputPorts.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if (Queued(port, header)) return MIDIERR_STILLPLAYING;
    header->dwFlags &= ~DWORD{MHDR_PREPARED};
    return MMSYSERR_NOERROR;
}

MMRESULT midiInAddBuffer(HMIDIIN handle, LPMIDIHDR header, UINT) {
    Log("midiInAddBuffer");
    InputPort* port = inputPorts.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if ((header->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
    if (Queued(port, header)) return MIDIERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags | MHDR_INQUEUE) & ~DWORD{MHDR_DONE};
    header->dwBytesRecorded = 0;
    port->queue.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT midiInStart(HMIDIIN handle) {
    InputPort* port = inputPorts.Find(handle);
    Log("midiInStart", port ? port->index : 0);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    const MMRESULT result = state.inputs[port->index].startResult;
    port->started = result == MMSYSERR_NOERROR;
    return result;
}

MMRESULT midiInStop(HMIDIIN handle) {
    Log("midiInStop");
    InputPort* port = inputPorts.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    port->started = false;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInReset(HMIDIIN handle) {
    Log("midiInReset");
    InputPort* port = inputPorts.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    port->started = false;
    for (; !port->queue.empty(); port->queue.pop_front()) {
        MIDIHDR* header = port->queue.front();
        header->dwBytesRecorded = 0;
        header->dwFlags = (header->dwFlags & ~DWORD{MHDR_INQUEUE}) | MHDR_DONE;
        Notify(port, MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header));
    }
    return MMSYSERR_NOERROR;
}

MMRESULT midiInClose(HMIDIIN handle) {
    InputPort* port = inputPorts.Find(handle);
    Log("midiInClose", port ? port->index : 0);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if (!port->queue.empty()) return MIDIERR_STILLPLAYING;
    inputPorts.Remove(handle);
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR, DWORD_PTR, DWORD flags) {
    Log("midiOutOpen", deviceId);
    const MMRESULT result = Open(state.outputs, &outputPorts, deviceId, flags == CALLBACK_NULL, handle);
    if (result == MMSYSERR_NOERROR) outputPorts.Find(*handle)->pace = state.outputs[deviceId].pace;
    return result;
}

MMRESULT midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT) {
    Log("midiOutPrepareHeader");
    if (outputPorts.Find(handle) == nullptr) return MMSYSERR_INVALHANDLE;
    header->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT) {
    Log("midiOutLongMsg");
    OutputPort* port = outputPorts.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if ((header->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
    const std::size_t send = state.sends++;
    const MMRESULT result = state.sendResult ? state.sendResult(send) : MMSYSERR_NOERROR;
    if (result != MMSYSERR_NOERROR) return result;
    const auto* data = reinterpret_cast<const std::uint8_t*>(header->lpData);
    const Bytes bytes(data, data + header->dwBufferLength);
    state.sent.push_back({state.now, port->index, bytes});
    const std::uint32_t held = send >= state.heldFrom ? state.heldMs : 0;
    state.releasedAt = held == UINT32_MAX ? UINT64_MAX : state.now + held;
    header->dwFlags |= MHDR_DONE;
    for (const Device& device : state.devices) {
        if (device.hears.count(port->index) > 0) device.receive(bytes);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT) {
    Log("midiOutUnprepareHeader");
    if (outputPorts.Find(handle) == nullptr) return MMSYSERR_INVALHANDLE;
    if (state.now < state.releasedAt) return MIDIERR_STILLPLAYING;
    header->dwFlags &= ~DWORD{MHDR_PREPARED};
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutClose(HMIDIOUT handle) {
    OutputPort* port = outputPorts.Find(handle);
    Log("midiOutClose", port ? port->index : 0);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    outputPorts.Remove(handle);
    return MMSYSERR_NOERROR;
}
