// The platform's MIDI calls against a real MIDI service (a JACK server of
// the test's own), with peers that play devices on virtual ports.
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include <fstream>
#include <iterator>

#include "device/image_maker.h"
#include "midi/midi_link.h"
#include "platform/service/rtmidi_clients.h"
#include "platform/service/service_ports.h"
#include "support/child_process.h"

namespace {


// The ports the platform lists, inputs or outputs, by their names.
std::vector<std::string> Names(bool inputs) {
    PortNames ports;
    (inputs ? ListMidiInputs : ListMidiOutputs)(&ports);
    return std::vector<std::string>(ports.names, ports.names + ports.count);
}

// The other end: one virtual port it reads, one it writes, on RtMidi's JACK
// clients. Not on the layer's own: in this process beside the program's
// client, its reads of what that client wrote, ordered by libjack as it
// runs the two clients' cycles, would be data races to ThreadSanitizer.
class Peer {
public:
    explicit Peer(const char* name)
        : name_(name), in_(MakeMidiIn(RtMidi::UNIX_JACK, name)), out_(MakeMidiOut(RtMidi::UNIX_JACK, name)) {
        in_->ignoreTypes(false, true, true);
        in_->setCallback(&Peer::OnMessage, this);
        in_->openVirtualPort("device in");
        out_->openVirtualPort("device out");
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
    void Send(const Bytes& bytes) { out_->sendMessage(bytes.data(), bytes.size()); }
    // Takes the peer's input port away, as when the device is unplugged.
    void Unplug() { in_.reset(); }
    // Its ports as the platform numbers them, found by the client's name,
    // which begins a port's ("client:port"), and which a long name is cut to.
    UINT Input() const { return IndexOf(true); }
    UINT Output() const { return IndexOf(false); }

private:
    static void OnMessage(double, std::vector<unsigned char>* message, void* self) {
        auto* peer = static_cast<Peer*>(self);
        std::lock_guard<std::mutex> guard(peer->lock_);
        peer->received_.emplace_back(message->begin(), message->end());
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
    std::unique_ptr<RtMidiIn> in_;
    std::unique_ptr<RtMidiOut> out_;
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
    EXPECT_GT(input, first.Input());
    // A long name is listed whole, and a port chosen by it opens; the
    // report of the pair found tells the capability record's 31 characters.
    const std::string whole = inputs[input];
    EXPECT_EQ(whole.rfind("peer-second-with-a-name-too-long-for-a-port-name", 0), 0u) << whole;
    EXPECT_EQ(whole.substr(whole.size() - 11), ":device out");
    ASSERT_EQ(link.OpenMidiIn(input, whole.c_str()), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(link.MidiInName(input)), whole.substr(0, 31));
    ASSERT_EQ(link.OpenMidiOut(second.Output()), MMSYSERR_NOERROR);
    EXPECT_EQ(Names(true), inputs) << "our own ports were listed";
    const Bytes request = {0x31, 0x4B, 0x62, 0x19, 0x57, 0x03, 0x6C};
    ASSERT_EQ(link.SendSysEx(second.Output(), request.data(), 7), MMSYSERR_NOERROR);
    EXPECT_EQ(second.Receive(), (Bytes{0xF0, 0x31, 0x4B, 0x62, 0x19, 0x57, 0x03, 0x6C, 0xF7}));

    // Short messages are no System Exclusive messages; every answer is heard.
    second.Send({0x90, 0x40, 0x7F});
    for (std::uint8_t status = 0x1A; status < 0x1D; ++status) {
        second.Send({0xF0, status, 0xF7});
        std::uint8_t taken = 0;
        ASSERT_EQ(Received(link, input, &taken), 3) << "answer " << int(status) << " went unheard";
        EXPECT_EQ(taken, status);
    }
    // Longer than the buffer: the rest follows in the buffer handed back.
    Bytes overlong(200 + 50, 0x33);  // the buffer holds 200 bytes
    overlong.front() = 0xF0;
    overlong.back() = 0xF7;
    second.Send(overlong);
    Sleep(500);
    EXPECT_EQ(Received(link, input), 50);
    EXPECT_EQ(Bytes(link.Mailbox(input).buffer, link.Mailbox(input).buffer + 50), Bytes(overlong.end() - 50, overlong.end()));
    EXPECT_TRUE(first.Receive().empty()) << "the other peer heard it";
    EXPECT_TRUE(link.CloseMidiIn() && link.CloseMidiOut());
}

TEST(JackLink, ASendFailsOnceTheDevicesPortHasGone) {
    MidiLink link;
    Peer staying("peer-staying");
    Peer leaving("peer-leaving");
    const UINT output = leaving.Output();
    ASSERT_EQ(link.OpenMidiOut(output), MMSYSERR_NOERROR);
    const Bytes body = {0x01};
    EXPECT_EQ(link.SendSysEx(output, body.data(), 1), MMSYSERR_NOERROR);
    leaving.Unplug();
    Sleep(150);
    EXPECT_NE(link.SendSysEx(output, body.data(), 1), MMSYSERR_NOERROR) << "other ports are still listed";
    EXPECT_TRUE(link.CloseMidiOut());
    // A closed port's handle is refused, as winmm refuses it, rather than
    // reaching the client that was behind it.
    EXPECT_EQ(link.SendSysEx(output, body.data(), 1), MMSYSERR_INVALHANDLE);
}

TEST(JackLink, AResetInputStopsAndHandsItsBuffersBackEmptyAndAFullQueueLosesTheRest) {
    Peer peer("peer-input");
    HMIDIIN in = nullptr;
    ASSERT_EQ(midiInOpen(&in, peer.Input(), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    char data[4] = {};
    MIDIHDR header = {};
    header.lpData = data;
    header.dwBufferLength = sizeof data;
    ASSERT_EQ(midiInPrepareHeader(in, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInAddBuffer(in, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);
    header.dwBytesRecorded = 3;  // as a buffer that held a message
    ASSERT_EQ(midiInAddBuffer(in, &header, sizeof header), MMSYSERR_NOERROR);
    peer.Send({0xF0, 0x06, 0xF7});
    Sleep(300);
    ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);  // taking the port's lock: read after the message
    EXPECT_EQ(header.dwBytesRecorded, 0u);
    EXPECT_EQ(header.dwFlags & MHDR_INQUEUE, 0u);
    // A message longer than every buffer queued fills them; the rest is lost.
    ASSERT_EQ(midiInAddBuffer(in, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
    peer.Send({0xF0, 0x01, 0x02, 0x03, 0x04, 0x05, 0xF7});
    Sleep(300);
    ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(header.dwBytesRecorded, 4u);
    EXPECT_EQ(Bytes(data, data + 4), (Bytes{0xF0, 0x01, 0x02, 0x03}));
    EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInAddBuffer(in, &header, sizeof header), MMSYSERR_INVALHANDLE);
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
        EXPECT_EQ(all[20 + i].bytes, (Bytes{0xF0, static_cast<std::uint8_t>(i >> 7), static_cast<std::uint8_t>(i & 0x7F), 0xF7}));
    }
    EXPECT_TRUE(link.CloseMidiOut());
    EXPECT_FALSE(peer.Connected()) << "the closed output's port is still on the server";
}

TEST(JackLink, ARecordLargerThanACardsBufferIsLostOnAWireSentAsItComes) {
    // A device behind a 5-pin wire: its ports are a card's, whose buffer
    // drops what the wire has not carried yet. A record of 4096 data bytes,
    // handed to the service at the protocol's pace, as it comes (the
    // platform's layer holds what runs ahead of the wire: EndToEnd).
    TempFolder folder;
    const std::string accepted = folder.root() + "/accepted.bin";
    ChildProcess device(SIM_PATH, {"--wire", "3125", "--accepted", accepted, "--timeout", "60"});
    ASSERT_TRUE(device.WaitForOutput("ready", 10000)) << device.errors();
    std::string text = ImageText(MakeRecord(Bytes(4096, 0x5A)));
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    std::unique_ptr<ServicePorts> service = OwnServicePorts("sender");
    std::unique_ptr<ServiceOutput> out = service->OpenDestination("Tessarine:device in");
    ASSERT_TRUE(out);
    Sleep(100);  // the connection takes effect
    for (std::size_t at = 0; at < text.size(); at += 22) {
        Bytes message = {0xF0};
        message.insert(message.end(), text.begin() + at, text.begin() + std::min(at + 22, text.size()));
        message.push_back(0xF7);
        while (!out->Send(message.data(), message.size())) Sleep(1);
        SleepAtLeast(1);
    }
    Sleep(2000);  // the wire carries what the buffer kept
    EXPECT_EQ(device.Stop(), 0);
    std::ifstream file(accepted, std::ios::binary);
    EXPECT_EQ(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()) << "the record arrived whole";
    EXPECT_NE(device.errors().find("did not fit the card's buffer"), std::string::npos) << device.errors();
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
