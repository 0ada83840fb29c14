// The platform's MIDI calls over RtMidi against a real MIDI service: a JACK
// server (or the ALSA sequencer, where there is one) and a peer that plays
// the device on virtual ports.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "midi/midi_link.h"
#include "platform/midi_service.h"
#include "platform/winmm.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

void Ignore(RtMidiError::Type, const std::string&, void*) {}

// The other end: one virtual port it reads, one it writes.
class Peer {
public:
    explicit Peer(const char* name)
        : in_(MakeMidiIn(name, Ignore, nullptr)), out_(MakeMidiOut(name, Ignore, nullptr)) {
        in_->ignoreTypes(false, true, true);
        in_->setCallback(&Peer::OnMessage, this);
        in_->openVirtualPort("device in");
        out_->openVirtualPort("device out");
    }

    // The next message the peer received, or nothing after two seconds.
    Bytes Receive() {
        std::unique_lock<std::mutex> guard(lock_);
        arrived_.wait_for(guard, 2s, [&] { return !received_.empty(); });
        if (received_.empty()) return {};
        Bytes message = received_.front();
        received_.erase(received_.begin());
        return message;
    }

    void Send(const Bytes& bytes) { out_->sendMessage(bytes.data(), bytes.size()); }

    // Takes the peer's input port away, as when the device is unplugged.
    void Unplug() { in_.reset(); }

private:
    static void OnMessage(double, std::vector<unsigned char>* message, void* self) {
        auto* peer = static_cast<Peer*>(self);
        std::lock_guard<std::mutex> guard(peer->lock_);
        peer->received_.emplace_back(message->begin(), message->end());
        peer->arrived_.notify_all();
    }

    std::mutex lock_;
    std::condition_variable arrived_;
    std::vector<Bytes> received_;
    std::unique_ptr<RtMidiIn> in_;
    std::unique_ptr<RtMidiOut> out_;
};

// The ports as the platform lists them. A service may take a while to drop
// the ports of an earlier test's peer, so ports are found by name.
std::vector<std::string> InputNames() {
    std::vector<std::string> names;
    MIDIINCAPSA caps = {};
    while (midiInGetDevCapsA(names.size(), &caps, sizeof caps) == MMSYSERR_NOERROR) names.push_back(caps.szPname);
    return names;
}

std::vector<std::string> OutputNames() {
    std::vector<std::string> names;
    MIDIOUTCAPSA caps = {};
    while (midiOutGetDevCapsA(names.size(), &caps, sizeof caps) == MMSYSERR_NOERROR) names.push_back(caps.szPname);
    return names;
}

// Each service names a port after its client in its own way ("client:port",
// "client-01:port", "client:port 128:0").
UINT IndexOf(const std::vector<std::string>& names, const std::string& client, const std::string& port) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].rfind(client, 0) == 0 && names[i].find(port) != std::string::npos) return static_cast<UINT>(i);
    }
    ADD_FAILURE() << client << " " << port << " is not listed";
    return 0;
}

// What the input port's notification routine was called with.
struct Notification {
    UINT message;
    Bytes bytes;
};

std::mutex notificationsLock;
std::condition_variable notified;
std::vector<Notification> notifications;

void CALLBACK RecordInput(HMIDIIN, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
    Notification note{message, {}};
    if (message == MIM_LONGDATA || message == MIM_LONGERROR) {
        const auto* header = reinterpret_cast<const MIDIHDR*>(param1);
        note.bytes.assign(header->lpData, header->lpData + header->dwBytesRecorded);
    } else if (message == MIM_DATA) {
        note.bytes = {static_cast<std::uint8_t>(param1), static_cast<std::uint8_t>(param1 >> 8),
                      static_cast<std::uint8_t>(param1 >> 16)};
    }
    std::lock_guard<std::mutex> guard(notificationsLock);
    notifications.push_back(note);
    notified.notify_all();
}

std::vector<Notification> WaitForNotifications(std::size_t count) {
    std::unique_lock<std::mutex> guard(notificationsLock);
    notified.wait_for(guard, 2s, [&] { return notifications.size() >= count; });
    return notifications;
}

TEST(JackLink, PortsAreCountedAndNamedWithoutOurOwn) {
    Peer peer("peer-names");
    const std::vector<std::string> inputs = InputNames();
    const std::vector<std::string> outputs = OutputNames();
    IndexOf(inputs, "peer-names", "device out");
    IndexOf(outputs, "peer-names", "device in");
    for (const std::string& name : inputs) EXPECT_LE(name.size(), 31u) << name;

    // Opening our own ports adds none to the lists.
    HMIDIIN in = nullptr;
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiInOpen(&in, IndexOf(inputs, "peer-names", "device out"), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutOpen(&out, IndexOf(outputs, "peer-names", "device in"), 0, 0, CALLBACK_NULL),
              MMSYSERR_NOERROR);
    EXPECT_EQ(InputNames(), inputs);
    EXPECT_EQ(OutputNames(), outputs);
    EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInGetDevCapsA(inputs.size(), nullptr, 0), MMSYSERR_INVALPARAM);
}

