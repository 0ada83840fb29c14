// MIDI over a JACK server, on one client of our own.
//
// A JACK server moves MIDI in process cycles: each cycle a port's buffer
// holds the events of that cycle, whole, and nothing is kept for the next.
// So a destination keeps a queue of its own, and each cycle takes from it
// what the port's buffer can hold, in order; the rest waits for the next
// cycle, and a full queue refuses a message rather than lose one. Messages
// keep the spacing they were sent with: the protocol's pause after every
// chunk is the device's time to work, and a cycle that carries several
// messages places each at the frame its pause asks for, rather than all at
// the cycle's start. A queue that waited (the server was late) goes on at
// the same pace. A server that takes nothing for as long as a send may be
// held (it has stopped, or hangs) leaves the destination unreachable.
//
// Sources hand every message they receive to their handler, on the
// server's thread, a System Exclusive message that arrives in pieces
// put together first.
#include "platform/service/jack_ports.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

constexpr std::size_t kSlots = 32;
// The longest message a source puts together; the rest of a longer one is
// cut off.
constexpr std::size_t kLongestMessage = 4096;
// What a destination's queue holds: a few cycles' messages at the
// protocol's pace, little enough that a server that stops taking them
// holds the sender back at once.
constexpr std::size_t kQueueBytes = 4096;
// A server that runs no cycle this long while messages wait takes none.
constexpr auto kStallLimit = std::chrono::seconds(5);

using Frames = jack_nframes_t;
// Frame times wrap: a is before b.
bool Before(Frames a, Frames b) { return static_cast<std::int32_t>(a - b) < 0; }

