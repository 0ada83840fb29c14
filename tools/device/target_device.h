// The target device's side of the update protocol, as plain logic: it reads
// the messages the host sends and says what to answer, and when. Used by the
// simulated platform in tests and by the device simulator, which put its
// answers on the wire.
//
// It is the program's other party, so it keeps its own copy of the
// protocol's values rather than the program's: a wrong value in the program
// must fail a test, not travel both ways unnoticed.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "fault.h"

using Bytes = std::vector<std::uint8_t>;

namespace device {

// The identification request's body, between F0 and F7.
inline const Bytes kIdentificationRequest = {0x31, 0x4B, 0x62, 0x19, 0x57, 0x03, 0x6C};
constexpr std::uint8_t kIdentity = 0x3D;    // "I am the device for this image"
constexpr std::uint8_t kNeedsReset = 0x15;  // "reset me first"
constexpr std::uint8_t kAccepted = 0x1A;    // record stored
constexpr std::uint8_t kCrcError = 0x20;    // record's checksum wrong
constexpr std::uint8_t kRestarting = 0x77;  // image complete, restarting

}  // namespace device

struct DeviceSettings {
    std::uint8_t identificationAnswer = device::kIdentity;
    // Answer 0x77 instead of 0x1A to the record that brings the accepted
    // bytes to this total.
    std::optional<std::size_t> restartAfterBytes;
    // Time to store every record it has put together, resent ones included.
    std::uint32_t storeMs = 0;
    // The first fault that covers a request answers it instead.
    std::vector<Fault> faults;
};

// An answer and the time the device gives it, on the clock Receive is given.
struct TimedResponse {
    Response response;
    std::uint64_t atMs;
};

class TargetDevice {
public:
    explicit TargetDevice(DeviceSettings settings);

    // Takes one System Exclusive message from the host, arrived at nowMs.
    // The device deals with messages one after another, in order. Returns
    // the answer and when it is given, or nothing while a record is still
    // incomplete or when the message is not understood.
    std::optional<TimedResponse> Receive(const Bytes& message, std::uint64_t nowMs);

    // The records accepted so far, in order; a record sent again right after
    // it was accepted is not stored twice, as the device writes it to the
    // same place.
    const Bytes& Accepted() const { return accepted_; }
    // Every record the device put together, accepted or not, in order.
    const std::vector<Bytes>& ReceivedRecords() const { return received_; }
    // Messages that were neither an identification request nor a chunk of
    // upper-case hexadecimal text that fits the record being assembled.
    std::size_t ProtocolErrors() const { return protocolErrors_; }

private:
    std::optional<Response> Understand(const Bytes& message);
    std::optional<Response> FinishRecord();
    // The answer to a try of an identification or of a record: its own,
    // unless a fault covers the try.
    Response Answer(bool identification, std::size_t record, std::size_t attempt, std::uint8_t status) const;

    DeviceSettings settings_;
    std::uint64_t freeAtMs_ = 0;  // done with everything received so far
    bool waited_ = false;         // the message being dealt with waited its turn
    Bytes pending_;               // the record being assembled
    Bytes lastAccepted_;          // the latest record accepted
    Bytes accepted_;
    std::vector<Bytes> received_;
    std::size_t acceptedRecords_ = 0;
    std::vector<std::size_t> tries_;  // per record of the image
    std::size_t identifications_ = 0;
    std::size_t protocolErrors_ = 0;
};

// The record's checksum balances its data bytes.
bool RecordBalances(const Bytes& record);

// The message a response puts on the wire (none for silence).
Bytes WireBytes(const Response& response);
