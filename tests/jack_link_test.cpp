// The platform's MIDI calls against a real MIDI service (a JACK server of
// the test's own), with peers that play devices on virtual ports.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <regex>
#include <thread>
#include <vector>

#include "device/image_maker.h"
#include "midi/midi_link.h"
#include "platform/service/rtmidi_ports.h"
#include "platform/service/service_ports.h"
#include "support/child_process.h"

namespace {

// The ports the platform lists, inputs or outputs, by their names.
std::vector<std::string> Names(bool inputs) {
    PortNames ports;
    (inputs ? ListMidiInputs : ListMidiOutputs)(&ports);
    return std::vector<std::string>(ports.names, ports.names + ports.count);
}

// The other end: one port it reads, one it writes, of its own, on RtMidi's
// JACK clients (the service's ports through RtMidi, as the program has the
// ALSA sequencer's). Not on the layer's own: in this process beside the
// program's client, its reads of what that client wrote, ordered by libjack
// as it runs the two clients' cycles, would be data races to
// ThreadSanitizer.
class Peer {
public:
    explicit Peer(const char* name) : name_(name), service_(MakeRtMidiServicePorts(RtMidi::UNIX_JACK, name)) {
        in_ = service_->OpenOwnSource("device in", &Peer::OnMessage, this, false);
        out_ = service_->OpenOwnDestination("device out", false);
    }
    // The next message the peer received, or nothing after two seconds.
    Bytes Receive() {
        std::unique_lock<std::mutex> guard(lock_);
        arrived_.wait_for(guard, std::chrono::seconds(2), [&] { return !received_.empty(); });
        if (received_.empty()) return {};
        Bytes message = received_.front();
        received_.erase(received_.begin());
        return message;
    }
    void Send(const Bytes& bytes) { EXPECT_TRUE(out_->Send(bytes.data(), bytes.size())); }
    // Takes the peer's input port away, as when the device is unplugged.
    void Unplug() { in_.reset(); }
    // Its ports as the platform numbers them, found by the client's name,
    // which begins a port's ("client:port"), and which a long name is cut to.
    UINT Input() const { return IndexOf(true); }
    UINT Output() const { return IndexOf(false); }

private:
    static void OnMessage(const unsigned char* message, std::size_t size, void* self) {
        auto* peer = static_cast<Peer*>(self);
        std::lock_guard<std::mutex> guard(peer->lock_);
        peer->received_.emplace_back(message, message + size);
        peer->arrived_.notify_all();
    }
    UINT IndexOf(bool input) const {
        const std::vector<std::string> names = Names(input);
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i].rfind(name_, 0) == 0 || name_.rfind(names[i], 0) == 0) return static_cast<UINT>(i);
        }
        ADD_FAILURE() << name_ << " is not listed";
        return 0;
    }

    std::string name_;
    std::mutex lock_;
    std::condition_variable arrived_;
    std::vector<Bytes> received_;
    std::unique_ptr<ServicePorts> service_;
    std::unique_ptr<ServiceInput> in_;
    std::unique_ptr<ServiceOutput> out_;
};

// Waits up to two seconds for the input's mailbox to hold a message; its
// byte count, and its status byte taken.
std::int16_t Received(MidiLink& link, UINT input, std::uint8_t* status = nullptr) {
    for (int polls = 0; polls < 2000 && link.Mailbox(input).Count() == 0; ++polls) Sleep(1);
    const std::int16_t count = link.Mailbox(input).Count();
    std::uint8_t taken = 0;
    link.Mailbox(input).Take(&taken);
    if (status != nullptr) *status = taken;
    return count;
}