// Microseconds on the steady clock, which never steps back (the server's
// estimate of its frame time does, as cycles come late).
using Micros = std::uint64_t;
Micros Now() {
    return static_cast<Micros>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

// Messages waiting to go out, each with the time it was sent at.
// Written by the sender, read by the server's thread, which never waits for
// the lock: a cycle that finds it held leaves the queue to the next.
class Queue {
public:
    struct Header {
        std::uint16_t size;
        Micros sent;
    };

    bool Push(const unsigned char* message, std::size_t size, Micros sent) {
        const Header header = {static_cast<std::uint16_t>(size), sent};
        if (size > UINT16_MAX || used_ + sizeof header + size > kQueueBytes) return false;
        Write(&header, sizeof header);
        Write(message, size);
        return true;
    }
    bool Empty() const { return used_ == 0; }
    Header Front() const {
        Header header;
        Read(head_, &header, sizeof header);
        return header;
    }
    // Copies the front message's bytes out and takes it off the queue.
    void Pop(unsigned char* to) {
        const Header header = Front();
        Read((head_ + sizeof header) % kQueueBytes, to, header.size);
        head_ = (head_ + sizeof header + header.size) % kQueueBytes;
        used_ -= sizeof header + header.size;
    }

private:
    void Write(const void* from, std::size_t size) {
        const std::size_t tail = (head_ + used_) % kQueueBytes;
        const std::size_t first = std::min(size, kQueueBytes - tail);
        std::memcpy(bytes_ + tail, from, first);
        std::memcpy(bytes_, static_cast<const unsigned char*>(from) + first, size - first);
        used_ += size;
    }
    void Read(std::size_t at, void* to, std::size_t size) const {
        const std::size_t first = std::min(size, kQueueBytes - at);
        std::memcpy(to, bytes_ + at, first);
        std::memcpy(static_cast<unsigned char*>(to) + first, bytes_, size - first);
    }

    unsigned char bytes_[kQueueBytes];
    std::size_t head_ = 0;
    std::size_t used_ = 0;
};

enum SlotState { kFree, kSource, kDestination, kClosing };

struct Slot {
    std::atomic<int> state{kFree};
    jack_port_t* port = nullptr;
    // A source's: read on the server's thread only.
    MessageHandler handler = nullptr;
    void* context = nullptr;
    unsigned char message[kLongestMessage];
    std::size_t length = 0;
    bool inSysEx = false;
    // A destination's.
    std::mutex lock;  // guards what follows
    Queue queue;
    bool pacing = false;  // the last message taken set the pace for the next
    Frames placedAt = 0;  // where the last message taken was placed
    Micros sentAt = 0;    // and when it had been sent
    unsigned takenInCycle = 0;
    bool peerIsHardware = false;  // the peer is a sound card's port
};

class JackPorts final : public ServicePorts {
public:
    ~JackPorts() override { CloseClient(); }
    bool Open(const char* clientName);
    bool List(bool sources, std::vector<std::string>* names) override;
    std::unique_ptr<ServiceInput> OpenSource(const std::string& name, MessageHandler handler, void* context) override;
    std::unique_ptr<ServiceOutput> OpenDestination(const std::string& name) override;
    std::unique_ptr<ServiceInput> OpenOwnSource(const std::string& name, MessageHandler handler, void* context,
                                                bool hardware) override;
    std::unique_ptr<ServiceOutput> OpenOwnDestination(const std::string& name, bool hardware) override;
    bool Gone() override { return gone_; }
    const char* Name() override { return "JACK"; }
    unsigned MissedCycles() override { return xruns_; }
    void CloseClient() override;

    bool Delivered(Slot& slot);
    bool Reachable(Slot& slot);
    void Close(Slot& slot);

private:
    Slot* Register(bool source, const std::string& peer, const std::string& own, bool hardware = false);
    std::unique_ptr<ServiceInput> Source(Slot* slot, MessageHandler handler, void* context);
    std::unique_ptr<ServiceOutput> Destination(Slot* slot);
    static int Process(jack_nframes_t frames, void* self);
    static void OnShutdown(jack_status_t, const char*, void* self);
    static int OnXrun(void* self);
    void Receive(Slot& slot, jack_nframes_t frames);
    void Transmit(Slot& slot, jack_nframes_t frames);
    void Deliver(Slot& slot);

    jack_client_t* client_ = nullptr;
    std::atomic<bool> gone_{false};
    std::atomic<unsigned> xruns_{0};
    // Cycles the server has finished with us, and whether one is under way.
    std::atomic<unsigned> cycles_{0};
    std::atomic<bool> processing_{false};
    // When the sender last saw the count of cycles change.
    unsigned seenCycles_ = 0;
    std::chrono::steady_clock::time_point seenAt_;
    std::mutex registering_;
    Slot slots_[kSlots];
};

class JackSource final : public ServiceInput {
public:
    JackSource(JackPorts* ports, Slot* slot) : ports_(ports), slot_(slot) {}
    ~JackSource() override { ports_->Close(*slot_); }

private:
    JackPorts* ports_;
    Slot* slot_;
};

class JackDestination final : public ServiceOutput {
public:
    JackDestination(JackPorts* ports, Slot* slot) : ports_(ports), slot_(slot) {}
    ~JackDestination() override { ports_->Close(*slot_); }
    bool Send(const unsigned char* message, std::size_t size) override {
        std::lock_guard<std::mutex> guard(slot_->lock);
        return slot_->queue.Push(message, size, Now());
    }
    bool Delivered() override { return ports_->Delivered(*slot_); }
    bool Reachable() override { return ports_->Reachable(*slot_); }
    // JACK shows no buffer of a physical port's card.
    Link LinkTo() override { return slot_->peerIsHardware ? Link::kHardware : Link::kProgram; }

private:
    JackPorts* ports_;
    Slot* slot_;
};

void Discard(const char*) {}

bool JackPorts::Open(const char* clientName) {
    // JACK prints its own complaints, when no server runs for instance.
    jack_set_error_function(Discard);
    jack_set_info_function(Discard);
    client_ = jack_client_open(clientName, JackNoStartServer, nullptr);
    if (client_ == nullptr) return false;
    seenAt_ = std::chrono::steady_clock::now();
    jack_on_info_shutdown(client_, OnShutdown, this);
    jack_set_xrun_callback(client_, OnXrun, this);
    jack_set_process_callback(client_, Process, this);
    if (jack_activate(client_) != 0) {
        jack_client_close(client_);
        client_ = nullptr;
        return false;
    }
    return true;
}

bool JackPorts::List(bool sources, std::vector<std::string>* names) {
    if (gone_) return false;
    // A source of ours reads what the others' output ports write.
    const char** ports =
        jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, sources ? JackPortIsOutput : JackPortIsInput);
    for (const char** port = ports; port != nullptr && *port != nullptr; ++port) names->emplace_back(*port);
    jack_free(ports);
    return true;
}

