// The open ports of a layer that stands in for winmm, behind the handles it
// gives out. A handle is a number, not a pointer: a slot of a fixed table
// and the count of that slot's openings, so a handle that has been closed
// (even when its slot holds another port since) finds nothing, and the call
// answers MMSYSERR_INVALHANDLE, as winmm does, instead of reading freed
// memory. Safe to look up from the MIDI service's thread while the main
// flow opens and closes ports.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

template <typename Port, typename Handle, std::size_t kSlots = 32>
class PortTable {
public:
    // The port's handle; null when every slot is taken.
    Handle Add(std::unique_ptr<Port> port) {
        std::lock_guard<std::mutex> guard(lock_);
        for (std::size_t i = 0; i < kSlots; ++i) {
            if (slots_[i].port) continue;
            slots_[i].port = std::move(port);
            ++slots_[i].openings;
            return HandleOf(i);
        }
        return nullptr;
    }

    // The open port behind the handle, or null.
    Port* Find(Handle handle) {
        std::lock_guard<std::mutex> guard(lock_);
        Slot* slot = SlotOf(handle);
        return slot != nullptr ? slot->port.get() : nullptr;
    }

    // Takes the port out: its handle finds nothing from now on.
    std::unique_ptr<Port> Remove(Handle handle) {
        std::lock_guard<std::mutex> guard(lock_);
        Slot* slot = SlotOf(handle);
        return slot != nullptr ? std::move(slot->port) : nullptr;
    }

    // The handles of the open ports, in the order of their slots.
    std::vector<Handle> Handles() {
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<Handle> handles;
        for (std::size_t i = 0; i < kSlots; ++i) {
            if (slots_[i].port) handles.push_back(HandleOf(i));
        }
        return handles;
    }

private:
    struct Slot {
        std::unique_ptr<Port> port;
        std::uintptr_t openings = 0;
    };

    Handle HandleOf(std::size_t index) const {
        return reinterpret_cast<Handle>(slots_[index].openings * kSlots + index + 1);
    }

    Slot* SlotOf(Handle handle) {
        const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(handle);
        if (value == 0) return nullptr;
        Slot& slot = slots_[(value - 1) % kSlots];
        return slot.port && HandleOf(static_cast<std::size_t>((value - 1) % kSlots)) == handle ? &slot : nullptr;
    }

    std::mutex lock_;
    Slot slots_[kSlots];
};
