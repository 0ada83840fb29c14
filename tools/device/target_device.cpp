#include "target_device.h"

#include <algorithm>

namespace {

bool IsIdentificationRequest(const Bytes& message) {
    const Bytes& body = device::kIdentificationRequest;
    return message.size() == body.size() + 2 && message.front() == 0xF0 && message.back() == 0xF7 &&
           std::equal(body.begin(), body.end(), message.begin() + 1);
}

int HexDigit(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes the text between F0 and F7; false unless it is whole pairs of
// upper-case hexadecimal digits.
bool DecodeChunk(const Bytes& message, Bytes* decoded) {
    if (message.size() < 4 || message.front() != 0xF0 || message.back() != 0xF7 || message.size() % 2 != 0) {
        return false;
    }
    for (std::size_t i = 1; i + 1 < message.size(); i += 2) {
        const int high = HexDigit(message[i]);
        const int low = HexDigit(message[i + 1]);
        if (high < 0 || low < 0) return false;
        decoded->push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

std::size_t RecordSize(const Bytes& record) { return record[0] * 256u + record[1] + 2u; }

}  // namespace

bool RecordBalances(const Bytes& record) {
    const std::size_t size = RecordSize(record);
    if (size < 4 || size != record.size()) return false;
    std::uint16_t sum = 0;
    for (std::size_t i = 2; i + 2 < size; ++i) sum = static_cast<std::uint16_t>(sum + record[i]);
    sum = static_cast<std::uint16_t>(sum + record[size - 2] + record[size - 1] * 256u);
    return sum == 0;
}

Bytes WireBytes(const Response& response) {
    switch (response.kind) {
        case Response::Kind::kStatus: return {0xF0, response.status, 0xF7};
        case Response::Kind::kSilence: return {};
        case Response::Kind::kOneByte: return {0xF0};
        case Response::Kind::kEmpty: return {0xF0, 0xF7};
        case Response::Kind::kIncomplete: return {0xF0, response.status};
    }
    return {};
}

TargetDevice::TargetDevice(DeviceSettings settings) : settings_(std::move(settings)) {}

std::optional<TimedResponse> TargetDevice::Receive(const Bytes& message, std::uint64_t nowMs) {
    // What arrives while the device is busy waits its turn.
    const std::uint64_t start = std::max(nowMs, freeAtMs_);
    waited_ = start > nowMs;
    const std::size_t recordsBefore = received_.size();
    const std::optional<Response> response = Understand(message);
    const std::uint32_t storing = received_.size() > recordsBefore ? settings_.storeMs : 0;
    freeAtMs_ = start + storing + (response ? response->busyMs : 0);
    if (!response) return std::nullopt;
    return TimedResponse{*response, freeAtMs_};
}

std::optional<Response> TargetDevice::Understand(const Bytes& message) {
    if (IsIdentificationRequest(message)) {
        pending_.clear();
        return Answer(true, 0, identifications_++, settings_.identificationAnswer);
    }
    Bytes decoded;
    if (!DecodeChunk(message, &decoded)) {
        ++protocolErrors_;
        pending_.clear();
        return std::nullopt;
    }
    pending_.insert(pending_.end(), decoded.begin(), decoded.end());
    if (pending_.size() < 2 || pending_.size() < RecordSize(pending_)) return std::nullopt;
    if (pending_.size() > RecordSize(pending_)) {
        // A chunk ran across the end of its record.
        ++protocolErrors_;
        pending_.clear();
        return std::nullopt;
    }
    return FinishRecord();
}

std::optional<Response> TargetDevice::FinishRecord() {
    Bytes record;
    record.swap(pending_);
    received_.push_back(record);
    // A record equal to the one accepted last is that one sent again (its
    // answer came late or got lost), not the next one.
    const bool sentAgain = !lastAccepted_.empty() && record == lastAccepted_;
    const std::size_t index = sentAgain ? acceptedRecords_ - 1 : acceptedRecords_;
    if (tries_.size() <= index) tries_.resize(index + 1);
    const std::size_t attempt = tries_[index]++;
    if (!RecordBalances(record)) return Answer(false, index, attempt, device::kCrcError);

    const std::size_t total = accepted_.size() + (sentAgain ? 0 : record.size());
    const bool last = settings_.restartAfterBytes && total == *settings_.restartAfterBytes;
    const Response response = Answer(false, index, attempt, last ? device::kRestarting : device::kAccepted);
    // A record the script keeps the device from answering "accepted" is
    // taken as lost.
    const bool kept = response.kind == Response::Kind::kStatus &&
                      (response.status == device::kAccepted || response.status == device::kRestarting);
    if (kept && !sentAgain) {
        accepted_.insert(accepted_.end(), record.begin(), record.end());
        lastAccepted_ = record;
        ++acceptedRecords_;
    }
    return response;
}

Response TargetDevice::Answer(bool identification, std::size_t record, std::size_t attempt, std::uint8_t status) const {
    for (const Fault& fault : settings_.faults) {
        if (!fault.Covers(identification, record, attempt)) continue;
        Response response = fault.response;
        if (fault.ownStatus) response.status = status;
        // A request that waited its turn finds the work already done.
        if (waited_) response.busyMs = 0;
        return response;
    }
    return Response{Response::Kind::kStatus, status, 0};
}
