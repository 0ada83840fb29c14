#include "protocol/transfer_image.h"

#include <cstdio>

#include "console/console.h"
#include "midi/midi_link.h"
#include "platform/host.h"
#include "protocol/reply_ledger.h"
#include "protocol/wire_protocol.h"

namespace {

constexpr std::uint8_t kSpinnerSteps = sizeof SPINNER_GLYPHS - 1;
constexpr std::uint16_t kRecordReplyWaitMs = 5000;
constexpr std::uint8_t kMaxFailuresInARow = 20;
static_assert(2 * kChunkBytes <= kMaxSysExBody, "a chunk's text fits in one message");

// What the device says about a record it did not take, in its words.
struct Refusal {
    std::uint8_t status;
    const char* said;
};
constexpr Refusal kRefusals[] = {
    {REPLY_CRC_ERROR, "\nThe CRC of the download file is error!\n"},
    {REPLY_FILE_DAMAGED, "\nThe download file has been damaged!\n"},
    {REPLY_FILE_DAMAGED_ALT, "\nThe download file has been damaged!\n"},
    {REPLY_VERIFY_ERROR, "\nThe download file verifies error!\n"},
    {REPLY_ERASE_ERROR, "\nThe MCU erases error!\n"},
};

enum class Sent { kWhole, kFailed, kStopped };

// Sends one record as chunks of up to 11 bytes, 1 ms apart; a request to
// stop is taken between chunks. `written` is set once a chunk went out.
Sent SendRecord(UINT output, const ImageBuffer& image, std::uint16_t position, std::uint16_t size, bool* written) {
    std::uint8_t text[2 * kChunkBytes];
    std::uint16_t remaining = size;
    while (remaining > 0) {
        if (StopRequested()) return Sent::kStopped;
        const std::uint16_t start = static_cast<std::uint16_t>(position + size - remaining);
        const std::uint8_t bytes = remaining >= kChunkBytes ? kChunkBytes : static_cast<std::uint8_t>(remaining);
        for (std::uint8_t i = 0; i < bytes; ++i) HexEncodeByte(image.bytes[start + i], text + 2 * i);
        // A lost last chunk is as fatal as a lost full one: the device would
        // only be asked for a record it never got, twenty times over.
        if (SendSysEx(output, text, static_cast<std::uint8_t>(2 * bytes)) != MMSYSERR_NOERROR) return Sent::kFailed;
        *written = true;
        remaining = static_cast<std::uint16_t>(remaining - bytes);
        // The device needs the pause after every chunk.
        SleepAtLeast(1);
    }
    return Sent::kWhole;
}

// Waits for the answers still owed about a record, showing the wait.
void SettleRecord() {
    BeginWait("Waiting for the device");
    NextSubject(kRecordReplyWaitMs);
    EndWait();
}

// What the user is told when asked to stop: where the transfer stood, and
// what the device now holds.
TransferOutcome Interrupted(bool written, std::uint16_t record, unsigned percent) {
    if (!written) {
        std::printf("\nInterrupted before the first record: the device was not written to.\n\n");
    } else {
        std::printf("\nInterrupted at record %u (%u%% done).\n", record + 1u, percent);
        std::printf("The device holds an incomplete image: run the update again before using the device.\n\n");
    }
    return TransferOutcome::kInterrupted;
}

}  // namespace

TransferOutcome TransferImage(const ImageBuffer& image, UINT output) {
    std::uint16_t position = 0;
    std::uint16_t acknowledged = 0;
    std::uint16_t record = 0;
    std::uint8_t failures = 0;
    std::uint8_t spinner = 0;
    bool written = false;
    // Answers the search is still owed are not the first record's.
    SettleRecord();
    while (position < image.count) {
        const std::uint16_t size = RecordSizeAt(image, position);
        const unsigned percent = acknowledged * 100u / image.count;
        ShowProgress(SPINNER_GLYPHS[spinner], percent);
        spinner = static_cast<std::uint8_t>((spinner + 1) % kSpinnerSteps);

        const Sent sent = SendRecord(output, image, position, size, &written);
        if (sent == Sent::kStopped) return Interrupted(written, record, percent);
        if (sent == Sent::kFailed) {
            std::printf("\nError: The MIDI Out of device is missing!\n\n");
            return TransferOutcome::kOutputMissing;
        }
        RequestSent();
        std::uint8_t status = 0;
        BeginWait("Waiting for the device");
        const bool replied = AwaitAnswer(kRecordReplyWaitMs, &status);
        EndWait();
        if (StopRequested()) return Interrupted(written, record, percent);
        if (replied && status == REPLY_RECORD_OK) {
            acknowledged = static_cast<std::uint16_t>(acknowledged + size);
            position = static_cast<std::uint16_t>(position + size);
            ++record;
            failures = 0;
            // Answers still owed for this record are not the next one's.
            SettleRecord();
            continue;
        }
        // Silences and refusals count alike; the limit comes before what the
        // device said, restarting included.
        if (++failures >= kMaxFailuresInARow) {
            std::printf(replied ? "\nError in updating.\n" : "\nFailed: Target is not responding.\n\n");
            return replied ? TransferOutcome::kUpdateError : TransferOutcome::kNotResponding;
        }
        // The same record again, shown with the glyph of the failed try.
        spinner = static_cast<std::uint8_t>((spinner + kSpinnerSteps - 1) % kSpinnerSteps);
        if (!replied) continue;
        if (status == REPLY_RESTARTING) {
            ShowProgressComplete();
            std::printf("Target update successfully!\n");
            std::printf("\nThe System is restarted, please wait!\n\n");
            return TransferOutcome::kRestarted;
        }
        for (const Refusal& refusal : kRefusals) {
            if (refusal.status == status) std::printf("%s", refusal.said);
        }
    }
    ShowProgressComplete();
    std::printf("\nTarget update successfully!\n\n");
    return TransferOutcome::kCompleted;
}
