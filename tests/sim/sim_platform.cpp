#include "sim/sim_platform.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>

#include "platform/winmm/port_table.h"
#include "platform/host/precise_sleep.h"

namespace sim {
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
};

// The program may hold handles from before a reset: the tables outlive it,
// so that those answer MMSYSERR_INVALHANDLE, as on a real platform.
PortTable<InputPort, HMIDIIN> inputPorts;
PortTable<OutputPort, HMIDIOUT> outputPorts;

struct Delivery {
    std::vector<std::uint8_t> bytes;
    Arrival kind;
    std::set<UINT> inputs;  // those it arrives on
};

struct Device {
    std::set<UINT> hears;  // outputs
    DeviceModel model;
};

struct State {
    std::vector<Port> inputs, outputs;
    std::vector<Device> devices;
    std::multimap<UINT, UINT> echoes;  // output -> input
    SendResult sendResult;
    bool realTime = false;
    std::uint32_t heldMs = 0;
    std::size_t heldFrom = 0;
    std::uint64_t releasedAt = 0;  // the platform lets go of the latest message then
    std::size_t missedCyclesFrom = SIZE_MAX;  // the service misses a cycle at that send
    std::size_t sends = 0;
    std::uint64_t now = 0;
    std::multimap<std::uint64_t, Delivery> pending;
    std::vector<SentMessage> sent;
    std::vector<std::string> calls;
};

State state;

void Log(const std::string& call) { state.calls.push_back(call); }
void Log(const std::string& call, UINT index) { Log(call + " " + std::to_string(index)); }

void DeliverTo(InputPort* port, const Delivery& delivery) {
    const auto& bytes = delivery.bytes;
    if (delivery.kind == Arrival::kShort) {
        DWORD packed = 0;
        for (std::size_t i = 0; i < bytes.size() && i < 3; ++i) packed |= DWORD{bytes[i]} << (8 * i);
        port->callback(port->handle, MIM_DATA, port->instance, packed, static_cast<DWORD_PTR>(state.now));
        return;
    }
    // A message longer than the buffer fills it, goes back as long data and
    // goes on in the next buffer; with no buffer queued the rest is dropped.
    std::size_t done = 0;
    while (done < bytes.size() && !port->queue.empty()) {
        MIDIHDR* header = port->queue.front();
        port->queue.pop_front();
        const DWORD length = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, header->dwBufferLength));
        std::memcpy(header->lpData, bytes.data() + done, length);
        done += length;
        header->dwBytesRecorded = length;
        header->dwFlags = (header->dwFlags & ~DWORD{MHDR_INQUEUE}) | MHDR_DONE;
        const bool cutShort = delivery.kind == Arrival::kIncomplete && done == bytes.size();
        port->callback(port->handle, cutShort ? MIM_LONGERROR : MIM_LONGDATA, port->instance,
                       reinterpret_cast<DWORD_PTR>(header), static_cast<DWORD_PTR>(state.now));
    }
}

// Passes a message sent on the output on to the inputs it echoes into.
void Echo(UINT output, const std::vector<std::uint8_t>& bytes) {
    const auto echoes = state.echoes.equal_range(output);
    for (auto echo = echoes.first; echo != echoes.second; ++echo) {
        state.pending.emplace(state.now, Delivery{bytes, Arrival::kComplete, {echo->second}});
    }
}

void Deliver(const Delivery& delivery) {
    for (HMIDIIN handle : inputPorts.Handles()) {
        InputPort* port = inputPorts.Find(handle);
        if (port->started && delivery.inputs.count(port->index) > 0) DeliverTo(port, delivery);
    }
}

template <typename Caps>
MMRESULT GetCaps(const std::vector<Port>& ports, UINT_PTR index, Caps* caps, const char* call) {
    Log(call, static_cast<UINT>(index));
    if (index >= ports.size()) return MMSYSERR_BADDEVICEID;
    const Port& port = ports[index];
    if (port.capsResult != MMSYSERR_NOERROR) return port.capsResult;
    *caps = Caps{};
    std::strncpy(caps->szPname, port.name.c_str(), MAXPNAMELEN - 1);
    return MMSYSERR_NOERROR;
}

// Checks an open against the scripted ports; on success makes the handle.
template <typename Opened, typename Handle>
MMRESULT OpenHandle(const std::vector<Port>& ports, PortTable<Opened, Handle>* table, UINT deviceId, bool flagsFit,
                    Handle* opened) {
    if (deviceId >= ports.size()) return MMSYSERR_BADDEVICEID;
    if (!flagsFit) return MMSYSERR_INVALFLAG;
    if (ports[deviceId].openResult != MMSYSERR_NOERROR) return ports[deviceId].openResult;
    auto port = std::make_unique<Opened>();
    port->index = deviceId;
    *opened = table->Add(std::move(port));
    return MMSYSERR_NOERROR;
}