TEST(JackLink, MessagesReachTheChosenPeerAndItsAnswersTheMailbox) {
    MidiLink link;
    Peer first("peer-a");
    Peer second("peer-second-with-a-name-too-long-for-a-port-name");
    const std::vector<std::string> inputs = Names(true);
    const UINT input = second.Input();
    // A long name is listed whole, and a port chosen by it opens; the
    // report of the pair found tells the capability record's 31 characters.
    const std::string& whole = inputs[input];
    EXPECT_TRUE(std::regex_match(whole, std::regex("peer-second-with-a-name-too-long-for-a-port-name.*:device out")))
        << whole;
    ASSERT_EQ(link.OpenMidiIn(input, whole.c_str()), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(link.MidiInName(input)), whole.substr(0, 31));
    const UINT output = second.Output();
    ASSERT_EQ(link.OpenMidiOut(output), MMSYSERR_NOERROR);
    EXPECT_EQ(Names(true), inputs) << "our own ports were listed";
    const Bytes request = {0x31, 0x4B, 0x62, 0x19, 0x57, 0x03, 0x6C};
    ASSERT_EQ(link.SendSysEx(output, request.data(), 7), MMSYSERR_NOERROR);
    EXPECT_EQ(second.Receive(), (Bytes{0xF0, 0x31, 0x4B, 0x62, 0x19, 0x57, 0x03, 0x6C, 0xF7}));
    EXPECT_TRUE(first.Receive().empty()) << "the other peer heard it";
    // Short messages are no replies; every answer is heard, and one longer
    // than the buffer goes on in the buffer handed back.
    Bytes overlong(200 + 50, 0x33);
    overlong.front() = 0xF0;
    overlong.back() = 0xF7;
    for (const Bytes& message : {Bytes{0x90, 0x40, 0x7F}, Bytes{0xF0, 0x1A, 0xF7}, Bytes{0xF0, 0x1B, 0xF7}, overlong}) {
        second.Send(message);
        if (message[0] != 0xF0) continue;
        // Both buffers of the long one, before the mailbox is read.
        if (message.size() > 3) Sleep(500);
        std::uint8_t taken = 0;
        EXPECT_EQ(Received(link, input, &taken), message.size() > 3 ? 50 : 3);
        EXPECT_EQ(taken, message.size() > 3 ? 0x33 : message[1]);
    }
    EXPECT_EQ(Bytes(link.Mailbox(input).buffer, link.Mailbox(input).buffer + 50),
              Bytes(overlong.end() - 50, overlong.end()));
    // A message the port's closing cut off does not lead the first one
    // heard once it opens again (as while the search opens and closes
    // ports), which comes in two pieces, as a bridge from a card passes a
    // long one on, and is put together.
    second.Send({0xF0, 0x33, 0x33});
    Sleep(150);
    ASSERT_TRUE(link.CloseMidiIn());
    ASSERT_EQ(link.OpenMidiIn(input, whole.c_str()), MMSYSERR_NOERROR);
    second.Send({0xF0, 0x1C, 0x33});
    second.Send({0x33, 0xF7});
    std::uint8_t taken = 0;
    EXPECT_EQ(Received(link, input, &taken), 5);
    EXPECT_EQ(taken, 0x1C);
    // Its port gone, as when the device is unplugged, a send fails; a closed
    // port's handle is refused, as winmm refuses it.
    second.Unplug();
    Sleep(150);
    EXPECT_NE(link.SendSysEx(output, request.data(), 7), MMSYSERR_NOERROR) << "other ports are still listed";
    EXPECT_TRUE(link.CloseMidiIn() && link.CloseMidiOut());
    EXPECT_EQ(link.SendSysEx(output, request.data(), 7), MMSYSERR_INVALHANDLE);
    // Closed, its ports are gone from the server.
    ChildProcess ports("/usr/bin/jack_lsp", {});
    EXPECT_EQ(ports.Wait(5000), 0);
    EXPECT_EQ(ports.output().find("tessarine-update:"), std::string::npos) << ports.output();
}

