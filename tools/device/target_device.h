// The target device's side of the update protocol, as plain logic: it reads
// the messages the host sends and says what to answer. Used by the simulated
// platform in tests and by the device simulator, which put its answers on
// the wire.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "protocol/wire_protocol.h"

using Bytes = std::vector<std::uint8_t>;

// What the device answers one request with.
struct Response {
    enum class Kind {
        kStatus,      // F0, the status byte, F7
        kSilence,     // nothing at all
        kOneByte,     // a lone F0
        kIncomplete,  // F0 and the status byte, cut short before F7
    };
    Kind kind = Kind::kStatus;
    std::uint8_t status = 0;
    std::uint32_t delayMs = 0;  // on top of the device's usual reply delay
};

// One request as the device sees it, and the answer the device would give of
// itself. Numbers count from 0.
struct Request {
    bool identification;
    std::size_t number;   // among all requests of its kind
    std::size_t record;   // records: which record of the image, in order
    std::size_t attempt;  // how often this identification or record came before
    std::uint8_t status;
};

// Lets a test or a user replace the device's own answer to chosen requests.
using FaultScript = std::function<std::optional<Response>(const Request&)>;

struct DeviceSettings {
    std::uint8_t identificationAnswer = EXPECTED_ID;
    // Answer 0x77 instead of 0x1A to the record that brings the accepted
    // bytes to this total.
    std::optional<std::size_t> restartAfterBytes;
    FaultScript faults;
};

class TargetDevice {
public:
    explicit TargetDevice(DeviceSettings settings);

    // Takes one System Exclusive message from the host. Returns the answer,
    // or nothing while a record is still incomplete or when the message is
    // not understood.
    std::optional<Response> Receive(const Bytes& message);

    // The records accepted so far, in order; a record sent again right after
    // it was accepted is not stored twice, as the device writes it to the
    // same place.
    const Bytes& Accepted() const { return accepted_; }
    // Every record the device put together, accepted or not, in order.
    const std::vector<Bytes>& ReceivedRecords() const { return received_; }
    std::size_t IdentificationRequests() const { return identifications_; }
    std::size_t RecordsReceived() const { return received_.size(); }
    // Messages that were neither an identification request nor a chunk of
    // upper-case hexadecimal text that fits the record being assembled.
    std::size_t ProtocolErrors() const { return protocolErrors_; }

private:
    Response Answer(const Request& request);
    std::optional<Response> FinishRecord();

    DeviceSettings settings_;
    Bytes pending_;       // the record being assembled
    Bytes lastAccepted_;  // the latest record accepted
    Bytes accepted_;
    std::vector<Bytes> received_;
    std::size_t identifications_ = 0;
    std::size_t acceptedRecords_ = 0;
    std::size_t attempts_ = 0;  // of the record after the last accepted one
    std::size_t protocolErrors_ = 0;
};

// The record's checksum balances its data bytes.
bool RecordBalances(const Bytes& record);

// The message a response puts on the wire (none for silence).
Bytes WireBytes(const Response& response);