bool Queued(const InputPort* port, const MIDIHDR* header) {
    return std::find(port->queue.begin(), port->queue.end(), header) != port->queue.end();
}

}  // namespace

void Reset() {
    for (HMIDIIN handle : inputPorts.Handles()) inputPorts.Remove(handle);
    for (HMIDIOUT handle : outputPorts.Handles()) outputPorts.Remove(handle);
    state = State{};
}
void AddInput(const Port& port) { state.inputs.push_back(port); }
void AddOutput(const Port& port) { state.outputs.push_back(port); }

void ConnectDevice(const std::set<UINT>& outputs, DeviceModel model) {
    state.devices.push_back({outputs, std::move(model)});
}

void ConnectEcho(UINT output, UINT input) { state.echoes.emplace(output, input); }

void ScheduleArrival(std::uint32_t delayMs, const std::set<UINT>& inputs, const std::vector<std::uint8_t>& bytes,
                     Arrival kind) {
    state.pending.emplace(state.now + delayMs, Delivery{bytes, kind, inputs});
}

void SetSendResult(SendResult result) { state.sendResult = std::move(result); }
void HoldEveryMessage(std::uint32_t milliseconds, std::size_t fromSend) {
    state.heldMs = milliseconds;
    state.heldFrom = fromSend;
}
void SetRealTime(bool realTime) { state.realTime = realTime; }
void MissCycleAtSend(std::size_t sendNumber) { state.missedCyclesFrom = sendNumber; }
std::uint64_t NowMs() { return state.now; }
const std::vector<SentMessage>& Sent() { return state.sent; }
const std::vector<std::string>& Calls() { return state.calls; }

std::size_t CountCalls(const std::string& call) {
    return static_cast<std::size_t>(std::count(state.calls.begin(), state.calls.end(), call));
}

bool InputIsOpen(UINT index) {
    for (HMIDIIN handle : inputPorts.Handles()) {
        if (inputPorts.Find(handle)->index == index) return true;
    }
    return false;
}

bool OutputIsOpen(UINT index) {
    for (HMIDIOUT handle : outputPorts.Handles()) {
        if (outputPorts.Find(handle)->index == index) return true;
    }
    return false;
}

}  // namespace sim

using sim::inputPorts;
using sim::Log;
using sim::outputPorts;
using sim::state;

