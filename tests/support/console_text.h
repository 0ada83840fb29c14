// The program's console texts, as the tests expect them.
#pragma once

#include <string>

namespace text {

inline const std::string kBanner = "Update V0.3 - Update Corvilent Tessarine System\n";
inline const std::string kFinalWait = "Press any key to continue . . . \n";
inline const std::string kNoDevice = "\nFailed: Can't find the suitable device to update!\n\n";
inline const std::string kBadImage = "Error: The upgrade file is error!\n\n";
inline const std::string kCompleted = "\rTransferring.. 100% done.  \n\nTarget update successfully!\n\n";
inline const std::string kRestarted =
    "\rTransferring.. 100% done.  \nTarget update successfully!\n\nThe System is restarted, please wait!\n\n";
inline const std::string kResetRequest = "Please reset the product and retry again!\n\n";
inline const std::string kNotResponding = "\nFailed: Target is not responding.\n\n";
inline const std::string kUpdateError = "\nError in updating.\n";
inline const std::string kOutputMissing = "\nError: The MIDI Out of device is missing!\n\n";
inline const std::string kCrcError = "\nThe CRC of the download file is error!\n";
inline const std::string kDamaged = "\nThe download file has been damaged!\n";
inline const std::string kVerifyError = "\nThe download file verifies error!\n";
inline const std::string kEraseError = "\nThe MCU erases error!\n";
inline const std::string kDryRun = "Dry run: no record was sent.\n\n";

inline std::string Opened(const std::string& name) { return "OK: File '" + name + "' is open.\n"; }

// --batch and --dry-run: the image checked, its size, records and SHA-256.
inline std::string Summary(std::size_t bytes, std::size_t records, const std::string& sha256) {
    return "Image: " + std::to_string(bytes) + " bytes in " + std::to_string(records) + " record" +
           (records == 1 ? "" : "s") + ", SHA-256 " + sha256 + "\n";
}

inline std::string Found(const std::string& in, const std::string& out) {
    return "The Update Device is Open successfully:\nMIDIIN Device: " + in + "\nMIDIOUT Device: " + out + "\n";
}

inline std::string Progress(char glyph, unsigned percent) {
    return "\r                        \rTransferring.. " + std::string(1, glyph) + " " + std::to_string(percent) +
           "% done";
}

// What the program tells once when its JACK server reports missed cycles.
// The tests' own server may report some on a loaded or emulated machine:
// transcripts about something else are read without it (on its own line in
// a batch log, and after a line end of its own on the console).
inline const std::string kMissedCyclesAdvice =
    "The JACK server missed cycles during this run: MIDI messages may have been lost or held back, which makes an "
    "update slow or fail. Start the server in synchronous mode (jackd --sync) or with realtime priority, then "
    "update again.\n";
inline std::string WithoutServerAdvice(std::string transcript, bool batch = false) {
    const std::size_t at = transcript.find((batch ? "" : "\n") + kMissedCyclesAdvice);
    return at == std::string::npos ? transcript : transcript.erase(at, kMissedCyclesAdvice.size() + !batch);
}

// What to do when no MIDI service can be reached, in the words of the
// platform the user is on.
#ifdef _WIN32
inline const std::string kNoMidiService =
    "No MIDI port is there at all: connect the device, install its driver if it needs one, and try again.\n";
#else
inline const std::string kNoMidiService =
    "No MIDI service can be reached: load the ALSA sequencer (sudo modprobe snd-seq) or start a JACK server, then "
    "try again.\n";
#endif

// --batch: whole lines.
// A long update's line goes on with its rate and the time left.
inline std::string BatchProgressStart(unsigned percent) {
    return "Transferring.. " + std::to_string(percent) + "% done";
}
inline std::string BatchProgress(unsigned percent) { return BatchProgressStart(percent) + "\n"; }
inline const std::string kBatchCompleted = "Transferring.. 100% done.\n\nTarget update successfully!\n\n";

}  // namespace text