// A port of ours connected to the peer's, or, with no peer, one under its
// own name for other programs to connect to, presented as a sound card's
// when `hardware` (JACK calls such ports physical).
Slot* JackPorts::Register(bool source, const std::string& peer, const std::string& own, bool hardware) {
    if (gone_) return nullptr;
    std::lock_guard<std::mutex> guard(registering_);
    for (std::size_t i = 0; i < kSlots; ++i) {
        Slot& slot = slots_[i];
        if (slot.state != kFree) continue;
        const std::string name = !own.empty() ? own : (source ? "in-" : "out-") + std::to_string(i);
        const unsigned long physical = hardware ? JackPortIsPhysical | JackPortIsTerminal : 0;
        slot.port = jack_port_register(client_, name.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                       (source ? JackPortIsInput : JackPortIsOutput) | physical, 0);
        if (slot.port == nullptr) return nullptr;
        const jack_port_t* peerPort = peer.empty() ? nullptr : jack_port_by_name(client_, peer.c_str());
        slot.peerIsHardware = peerPort != nullptr && (jack_port_flags(peerPort) & JackPortIsPhysical) != 0;
        if (peer.empty()) return &slot;
        const bool connected = source ? jack_connect(client_, peer.c_str(), jack_port_name(slot.port)) == 0
                                      : jack_connect(client_, jack_port_name(slot.port), peer.c_str()) == 0;
        if (!connected) {
            jack_port_unregister(client_, slot.port);
            return nullptr;
        }
        return &slot;
    }
    return nullptr;
}

std::unique_ptr<ServiceInput> JackPorts::Source(Slot* slot, MessageHandler handler, void* context) {
    if (slot == nullptr) return nullptr;
    slot->handler = handler;
    slot->context = context;
    slot->length = 0;
    slot->inSysEx = false;
    slot->state = kSource;  // from here on the server's thread reads the slot
    return std::make_unique<JackSource>(this, slot);
}

std::unique_ptr<ServiceOutput> JackPorts::Destination(Slot* slot) {
    if (slot == nullptr) return nullptr;
    {
        std::lock_guard<std::mutex> guard(slot->lock);
        slot->queue = Queue();
        slot->pacing = false;
    }
    slot->state = kDestination;
    return std::make_unique<JackDestination>(this, slot);
}

std::unique_ptr<ServiceInput> JackPorts::OpenSource(const std::string& name, MessageHandler handler, void* context) {
    return Source(Register(true, name, ""), handler, context);
}

std::unique_ptr<ServiceOutput> JackPorts::OpenDestination(const std::string& name) {
    return Destination(Register(false, name, ""));
}

std::unique_ptr<ServiceInput> JackPorts::OpenOwnSource(const std::string& name, MessageHandler handler, void* context,
                                                       bool hardware) {
    return Source(Register(true, "", name, hardware), handler, context);
}

std::unique_ptr<ServiceOutput> JackPorts::OpenOwnDestination(const std::string& name, bool hardware) {
    return Destination(Register(false, "", name, hardware));
}

bool JackPorts::Delivered(Slot& slot) {
    if (gone_) return true;  // nothing more will go
    std::lock_guard<std::mutex> guard(slot.lock);
    // The destination takes a message in the cycle that carries it; that
    // cycle must have ended before the port may go.
    return slot.queue.Empty() && cycles_ - slot.takenInCycle >= 2;
}

bool JackPorts::Reachable(Slot& slot) {
    if (gone_ || jack_port_connected(slot.port) == 0) return false;
    const auto now = std::chrono::steady_clock::now();
    if (cycles_ != seenCycles_) {
        seenCycles_ = cycles_;
        seenAt_ = now;
    }
    std::lock_guard<std::mutex> guard(slot.lock);
    return slot.queue.Empty() || now - seenAt_ < kStallLimit;
}