TEST(JackLink, SysExTravelsBothWaysAndShortMessagesAreNotLongData) {
    Peer peer("peer-sysex");
    HMIDIIN in = nullptr;
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiInOpen(&in, IndexOf(InputNames(), "peer-sysex", "device out"),
                         reinterpret_cast<DWORD_PTR>(&RecordInput), 0, CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutOpen(&out, IndexOf(OutputNames(), "peer-sysex", "device in"), 0, 0, CALLBACK_NULL),
              MMSYSERR_NOERROR);
    std::uint8_t buffer[200] = {};
    MIDIHDR header = {};
    header.lpData = reinterpret_cast<LPSTR>(buffer);
    header.dwBufferLength = sizeof buffer;
    ASSERT_EQ(midiInPrepareHeader(in, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInAddBuffer(in, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);

    std::uint8_t frame[] = {0xF0, 0x30, 0x30, 0x30, 0x34, 0x46, 0x44, 0xF7};
    MIDIHDR sent = {};
    sent.lpData = reinterpret_cast<LPSTR>(frame);
    sent.dwBufferLength = sizeof frame;
    ASSERT_EQ(midiOutPrepareHeader(out, &sent, sizeof sent), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &sent, sizeof sent), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutUnprepareHeader(out, &sent, sizeof sent), MMSYSERR_NOERROR);
    EXPECT_EQ(peer.Receive(), Bytes(frame, frame + sizeof frame));

    peer.Send({0x90, 0x40, 0x7F});
    peer.Send({0xF0, 0x1A, 0x05, 0xF7});
    const std::vector<Notification> seen = WaitForNotifications(2);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(MIM_DATA));
    EXPECT_EQ(seen[0].bytes, (Bytes{0x90, 0x40, 0x7F}));
    EXPECT_EQ(seen[1].message, static_cast<UINT>(MIM_LONGDATA));
    EXPECT_EQ(seen[1].bytes, (Bytes{0xF0, 0x1A, 0x05, 0xF7}));
    EXPECT_EQ(header.dwBytesRecorded, 4u);

    // Longer than the buffers: the first comes back full, the rest follows
    // in the next.
    std::uint8_t second[200] = {};
    MIDIHDR next = {};
    next.lpData = reinterpret_cast<LPSTR>(second);
    next.dwBufferLength = sizeof second;
    for (MIDIHDR* h : {&header, &next}) {
        ASSERT_EQ(midiInPrepareHeader(in, h, sizeof *h), MMSYSERR_NOERROR);
        ASSERT_EQ(midiInAddBuffer(in, h, sizeof *h), MMSYSERR_NOERROR);
    }
    Bytes overlong(250, 0x33);
    overlong.front() = 0xF0;
    overlong.back() = 0xF7;
    peer.Send(overlong);
    const std::vector<Notification> pieces = WaitForNotifications(4);
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[2].message, static_cast<UINT>(MIM_LONGDATA));
    EXPECT_EQ(pieces[2].bytes, Bytes(overlong.begin(), overlong.begin() + 200));
    EXPECT_EQ(pieces[3].message, static_cast<UINT>(MIM_LONGDATA));
    EXPECT_EQ(pieces[3].bytes, Bytes(overlong.begin() + 200, overlong.end()));

    // The port holds no buffer now; closing it needs none handed back.
    EXPECT_EQ(midiInUnprepareHeader(in, &next, sizeof next), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInUnprepareHeader(in, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST(JackLink, TheMidiLinkHearsTheDeviceAndClosesCleanly) {
    Peer peer("peer-link");
    const UINT input = IndexOf(InputNames(), "peer-link", "device out");
    Mailbox(input).receivedCount = 0;
    ASSERT_EQ(OpenMidiIn(input), MMSYSERR_NOERROR);
    ASSERT_EQ(OpenMidiOut(IndexOf(OutputNames(), "peer-link", "device in")), MMSYSERR_NOERROR);
    EXPECT_EQ(MidiInName(input), InputNames()[input]);

    const Bytes handshake = {0x31, 0x4B, 0x62, 0x19, 0x57, 0x03, 0x6C};
    ASSERT_EQ(SendSysEx(handshake.data(), 7), MMSYSERR_NOERROR);
    EXPECT_EQ(peer.Receive(), (Bytes{0xF0, 0x31, 0x4B, 0x62, 0x19, 0x57, 0x03, 0x6C, 0xF7}));

    for (int reply = 0; reply < 3; ++reply) {
        peer.Send({0xF0, static_cast<std::uint8_t>(0x1A + reply), 0xF7});
        for (int polls = 0; polls < 2000 && Mailbox(input).receivedCount <= 1; ++polls) Sleep(1);
        ASSERT_EQ(Mailbox(input).receivedCount, 3) << "reply " << reply << " went unheard";
        EXPECT_EQ(Mailbox(input).status, 0x1A + reply);
        Mailbox(input).receivedCount = 0;
    }
    EXPECT_TRUE(CloseMidiIn());
    EXPECT_TRUE(CloseMidiOut());
}

TEST(JackLink, ASendFailsOnceTheDevicesPortHasGone) {
    Peer peer("peer-unplug");
    ASSERT_EQ(OpenMidiOut(IndexOf(OutputNames(), "peer-unplug", "device in")), MMSYSERR_NOERROR);
    const Bytes body = {0x01};
    EXPECT_EQ(SendSysEx(body.data(), 1), MMSYSERR_NOERROR);
    peer.Unplug();
    Sleep(150);
    EXPECT_NE(SendSysEx(body.data(), 1), MMSYSERR_NOERROR);
    EXPECT_TRUE(CloseMidiOut());
}

}  // namespace
