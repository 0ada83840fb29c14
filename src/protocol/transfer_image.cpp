#include "protocol/transfer_image.h"

#include "base/cable.h"
#include "protocol/wire_protocol.h"

namespace {

constexpr std::uint16_t kRecordReplyWaitMs = 5000;
constexpr std::uint8_t kMaxFailuresInARow = 20;
static_assert(2 * kChunkBytes <= kMaxSysExBody, "a chunk's text fits in one message");

enum class Sent { kWhole, kFailed, kStopped };

// The bytes a record of `size` takes on the wire: two characters a byte,
// and F0 and F7 around each chunk.
std::size_t WireBytes(std::uint16_t size) { return 2u * size + 2u * ((size + kChunkBytes - 1u) / kChunkBytes); }

// A try of a record begins, `acknowledged` of the image's `count` bytes
// accepted in `elapsedMs` since the transfer began: the rate so far, and
// the time the rest will take at it.
event::RecordTry Progress(unsigned record, unsigned records, unsigned attempt, unsigned percent,
                          std::uint32_t acknowledged, std::uint32_t count, DWORD elapsedMs) {
    event::RecordTry progress{record, records, attempt, percent, 0, -1};
    if (acknowledged == 0 || elapsedMs == 0) return progress;
    progress.bytesPerSecond = static_cast<unsigned>(std::uint64_t{acknowledged} * 1000 / elapsedMs);
    const std::uint64_t leftMs = std::uint64_t{count - acknowledged} * elapsedMs / acknowledged;
    progress.secondsLeft = static_cast<int>((leftMs + 999) / 1000);
    return progress;
}

// Sent at this pace, a record may outrun a cable behind the port.
bool OutrunsACable(LinkPace pace) { return pace != LinkPace::kCable && pace != LinkPace::kDriver; }

// Sends one record as chunks of up to 11 bytes, 1 ms apart; a request to
// stop is taken between chunks. `written` is set once a chunk went out.
Sent SendRecord(DeviceLink& link, UINT output, const ImageBuffer& image, std::uint16_t position, std::uint16_t size,
                bool* written) {
    std::uint8_t text[2 * kChunkBytes];
    std::uint16_t remaining = size;
    while (remaining > 0) {
        if (link.stop.Requested()) return Sent::kStopped;
        const std::uint16_t start = static_cast<std::uint16_t>(position + size - remaining);
        const std::uint8_t bytes = remaining >= kChunkBytes ? kChunkBytes : static_cast<std::uint8_t>(remaining);
        for (std::size_t i = 0; i < bytes; ++i) HexEncodeByte(image.bytes[start + i], text + 2 * i);
        // A lost last chunk is as fatal as a lost full one: the device would
        // only be asked for a record it never got, twenty times over.
        if (link.midi.SendSysEx(output, text, static_cast<std::uint8_t>(2 * bytes)) != MMSYSERR_NOERROR) {
            return Sent::kFailed;
        }
        *written = true;
        remaining = static_cast<std::uint16_t>(remaining - bytes);
        // The device needs the pause after every chunk.
        SleepAtLeast(1);
    }
    return Sent::kWhole;
}

// Waits for the answers still owed about a record, showing the wait.
// Asks the device to identify itself, as the search did, and waits for its
// answer: a device that got part of a record, the rest lost on the way,
// starts the next record afresh. What it answers, and what it still owed,
// is set aside.
void StartAfresh(DeviceLink& link, UINT output) {
    link.ledger.NextSubject(0);
    if (link.midi.SendSysEx(output, HANDSHAKE_BODY, sizeof HANDSHAKE_BODY) == MMSYSERR_NOERROR) {
        link.ledger.RequestSent();
    }
    std::uint8_t status = 0;
    link.ledger.AwaitAnswer(kIdentifyWaitMs, &status);
    link.ledger.NextSubject(0);
}

void SettleRecord(DeviceLink& link) {
    link.ledger.WaitBegins(Wait::kRecord);
    link.ledger.NextSubject(kRecordReplyWaitMs);
    link.ledger.WaitEnds();
}

}  // namespace

TransferOutcome TransferImage(DeviceLink& link, UINT output, const ImageBuffer& image, ProtocolReporter& reporter) {
    TransferOutcome outcome;
    bool written = false;
    const auto ended = [&](Ending ending) {
        outcome.ending = ending;
        return outcome;
    };
    const auto stopped = [&] { return ended(written ? Ending::kStoppedInTransfer : Ending::kStoppedBeforeWrite); };
    const unsigned records = CountRecords(image);
    std::uint16_t position = 0;
    std::uint16_t acknowledged = 0;
    std::uint8_t failures = 0;
    // Answers the search is still owed are not the first record's.
    SettleRecord(link);
    LinkPace pace = link.midi.OutputPace(output);
    reporter.Tell(event::Pace{pace, 0});
    const DWORD begun = timeGetTime();
    while (position < image.count) {
        const std::uint16_t size = RecordSizeAt(image, position);
        outcome.percent = acknowledged * 100u / image.count;
        reporter.Tell(Progress(outcome.record, records, failures, outcome.percent, acknowledged, image.count,
                               timeGetTime() - begun));

        const Sent sent = SendRecord(link, output, image, position, size, &written);
        if (sent == Sent::kStopped) return stopped();
        if (sent == Sent::kFailed) return ended(Ending::kOutputMissing);
        link.ledger.RequestSent();
        std::uint8_t status = 0;
        link.ledger.WaitBegins(Wait::kRecord);
        const bool replied = link.ledger.AwaitAnswer(kRecordReplyWaitMs, &status);
        link.ledger.WaitEnds();
        reporter.Tell(event::RecordAnswered{outcome.record, replied, status});
        if (link.stop.Requested()) return stopped();
        if (replied && status == REPLY_RECORD_OK) {
            acknowledged = static_cast<std::uint16_t>(acknowledged + size);
            position = static_cast<std::uint16_t>(position + size);
            ++outcome.record;
            failures = 0;
            // Answers still owed for this record are not the next one's.
            SettleRecord(link);
            continue;
        }
        // Silences and refusals count alike; the limit comes before what the
        // device said, restarting included.
        if (++failures >= kMaxFailuresInARow) return ended(replied ? Ending::kUpdateError : Ending::kNotResponding);
        // A record that ran ahead of a cable by more than a card's buffer
        // holds may have lost bytes on one: it goes again at a cable's pace,
        // and so does the rest of the image.
        if (!replied && OutrunsACable(pace) && WireBytes(size) > kCableBudgetBytes) {
            link.midi.KeepCablePace(output);
            pace = LinkPace::kCable;
            reporter.Tell(event::Pace{pace, outcome.record});
            StartAfresh(link, output);
        }
        if (!replied) continue;
        if (status == REPLY_RESTARTING) return ended(Ending::kRestarted);
        reporter.Tell(event::Refused{status});
    }
    return ended(Ending::kUpdated);
}