void JackPorts::Close(Slot& slot) {
    if (!gone_) {
        // Waits for a cycle still under way that may use the slot (a short
        // one: the server's thread never waits for us); one that starts
        // after the store sees the slot closing. A stopped server's client is
        // left alone: libjack crashes on it.
        slot.state = kClosing;
        while (processing_ && !gone_) std::this_thread::yield();
        if (!gone_) jack_port_unregister(client_, slot.port);
    }
    slot.port = nullptr;
    slot.state = kFree;
}

void JackPorts::CloseClient() {
    // A client left open stalls a JACK server in synchronous mode until it
    // notices; one whose server has gone is never closed.
    if (client_ != nullptr && !gone_) jack_client_close(client_);
    client_ = nullptr;
}

void JackPorts::OnShutdown(jack_status_t, const char*, void* self) { static_cast<JackPorts*>(self)->gone_ = true; }

int JackPorts::OnXrun(void* self) {
    ++static_cast<JackPorts*>(self)->xruns_;
    return 0;
}

int JackPorts::Process(jack_nframes_t frames, void* self) {
    auto* ports = static_cast<JackPorts*>(self);
    ports->processing_ = true;
    for (Slot& slot : ports->slots_) {
        const int state = slot.state;
        if (state == kSource) ports->Receive(slot, frames);
        if (state == kDestination) ports->Transmit(slot, frames);
    }
    ++ports->cycles_;
    ports->processing_ = false;
    return 0;
}

void JackPorts::Deliver(Slot& slot) {
    slot.handler(slot.message, slot.length, slot.context);
    slot.length = 0;
    slot.inSysEx = false;
}

void JackPorts::Receive(Slot& slot, jack_nframes_t frames) {
    void* buffer = jack_port_get_buffer(slot.port, frames);
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0) continue;
        const unsigned char first = event.buffer[0];
        const bool continues = slot.inSysEx && (first < 0x80 || first == 0xF7);
        // Any other status byte ends a System Exclusive message that was
        // still coming: what came of it is passed on, cut short.
        if (slot.inSysEx && !continues) Deliver(slot);
        if (!continues && first != 0xF0) {
            slot.handler(event.buffer, event.size, slot.context);
            continue;
        }
        const std::size_t room = kLongestMessage - slot.length;
        std::memcpy(slot.message + slot.length, event.buffer, std::min(room, event.size));
        slot.length += std::min(room, event.size);
        slot.inSysEx = true;
        if (event.buffer[event.size - 1] == 0xF7) Deliver(slot);
    }
}

void JackPorts::Transmit(Slot& slot, jack_nframes_t frames) {
    void* buffer = jack_port_get_buffer(slot.port, frames);
    jack_midi_clear_buffer(buffer);
    std::unique_lock<std::mutex> guard(slot.lock, std::try_to_lock);
    if (!guard.owns_lock()) return;
    // A queue found empty has been idle a whole cycle: its next message
    // starts a new pace.
    if (slot.queue.Empty()) slot.pacing = false;
    const Frames start = jack_last_frame_time(client_);
    while (!slot.queue.Empty()) {
        const Queue::Header next = slot.queue.Front();
        Frames at = start;
        if (slot.pacing) {
            const Micros sentAfter = next.sent - slot.sentAt;
            const Frames pause =
                static_cast<Frames>(std::min<Micros>(sentAfter * jack_get_sample_rate(client_) / 1000000, frames));
            if (Before(start, slot.placedAt + pause)) at = slot.placedAt + pause;
        }
        if (at - start >= frames) break;  // its pause runs into the next cycle
        jack_midi_data_t* room = jack_midi_event_reserve(buffer, at - start, next.size);
        if (room == nullptr) break;  // the port's buffer is full: the next cycle takes it
        slot.queue.Pop(room);
        slot.pacing = true;
        slot.placedAt = at;
        slot.sentAt = next.sent;
        slot.takenInCycle = cycles_;
    }
}

}  // namespace

std::unique_ptr<ServicePorts> OpenJackPorts(const char* clientName) {
    auto ports = std::make_unique<JackPorts>();
    return ports->Open(clientName) ? std::move(ports) : nullptr;
}