// A device's input on the server, as JACK delivers to it: each message with
// the frame it is placed at.
class FramePeer {
public:
    struct Arrival {
        jack_nframes_t frame;
        Bytes bytes;
    };
    FramePeer() {
        client_ = jack_client_open("peer-frames", JackNoStartServer, nullptr);
        port_ = jack_port_register(client_, "device in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client_, &FramePeer::Process, this);
        jack_activate(client_);
    }
    ~FramePeer() { jack_client_close(client_); }
    // What arrived, once `count` messages have or two seconds passed.
    std::vector<Arrival> Arrivals(std::size_t count) {
        std::unique_lock<std::mutex> guard(lock_);
        arrived_.wait_for(guard, std::chrono::seconds(2), [&] { return arrivals_.size() >= count; });
        return arrivals_;
    }
    jack_nframes_t SampleRate() const { return jack_get_sample_rate(client_); }
    bool Connected() const { return jack_port_connected(port_) > 0; }
    UINT Output() const {
        const std::vector<std::string> names = Names(false);
        const auto found = std::find(names.begin(), names.end(), "peer-frames:device in");
        EXPECT_NE(found, names.end());
        return static_cast<UINT>(found - names.begin());
    }

private:
    // Apart, so that ThreadSanitizer can be told about it (tsan.supp).
    static __attribute__((noinline)) Bytes CopyFromPortBuffer(const jack_midi_event_t& event) {
        Bytes bytes(event.size);
        std::memcpy(bytes.data(), event.buffer, event.size);
        return bytes;
    }
    static int Process(jack_nframes_t frames, void* self) {
        auto* peer = static_cast<FramePeer*>(self);
        void* buffer = jack_port_get_buffer(peer->port_, frames);
        const jack_nframes_t start = jack_last_frame_time(peer->client_);
        std::lock_guard<std::mutex> guard(peer->lock_);
        for (jack_nframes_t i = 0; i < jack_midi_get_event_count(buffer); ++i) {
            jack_midi_event_t event;
            jack_midi_event_get(&event, buffer, i);
            peer->arrivals_.push_back({start + event.time, CopyFromPortBuffer(event)});
        }
        peer->arrived_.notify_all();
        return 0;
    }
    jack_client_t* client_;
    jack_port_t* port_;
    std::mutex lock_;
    std::condition_variable arrived_;
    std::vector<Arrival> arrivals_;
};

TEST(JackLink, MessagesKeepTheirPacesAndAServerHeldBackLosesNone) {
    MidiLink link;
    FramePeer peer;
    const UINT output = peer.Output();
    ASSERT_EQ(link.OpenMidiOut(output), MMSYSERR_NOERROR);
    Sleep(100);  // the connection takes effect
    // At the protocol's pace: a pause of 1 ms after every message, so that
    // the device has time to work on it, which a cycle that carries several
    // must keep.
    for (std::uint8_t i = 0; i < 20; ++i) {
        ASSERT_EQ(link.SendSysEx(output, &i, 1), MMSYSERR_NOERROR);
        SleepAtLeast(1);
    }
    const std::vector<FramePeer::Arrival> paced = peer.Arrivals(20);
    ASSERT_EQ(paced.size(), 20u);
    const jack_nframes_t millisecond = peer.SampleRate() / 1000;
    for (std::size_t i = 1; i < paced.size(); ++i) {
        EXPECT_GE(paced[i].frame - paced[i - 1].frame, millisecond * 9 / 10) << "message " << i;
    }
    // As fast as they can go, while the server runs no cycle: the sends
    // wait for room, and every message arrives, once, in order.
    const char* server = std::getenv("WITH_JACK_SERVER_PID");
    ASSERT_NE(server, nullptr) << "run under scripts/with-jack";
    kill(static_cast<pid_t>(std::atoi(server)), SIGSTOP);
    std::thread resume([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        kill(static_cast<pid_t>(std::atoi(server)), SIGCONT);
    });
    constexpr std::size_t kFlood = 500;
    for (std::size_t i = 0; i < kFlood; ++i) {
        const std::uint8_t body[] = {static_cast<std::uint8_t>(i >> 7), static_cast<std::uint8_t>(i & 0x7F)};
        ASSERT_EQ(link.SendSysEx(output, body, sizeof body), MMSYSERR_NOERROR) << "message " << i;
    }
    resume.join();
    std::vector<FramePeer::Arrival> all = peer.Arrivals(20 + kFlood);
    ASSERT_EQ(all.size(), 20 + kFlood);
    for (std::size_t i = 0; i < kFlood; ++i) {
        EXPECT_EQ(all[20 + i].bytes,
                  (Bytes{0xF0, static_cast<std::uint8_t>(i >> 7), static_cast<std::uint8_t>(i & 0x7F), 0xF7}));
    }
    EXPECT_TRUE(link.CloseMidiOut());
    EXPECT_FALSE(peer.Connected()) << "the closed output's port is still on the server";
}

TEST(Kernel, TheReplyEventWakesOneWaitAndResets) {
    // Waits for replies sleep on it; one that stayed set would make them spin.
    static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // events are never freed
    EXPECT_EQ(WaitForSingleObject(event, 1), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(event);
    EXPECT_EQ(WaitForSingleObject(event, 1000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(event, 1), static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
