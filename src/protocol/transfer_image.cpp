#include "protocol/transfer_image.h"

#include <cstdio>

#include "console/console.h"
#include "midi/midi_link.h"
#include "protocol/reply_ledger.h"
#include "protocol/wire_protocol.h"

namespace {

constexpr std::uint8_t kSpinnerSteps = sizeof SPINNER_GLYPHS - 1;
constexpr std::uint16_t kRecordReplyWaitMs = 5000;
constexpr std::uint8_t kMaxFailuresInARow = 20;

// Sends one record as chunks of up to 11 bytes, 1 ms apart. False when a
// chunk could not be sent.
bool SendRecord(const ImageBuffer& image, std::uint16_t position, std::uint16_t size) {
    std::uint8_t text[2 * kChunkBytes];
    std::uint16_t remaining = size;
    while (remaining > 0) {
        const std::uint16_t start = static_cast<std::uint16_t>(position + size - remaining);
        const std::uint8_t bytes = remaining >= kChunkBytes ? kChunkBytes : static_cast<std::uint8_t>(remaining);
        for (std::uint8_t i = 0; i < bytes; ++i) HexEncodeByte(image.bytes[start + i], text + 2 * i);
        // A lost last chunk is as fatal as a lost full one: the device would
        // only be asked for a record it never got, twenty times over.
        if (SendSysEx(text, static_cast<std::uint8_t>(2 * bytes)) != MMSYSERR_NOERROR) return false;
        remaining = static_cast<std::uint16_t>(remaining - bytes);
        // The device needs the pause after every chunk.
        SleepAtLeast(1);
    }
    return true;
}

// Prints what the device said about a record it did not accept; true when
// it said it restarts, which ends the update as a success.
bool ReportRefusal(std::uint8_t status) {
    switch (status) {
        case REPLY_CRC_ERROR:
            std::printf("\nThe CRC of the download file is error!\n");
            return false;
        case REPLY_FILE_DAMAGED:
        case REPLY_FILE_DAMAGED_ALT:
            std::printf("\nThe download file has been damaged!\n");
            return false;
        case REPLY_VERIFY_ERROR:
            std::printf("\nThe download file verifies error!\n");
            return false;
        case REPLY_ERASE_ERROR:
            std::printf("\nThe MCU erases error!\n");
            return false;
        case REPLY_RESTARTING:
            ShowProgressComplete();
            std::printf("Target update successfully!\n");
            std::printf("\nThe System is restarted, please wait!\n\n");
            return true;
        default:
            return false;
    }
}

}  // namespace

TransferOutcome TransferImage(const ImageBuffer& image) {
    std::uint16_t position = 0;
    std::uint16_t acknowledged = 0;
    std::uint8_t failures = 0;
    std::uint8_t spinner = 0;
    // Answers the search is still owed are not the first record's.
    NextSubject(kRecordReplyWaitMs);
    while (position < image.count) {
        const std::uint16_t size = RecordSizeAt(image, position);
        ShowProgress(SPINNER_GLYPHS[spinner], acknowledged * 100u / image.count);
        spinner = static_cast<std::uint8_t>((spinner + 1) % kSpinnerSteps);

        if (!SendRecord(image, position, size)) {
            std::printf("\nError: The MIDI Out of device is missing!\n\n");
            return TransferOutcome::kOutputMissing;
        }
        RequestSent();
        std::uint8_t status = 0;
        const bool replied = AwaitAnswer(kRecordReplyWaitMs, &status);
        if (replied && status == REPLY_RECORD_OK) {
            acknowledged = static_cast<std::uint16_t>(acknowledged + size);
            position = static_cast<std::uint16_t>(position + size);
            failures = 0;
            // Answers still owed for this record are not the next one's.
            NextSubject(kRecordReplyWaitMs);
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
        if (replied && ReportRefusal(status)) return TransferOutcome::kRestarted;
    }
    ShowProgressComplete();
    std::printf("\nTarget update successfully!\n\n");
    return TransferOutcome::kCompleted;
}
