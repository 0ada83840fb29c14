#include "sim/sim_platform.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstring>
#include <deque>
#include <map>
#include <memory>

#include "platform/precise_sleep.h"

struct HMIDIIN__ {
    UINT index = 0;
    MIDIINPROC callback = nullptr;
    DWORD_PTR instance = 0;
    bool open = true;
    bool started = false;
    std::deque<MIDIHDR*> queue;
};

struct HMIDIOUT__ {
    UINT index = 0;
    bool open = true;
};

namespace sim {
namespace {

struct Delivery {
    std::vector<std::uint8_t> bytes;
    Arrival kind;
    int input;  // the input it arrives on; -1: those the device answers on
};

struct State {
    std::vector<Port> inputs, outputs;
    std::set<UINT> deviceHears, deviceAnswers;
    std::multimap<UINT, UINT> echoes;  // output -> input
    DeviceModel device;
    SendResult sendResult;
    bool realTime = false;
    unsigned stillPlayingRounds = 0;
    unsigned stillPlayingLeft = 0;
    std::size_t sends = 0;
    std::uint64_t now = 0;
    std::multimap<std::uint64_t, Delivery> pending;
    std::vector<SentMessage> sent;
    std::vector<std::string> calls;
    std::multimap<std::string, std::function<void()>> actions;
    std::deque<std::unique_ptr<HMIDIIN__>> inputHandles;
    std::deque<std::unique_ptr<HMIDIOUT__>> outputHandles;
};

State state;

void Log(const std::string& call) {
    state.calls.push_back(call);
    const auto range = state.actions.equal_range(call);
    for (auto action = range.first; action != range.second; ++action) action->second();
}
void Log(const std::string& call, UINT index) { Log(call + " " + std::to_string(index)); }

void DeliverTo(HMIDIIN__* port, const Delivery& delivery) {
    const auto& bytes = delivery.bytes;
    if (delivery.kind == Arrival::kShort) {
        DWORD packed = 0;
        for (std::size_t i = 0; i < bytes.size() && i < 3; ++i) packed |= DWORD{bytes[i]} << (8 * i);
        port->callback(port, MIM_DATA, port->instance, packed, static_cast<DWORD_PTR>(state.now));
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
        port->callback(port, cutShort ? MIM_LONGERROR : MIM_LONGDATA, port->instance,
                       reinterpret_cast<DWORD_PTR>(header), static_cast<DWORD_PTR>(state.now));
    }
}

// Passes a message sent on the output on to the inputs it echoes into.
void Echo(UINT output, const std::vector<std::uint8_t>& bytes) {
    const auto echoes = state.echoes.equal_range(output);
    for (auto echo = echoes.first; echo != echoes.second; ++echo) {
        state.pending.emplace(state.now, Delivery{bytes, Arrival::kComplete, static_cast<int>(echo->second)});
    }
}

void Deliver(const Delivery& delivery) {
    for (auto& port : state.inputHandles) {
        const bool reached = delivery.input < 0 ? state.deviceAnswers.count(port->index) > 0
                                                : port->index == static_cast<UINT>(delivery.input);
        if (port->open && port->started && reached) DeliverTo(port.get(), delivery);
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

template <typename Handle>
bool Usable(const Handle* port) {
    return port != nullptr && port->open;
}

// Checks an open against the scripted ports; on success makes the handle.
template <typename Handle>
MMRESULT OpenHandle(const std::vector<Port>& ports, std::deque<std::unique_ptr<Handle>>* handles, UINT deviceId,
                    bool flagsFit, Handle** opened) {
    if (deviceId >= ports.size()) return MMSYSERR_BADDEVICEID;
    if (!flagsFit) return MMSYSERR_INVALFLAG;
    if (ports[deviceId].openResult != MMSYSERR_NOERROR) return ports[deviceId].openResult;
    handles->push_back(std::make_unique<Handle>());
    *opened = handles->back().get();
    (*opened)->index = deviceId;
    return MMSYSERR_NOERROR;
}

template <typename Handle>
MMRESULT PrepareHeader(Handle* port, LPMIDIHDR header) {
    if (!Usable(port)) return MMSYSERR_INVALHANDLE;
    header->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

bool Queued(const HMIDIIN__* port, const MIDIHDR* header) {
    return std::find(port->queue.begin(), port->queue.end(), header) != port->queue.end();
}

}  // namespace

void Reset() {
    // The program may still hold handles of the platform it ran on before:
    // they stay valid, closed, so that using one fails as on a real platform.
    static std::vector<std::unique_ptr<HMIDIIN__>> closedInputs;
    static std::vector<std::unique_ptr<HMIDIOUT__>> closedOutputs;
    for (auto& port : state.inputHandles) {
        port->open = false;
        closedInputs.push_back(std::move(port));
    }
    for (auto& port : state.outputHandles) {
        port->open = false;
        closedOutputs.push_back(std::move(port));
    }
    state = State{};
}
void AddInput(const Port& port) { state.inputs.push_back(port); }
void AddOutput(const Port& port) { state.outputs.push_back(port); }

void ConnectDevice(const std::set<UINT>& outputsItHears, const std::set<UINT>& inputsItAnswers) {
    state.deviceHears = outputsItHears;
    state.deviceAnswers = inputsItAnswers;
}

void SetDeviceModel(DeviceModel model) { state.device = std::move(model); }

void ConnectEcho(UINT output, UINT input) { state.echoes.emplace(output, input); }

void ScheduleArrival(std::uint32_t delayMs, const std::vector<std::uint8_t>& bytes, Arrival kind) {
    state.pending.emplace(state.now + delayMs, Delivery{bytes, kind, -1});
}

void OnCall(const std::string& call, std::function<void()> action) {
    state.actions.emplace(call, std::move(action));
}

void SetSendResult(SendResult result) { state.sendResult = std::move(result); }
void SetStillPlayingRounds(unsigned rounds) { state.stillPlayingRounds = rounds; }
void SetRealTime(bool realTime) { state.realTime = realTime; }
std::uint64_t NowMs() { return state.now; }
const std::vector<SentMessage>& Sent() { return state.sent; }
const std::vector<std::string>& Calls() { return state.calls; }

std::size_t CountCalls(const std::string& call) {
    return static_cast<std::size_t>(std::count(state.calls.begin(), state.calls.end(), call));
}

bool InputIsOpen(UINT index) {
    for (auto& port : state.inputHandles) {
        if (port->open && port->index == index) return true;
    }
    return false;
}

bool OutputIsOpen(UINT index) {
    for (auto& port : state.outputHandles) {
        if (port->open && port->index == index) return true;
    }
    return false;
}

bool InputHasQueuedBuffer(UINT index) {
    for (auto& port : state.inputHandles) {
        if (port->open && port->index == index && !port->queue.empty()) return true;
    }
    return false;
}

}  // namespace sim

using sim::Log;
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

void SleepAtLeast(DWORD milliseconds) {
    if (state.realTime) PreciseSleep(std::chrono::milliseconds(milliseconds));
    sim::DeliverUntil(state.now + milliseconds, nullptr);
}

DWORD timeGetTime() { return static_cast<DWORD>(state.now); }

HANDLE CreateEventA(void*, BOOL manualReset, BOOL initialState, const char*) {
    // Events outlive a reset of the platform: the program keeps its own.
    static std::deque<sim::Event> events;
    events.push_back({manualReset != 0, initialState != 0});
    return &events.back();
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

MMRESULT midiInOpen(LPHMIDIIN port, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    Log("midiInOpen", deviceId);
    const MMRESULT result =
        sim::OpenHandle(state.inputs, &state.inputHandles, deviceId, flags == CALLBACK_FUNCTION, port);
    if (result == MMSYSERR_NOERROR) {
        (*port)->callback = reinterpret_cast<MIDIINPROC>(callback);
        (*port)->instance = instance;
    }
    return result;
}

MMRESULT midiInPrepareHeader(HMIDIIN port, LPMIDIHDR header, UINT) {
    Log("midiInPrepareHeader");
    return sim::PrepareHeader(port, header);
}

MMRESULT midiInUnprepareHeader(HMIDIIN port, LPMIDIHDR header, UINT) {
    Log("midiInUnprepareHeader");
    if (!sim::Usable(port)) return MMSYSERR_INVALHANDLE;
    if (sim::Queued(port, header)) return MIDIERR_STILLPLAYING;
    header->dwFlags &= ~DWORD{MHDR_PREPARED};
    return MMSYSERR_NOERROR;
}

MMRESULT midiInAddBuffer(HMIDIIN port, LPMIDIHDR header, UINT) {
    Log("midiInAddBuffer");
    if (!sim::Usable(port)) return MMSYSERR_INVALHANDLE;
    if ((header->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
    if (sim::Queued(port, header)) return MIDIERR_STILLPLAYING;
    header->dwFlags = (header->dwFlags | MHDR_INQUEUE) & ~DWORD{MHDR_DONE};
    header->dwBytesRecorded = 0;
    port->queue.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT midiInStart(HMIDIIN port) {
    Log("midiInStart", port ? port->index : 0);
    if (!sim::Usable(port)) return MMSYSERR_INVALHANDLE;
    const MMRESULT result = state.inputs[port->index].startResult;
    if (result == MMSYSERR_NOERROR) port->started = true;
    return result;
}

MMRESULT midiInStop(HMIDIIN port) {
    Log("midiInStop");
    if (!sim::Usable(port)) return MMSYSERR_INVALHANDLE;
    port->started = false;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInReset(HMIDIIN port) {
    Log("midiInReset");
    if (!sim::Usable(port)) return MMSYSERR_INVALHANDLE;
    port->started = false;
    while (!port->queue.empty()) {
        MIDIHDR* header = port->queue.front();
        port->queue.pop_front();
        header->dwBytesRecorded = 0;
        header->dwFlags = (header->dwFlags & ~DWORD{MHDR_INQUEUE}) | MHDR_DONE;
        port->callback(port, MIM_LONGDATA, port->instance, reinterpret_cast<DWORD_PTR>(header),
                       static_cast<DWORD_PTR>(state.now));
    }
    return MMSYSERR_NOERROR;
}

MMRESULT midiInClose(HMIDIIN port) {
    Log("midiInClose", port ? port->index : 0);
    if (!sim::Usable(port)) return MMSYSERR_INVALHANDLE;
    if (!port->queue.empty()) return MIDIERR_STILLPLAYING;
    port->open = false;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutOpen(LPHMIDIOUT port, UINT deviceId, DWORD_PTR, DWORD_PTR, DWORD flags) {
    Log("midiOutOpen", deviceId);
    return sim::OpenHandle(state.outputs, &state.outputHandles, deviceId, flags == CALLBACK_NULL, port);
}

MMRESULT midiOutPrepareHeader(HMIDIOUT port, LPMIDIHDR header, UINT) {
    Log("midiOutPrepareHeader");
    return sim::PrepareHeader(port, header);
}

MMRESULT midiOutLongMsg(HMIDIOUT port, LPMIDIHDR header, UINT) {
    Log("midiOutLongMsg");
    if (!sim::Usable(port)) return MMSYSERR_INVALHANDLE;
    if ((header->dwFlags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
    const std::size_t sendNumber = state.sends++;
    if (state.sendResult) {
        const MMRESULT result = state.sendResult(sendNumber);
        if (result != MMSYSERR_NOERROR) return result;
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(header->lpData);
    std::vector<std::uint8_t> bytes(data, data + header->dwBufferLength);
    state.sent.push_back({state.now, port->index, bytes});
    state.stillPlayingLeft = state.stillPlayingRounds;
    header->dwFlags |= MHDR_DONE;
    if (state.device && state.deviceHears.count(port->index)) state.device(bytes);
    sim::Echo(port->index, bytes);
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT port, LPMIDIHDR header, UINT) {
    Log("midiOutUnprepareHeader");
    if (!sim::Usable(port)) return MMSYSERR_INVALHANDLE;
    if (state.stillPlayingLeft > 0) {
        --state.stillPlayingLeft;
        return MIDIERR_STILLPLAYING;
    }
    header->dwFlags &= ~DWORD{MHDR_PREPARED};
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutClose(HMIDIOUT port) {
    Log("midiOutClose", port ? port->index : 0);
    if (!sim::Usable(port)) return MMSYSERR_INVALHANDLE;
    port->open = false;
    return MMSYSERR_NOERROR;
}