namespace sim {
namespace {

struct Event {
    bool manualReset = false;
    bool set = false;
};

// Delivers, in time order, what arrives by `until`, stopping early once the
// event (if any) is set; the clock then stands at that delivery.
void DeliverUntil(std::uint64_t until, const Event* stopWhenSet) {
    while (!state.pending.empty() && state.pending.begin()->first <= until) {
        if (stopWhenSet != nullptr && stopWhenSet->set) return;
        auto next = state.pending.begin();
        state.now = next->first;
        const Delivery delivery = std::move(next->second);
        state.pending.erase(next);
        Deliver(delivery);
    }
    if (stopWhenSet == nullptr || !stopWhenSet->set) state.now = until;
}

void SleepForReal(DWORD milliseconds) {
    if (state.realTime) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace
}  // namespace sim

void Sleep(DWORD milliseconds) {
    sim::SleepForReal(milliseconds);
    sim::DeliverUntil(state.now + milliseconds, nullptr);
}

bool MidiPortWholeName(bool input, UINT index, char* name, std::size_t size) {
    const std::vector<sim::Port>& ports = input ? sim::state.inputs : sim::state.outputs;
    if (index >= ports.size() || ports[index].capsResult != MMSYSERR_NOERROR) return false;
    std::snprintf(name, size, "%s", ports[index].name.c_str());
    return true;
}

DWORD MidiServiceMissedCycles() { return state.sends > state.missedCyclesFrom ? 1 : 0; }

void SleepAtLeast(DWORD milliseconds) {
    if (state.realTime) PreciseSleep(std::chrono::milliseconds(milliseconds));
    sim::DeliverUntil(state.now + milliseconds, nullptr);
}

DWORD timeGetTime() { return static_cast<DWORD>(state.now); }

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*) {
    return new sim::Event{manualReset != 0, initialState != 0};
}

BOOL CloseHandle(HANDLE handle) {
    delete static_cast<sim::Event*>(handle);
    return 1;
}

BOOL SetEvent(HANDLE handle) {
    static_cast<sim::Event*>(handle)->set = true;
    return 1;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto* event = static_cast<sim::Event*>(handle);
    const std::uint64_t start = state.now;
    sim::DeliverUntil(start + milliseconds, event);
    if (!event->set) {
        sim::SleepForReal(milliseconds);
        return WAIT_TIMEOUT;
    }
    if (!event->manualReset) event->set = false;
    return WAIT_OBJECT_0;
}

MMRESULT midiInGetDevCapsA(UINT_PTR deviceId, LPMIDIINCAPSA caps, UINT) {
    return sim::GetCaps(state.inputs, deviceId, caps, "midiInGetDevCapsA");
}

MMRESULT midiOutGetDevCapsA(UINT_PTR deviceId, LPMIDIOUTCAPSA caps, UINT) {
    return sim::GetCaps(state.outputs, deviceId, caps, "midiOutGetDevCapsA");
}

MMRESULT midiInOpen(LPHMIDIIN handle, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    Log("midiInOpen", deviceId);
    const MMRESULT result = sim::OpenHandle(state.inputs, &inputPorts, deviceId, flags == CALLBACK_FUNCTION, handle);
    if (result == MMSYSERR_NOERROR) {
        sim::InputPort* port = inputPorts.Find(*handle);
        port->handle = *handle;
        port->callback = reinterpret_cast<MIDIINPROC>(callback);
        port->instance = instance;
    }
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
    sim::InputPort* port = inputPorts.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if (sim::Queued(port, header)) return MIDIERR_STILLPLAYING;
    header->dwFlags &= ~DWORD{MHDR_PREPARED};
    return MMSYSERR_NOERROR;
}

MMRESULT midiInAddBuffer(HMIDIIN handle, LPMIDIHDR header, UINT) {
    Log("midiInAddBuffer");
    sim::InputPort* port = inputPorts.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if ((header->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
    if (sim::Queued(port, header)) return MIDIERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags | MHDR_INQUEUE) & ~DWORD{MHDR_DONE};
    header->dwBytesRecorded = 0;
    port->queue.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT midiInStart(HMIDIIN handle) {
    sim::InputPort* port = inputPorts.Find(handle);
    Log("midiInStart", port ? port->index : 0);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    const MMRESULT result = state.inputs[port->index].startResult;
    if (result == MMSYSERR_NOERROR) port->started = true;
    return result;
}

MMRESULT midiInStop(HMIDIIN handle) {
    Log("midiInStop");
    sim::InputPort* port = inputPorts.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    port->started = false;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInReset(HMIDIIN handle) {
    Log("midiInReset");
    sim::InputPort* port = inputPorts.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    port->started = false;
    while (!port->queue.empty()) {
        MIDIHDR* header = port->queue.front();
        port->queue.pop_front();
        header->dwBytesRecorded = 0;
        header->dwFlags = (header->dwFlags & ~DWORD{MHDR_INQUEUE}) | MHDR_DONE;
        port->callback(handle, MIM_LONGDATA, port->instance, reinterpret_cast<DWORD_PTR>(header),
                       static_cast<DWORD_PTR>(state.now));
    }
    return MMSYSERR_NOERROR;
}

MMRESULT midiInClose(HMIDIIN handle) {
    sim::InputPort* port = inputPorts.Find(handle);
    Log("midiInClose", port ? port->index : 0);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if (!port->queue.empty()) return MIDIERR_STILLPLAYING;
    inputPorts.Remove(handle);
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutOpen(LPHMIDIOUT handle, UINT deviceId, DWORD_PTR, DWORD_PTR, DWORD flags) {
    Log("midiOutOpen", deviceId);
    return sim::OpenHandle(state.outputs, &outputPorts, deviceId, flags == CALLBACK_NULL, handle);
}

MMRESULT midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT) {
    Log("midiOutPrepareHeader");
    if (outputPorts.Find(handle) == nullptr) return MMSYSERR_INVALHANDLE;
    header->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT) {
    Log("midiOutLongMsg");
    sim::OutputPort* port = outputPorts.Find(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if ((header->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
    const std::size_t sendNumber = state.sends++;
    if (state.sendResult) {
        const MMRESULT result = state.sendResult(sendNumber);
        if (result != MMSYSERR_NOERROR) return result;
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(header->lpData);
    std::vector<std::uint8_t> bytes(data, data + header->dwBufferLength);
    state.sent.push_back({state.now, port->index, bytes});
    const std::uint32_t held = sendNumber >= state.heldFrom ? state.heldMs : 0;
    state.releasedAt = held == UINT32_MAX ? UINT64_MAX : state.now + held;
    header->dwFlags |= MHDR_DONE;
    for (const sim::Device& device : state.devices) {
        if (device.hears.count(port->index) > 0) device.model(bytes);
    }
    sim::Echo(port->index, bytes);
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
    sim::OutputPort* port = outputPorts.Find(handle);
    Log("midiOutClose", port ? port->index : 0);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    outputPorts.Remove(handle);
    return MMSYSERR_NOERROR;
}
