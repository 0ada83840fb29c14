// The test-only bridge that carries a browser page's Web MIDI to the ports
// of a MIDI service (the tests' own JACK server), through the program's own
// platform layer: the page's Web MIDI stand-in asks for it, line by line on
// standard input, and hears the messages its sources receive on standard
// output.
//
//   list                         sources N, N names, destinations M, M names
//   open-source ID NAME          opened ID ok | opened ID failed
//   open-destination ID NAME     the same
//   close ID
//   send ID DELAY_MS HEX         sends the message after the delay, in order
//   (from the bridge)            message ID HEX
#include <condition_variable>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/service/service_ports.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<unsigned char>;

constexpr char kClientName[] = "tessarine-web-bridge";

std::mutex printing;

void Print(const std::string& line) {
    std::lock_guard<std::mutex> guard(printing);
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::string Hex(const unsigned char* bytes, std::size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) text += {digits[bytes[i] >> 4], digits[bytes[i] & 15]};
    return text;
}

Bytes FromHex(const std::string& text) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) bytes.push_back(std::stoi(text.substr(i, 2), nullptr, 16));
    return bytes;
}

struct Source {
    int id;
};

void OnMessage(const unsigned char* message, std::size_t size, void* context) {
    Print("message " + std::to_string(static_cast<Source*>(context)->id) + " " + Hex(message, size));
}

// Sends in the order asked, each at its time.
class Sender {
public:
    Sender() : thread_([this] { Run(); }) {}
    ~Sender() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            done_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    void Add(ServiceOutput* destination, Clock::time_point at, Bytes bytes) {
        std::lock_guard<std::mutex> guard(lock_);
        // Never before one asked for earlier.
        if (!queue_.empty() && at < queue_.back().at) at = queue_.back().at;
        queue_.push_back({destination, at, std::move(bytes)});
        changed_.notify_all();
    }
    // Nothing more goes to a destination that closes.
    void Forget(ServiceOutput* destination) {
        std::unique_lock<std::mutex> guard(lock_);
        for (Item& item : queue_) {
            if (item.destination == destination) item.destination = nullptr;
        }
        changed_.wait(guard, [&] { return busy_ != destination; });
    }

private:
    struct Item {
        ServiceOutput* destination;
        Clock::time_point at;
        Bytes bytes;
    };
    void Run() {
        std::unique_lock<std::mutex> guard(lock_);
        for (;;) {
            changed_.wait(guard, [&] { return done_ || !queue_.empty(); });
            if (done_) return;
            const Clock::time_point at = queue_.front().at;
            if (Clock::now() < at) {
                changed_.wait_until(guard, at);
                continue;
            }
            Item item = std::move(queue_.front());
            queue_.erase(queue_.begin());
            busy_ = item.destination;
            guard.unlock();
            // A full queue holds the message back; it is never dropped.
            while (item.destination != nullptr && !item.destination->Send(item.bytes.data(), item.bytes.size())) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            guard.lock();
            busy_ = nullptr;
            changed_.notify_all();
        }
    }

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<Item> queue_;
    ServiceOutput* busy_ = nullptr;
    bool done_ = false;
    std::thread thread_;
};

// The service's ports, without the bridge's own.
std::vector<std::string> Listed(ServicePorts& service, bool sources) {
    std::vector<std::string> names;
    std::vector<std::string> listed;
    service.List(sources, &listed);
    for (std::string& name : listed) {
        if (name.rfind(kClientName, 0) != 0) names.push_back(std::move(name));
    }
    return names;
}

}  // namespace

int main() {
    ServicePorts* service = ChosenServicePorts(kClientName);
    if (service == nullptr) {
        std::fprintf(stderr, "webmidi_bridge: no MIDI service\n");
        return 3;
    }
    std::map<int, std::unique_ptr<Source>> contexts;
    std::map<int, std::unique_ptr<ServiceInput>> inputs;
    std::map<int, std::unique_ptr<ServiceOutput>> outputs;
    Sender sender;
    Print("ready");
    for (std::string line; std::getline(std::cin, line);) {
        std::istringstream words(line);
        std::string command;
        int id = 0;
        words >> command >> id;
        std::string rest;
        std::getline(words >> std::ws, rest);
        if (command == "list") {
            for (bool sources : {true, false}) {
                const std::vector<std::string> names = Listed(*service, sources);
                Print(std::string(sources ? "sources " : "destinations ") + std::to_string(names.size()));
                for (const std::string& name : names) Print(name);
            }
        } else if (command == "open-source") {
            auto& context = contexts[id];
            context = std::make_unique<Source>(Source{id});
            inputs[id] = service->OpenSource(rest, OnMessage, context.get());
            Print("opened " + std::to_string(id) + (inputs[id] ? " ok" : " failed"));
        } else if (command == "open-destination") {
            outputs[id] = service->OpenDestination(rest);
            Print("opened " + std::to_string(id) + (outputs[id] ? " ok" : " failed"));
        } else if (command == "close") {
            inputs.erase(id);
            if (outputs.count(id)) sender.Forget(outputs[id].get());
            outputs.erase(id);
        } else if (command == "send" && outputs[id]) {
            std::istringstream values(rest);
            double delayMs = 0;
            std::string hex;
            values >> delayMs >> hex;
            const auto at = Clock::now() + std::chrono::microseconds(static_cast<long long>(delayMs * 1000));
            sender.Add(outputs[id].get(), at, FromHex(hex));
        }
    }
    return 0;
}
