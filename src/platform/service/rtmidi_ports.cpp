#include "platform/service/rtmidi_ports.h"

#include <atomic>
#include <chrono>

#include "platform/service/alsa_cards.h"
#include "platform/service/rtmidi_clients.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often a send looks whether its destination is still listed; the look
// walks the service's port list, too slow to repeat for every chunk.
constexpr auto kListCheckInterval = std::chrono::milliseconds(100);

void RecordFailure(RtMidiError::Type type, const std::string&, void* failed) {
    if (type != RtMidiError::DEBUG_WARNING) static_cast<std::atomic<bool>*>(failed)->store(true);
}

// The client's port of that name, as the client numbers it.
bool FindPort(RtMidi& client, const std::string& name, unsigned* index) {
    const unsigned count = client.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        if (client.getPortName(i) != name) continue;
        *index = i;
        return true;
    }
    return false;
}

class RtMidiSource final : public ServiceInput {
public:
    RtMidiSource(std::unique_ptr<RtMidiIn> client, MessageHandler handler, void* context)
        : client_(std::move(client)), handler_(handler), context_(context) {
        client_->setErrorCallback(RecordFailure, &failed_);
        client_->ignoreTypes(false, true, true);
        client_->setCallback(OnMessage, this);
    }
    bool Open(unsigned index) {
        client_->openPort(index, "in");
        return !failed_ && client_->isPortOpen();
    }
    bool OpenOwn(const std::string& name) {
        client_->openVirtualPort(name);
        return !failed_;
    }

private:
    static void OnMessage(double, std::vector<unsigned char>* message, void* self) {
        auto* source = static_cast<RtMidiSource*>(self);
        if (!message->empty()) source->handler_(message->data(), message->size(), source->context_);
    }

    std::atomic<bool> failed_{false};
    std::unique_ptr<RtMidiIn> client_;
    MessageHandler handler_;
    void* context_;
};

class RtMidiDestination final : public ServiceOutput {
public:
    RtMidiDestination(std::unique_ptr<RtMidiOut> client, std::string name)
        : client_(std::move(client)), name_(std::move(name)), lastCheck_(Clock::now()) {
        client_->setErrorCallback(RecordFailure, &failed_);
    }
    // `card`: the buffer behind the port, when it is a card's.
    bool Open(unsigned index, bool card) {
        client_->openPort(index, "out");
        if (failed_ || !client_->isPortOpen()) return false;
#ifdef TESSARINE_WITH_ALSA
        if (card) card_ = CardBuffer::Behind(name_);
        if (card_) link_ = card_->Shown() ? Link::kBufferShown : Link::kHardware;
#else
        (void)card;
#endif
        return true;
    }
    bool OpenOwn(const std::string& name) {
        client_->openVirtualPort(name);
        return !failed_;
    }
    // A message the service refuses (its queue is full) is offered again.
    bool Send(const unsigned char* message, std::size_t size) override {
        failed_ = false;
        client_->sendMessage(message, size);
        return !failed_;
    }
    // These services deliver what they take.
    bool Delivered() override { return true; }
    bool Reachable() override {
        const Clock::time_point now = Clock::now();
        if (now - lastCheck_ < kListCheckInterval) return listed_;
        lastCheck_ = now;
        unsigned index = 0;
        listed_ = FindPort(*client_, name_, &index);
        return listed_;
    }
    Link LinkTo() override { return link_; }
#ifdef TESSARINE_WITH_ALSA
    bool HasRoom(std::size_t size) override { return card_ && card_->TakeRoom(size); }
#endif

private:
    std::atomic<bool> failed_{false};
    std::unique_ptr<RtMidiOut> client_;
    std::string name_;
    Clock::time_point lastCheck_;
    bool listed_ = true;
    Link link_ = Link::kProgram;
    std::unique_ptr<CardBuffer> card_;
};

class RtMidiPorts final : public ServicePorts {
public:
    RtMidiPorts(RtMidi::Api api, const char* clientName) : api_(api), clientName_(clientName) {}

    bool List(bool sources, std::vector<std::string>* names) override {
        RtMidi* lister = Lister(sources);
        if (lister == nullptr) return false;
        const unsigned count = lister->getPortCount();
        for (unsigned i = 0; i < count; ++i) names->push_back(lister->getPortName(i));
        return true;
    }

    std::unique_ptr<ServiceInput> OpenSource(const std::string& name, MessageHandler handler, void* context) override {
        std::unique_ptr<RtMidiIn> client = MakeMidiIn(api_, clientName_.c_str());
        unsigned index = 0;
        if (!client || !FindPort(*client, name, &index)) return nullptr;
        auto source = std::make_unique<RtMidiSource>(std::move(client), handler, context);
        return source->Open(index) ? std::move(source) : nullptr;
    }

    std::unique_ptr<ServiceOutput> OpenDestination(const std::string& name) override {
        std::unique_ptr<RtMidiOut> client = MakeMidiOut(api_, clientName_.c_str());
        unsigned index = 0;
        if (!client || !FindPort(*client, name, &index)) return nullptr;
        auto destination = std::make_unique<RtMidiDestination>(std::move(client), name);
        return destination->Open(index, api_ == RtMidi::LINUX_ALSA) ? std::move(destination) : nullptr;
    }

    std::unique_ptr<ServiceInput> OpenOwnSource(const std::string& name, MessageHandler handler, void* context,
                                                bool) override {
        std::unique_ptr<RtMidiIn> client = MakeMidiIn(api_, clientName_.c_str());
        if (!client) return nullptr;
        auto source = std::make_unique<RtMidiSource>(std::move(client), handler, context);
        return source->OpenOwn(name) ? std::move(source) : nullptr;
    }

    std::unique_ptr<ServiceOutput> OpenOwnDestination(const std::string& name, bool) override {
        std::unique_ptr<RtMidiOut> client = MakeMidiOut(api_, clientName_.c_str());
        if (!client) return nullptr;
        auto destination = std::make_unique<RtMidiDestination>(std::move(client), name);
        return destination->OpenOwn(name) ? std::move(destination) : nullptr;
    }

    bool Gone() override { return false; }
    const char* Name() override {
        switch (api_) {
            case RtMidi::LINUX_ALSA: return "ALSA";
            case RtMidi::MACOSX_CORE: return "CoreMIDI";
            case RtMidi::UNIX_JACK: return "JACK";
            default: return "";
        }
    }

private:
    // Made on the first listing and kept: making a client costs time.
    RtMidi* Lister(bool sources) {
        if (sources && !inputLister_) inputLister_ = MakeMidiIn(api_, clientName_.c_str());
        if (!sources && !outputLister_) outputLister_ = MakeMidiOut(api_, clientName_.c_str());
        return sources ? static_cast<RtMidi*>(inputLister_.get()) : outputLister_.get();
    }

    RtMidi::Api api_;
    std::string clientName_;
    std::unique_ptr<RtMidiIn> inputLister_;
    std::unique_ptr<RtMidiOut> outputLister_;
};

}  // namespace

std::unique_ptr<ServicePorts> MakeRtMidiServicePorts(RtMidi::Api api, const char* clientName) {
    return std::make_unique<RtMidiPorts>(api, clientName);
}
