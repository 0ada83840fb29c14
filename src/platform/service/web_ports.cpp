#include "platform/service/web_ports.h"

#include <emscripten.h>

#include <cstdint>
#include <string>

// The page's side lives in Module.tessarine (page/midi.js).
// The JavaScript below is the page's, as the browser reads it.
// clang-format off
EM_JS(int, WebPortCount, (int sources), {
    const access = Module.tessarine.access;
    if (!access) return -1;
    return (sources ? access.inputs : access.outputs).size;
});
EM_JS(void, WebPortName, (int sources, int index, char* out, int size), {
    const access = Module.tessarine.access;
    const ports = Array.from((sources ? access.inputs : access.outputs).values());
    stringToUTF8(ports[index].name || "", out, size);
});
EM_ASYNC_JS(int, WebOpenPort, (int sources, const char* name), {
    return await Module.tessarine.openPort(sources !== 0, UTF8ToString(name));
});
EM_JS(void, WebClosePort, (int id), { Module.tessarine.closePort(id); });
EM_JS(int, WebSend, (int id, const std::uint8_t* data, int size), {
    return Module.tessarine.send(id, HEAPU8.slice(data, data + size)) ? 1 : 0;
});
EM_JS(int, WebConnected, (int id), { return Module.tessarine.connected(id) ? 1 : 0; });
EM_JS(int, WebNextMessage, (int* id, std::uint8_t* out, int size), {
    const next = Module.tessarine.queue.shift();
    if (!next) return -1;
    setValue(id, next[0], "i32");
    const length = Math.min(size, next[1].length);
    HEAPU8.set(next[1].subarray(0, length), out);
    return length;
});
// clang-format on

namespace {

constexpr int kSources = 16;
// The longest message handed on whole; the rest of a longer one is cut off.
constexpr int kLongestMessage = 4096;

struct Source {
    int id = -1;
    MessageHandler handler = nullptr;
    void* context = nullptr;
};
Source sources[kSources];

class WebSource final : public ServiceInput {
public:
    explicit WebSource(Source* source) : source_(source) {}
    ~WebSource() override {
        WebClosePort(source_->id);
        source_->id = -1;
    }

private:
    Source* source_;
};

class WebDestination final : public ServiceOutput {
public:
    explicit WebDestination(int id) : id_(id) {}
    ~WebDestination() override { WebClosePort(id_); }
    // The browser takes every message at once, in order.
    bool Send(const unsigned char* message, std::size_t size) override {
        return WebSend(id_, message, static_cast<int>(size)) != 0;
    }
    bool Delivered() override { return true; }
    bool Reachable() override { return WebConnected(id_) != 0; }
    // Web MIDI tells a card's port from a program's no more than it shows a
    // card's buffer: any port may lead to a cable.
    Link LinkTo() override { return Link::kHardware; }

private:
    int id_;
};

class WebPorts final : public ServicePorts {
public:
    bool List(bool wantSources, std::vector<std::string>* names) override {
        const int count = WebPortCount(wantSources ? 1 : 0);
        if (count < 0) return false;
        for (int i = 0; i < count; ++i) {
            char name[256];
            WebPortName(wantSources ? 1 : 0, i, name, sizeof name);
            names->emplace_back(name);
        }
        return true;
    }

    std::unique_ptr<ServiceInput> OpenSource(const std::string& name, MessageHandler handler, void* context) override {
        for (Source& source : sources) {
            if (source.id >= 0) continue;
            const int id = WebOpenPort(1, name.c_str());
            if (id < 0) return nullptr;
            source = {id, handler, context};
            return std::make_unique<WebSource>(&source);
        }
        return nullptr;
    }

    std::unique_ptr<ServiceOutput> OpenDestination(const std::string& name) override {
        const int id = WebOpenPort(0, name.c_str());
        return id < 0 ? nullptr : std::make_unique<WebDestination>(id);
    }

    bool Gone() override { return false; }
    const char* Name() override { return "Web MIDI"; }
};

}  // namespace

void PumpWebMidi() {
    static std::uint8_t message[kLongestMessage];
    int id = 0;
    for (int length; (length = WebNextMessage(&id, message, sizeof message)) >= 0;) {
        for (const Source& source : sources) {
            if (source.id == id) source.handler(message, static_cast<std::size_t>(length), source.context);
        }
    }
}

ServicePorts* ChosenServicePorts(const char*) {
    static WebPorts ports;
    return &ports;
}
