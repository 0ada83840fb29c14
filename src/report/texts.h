// The system's own words for what a run tells, shared by every face: the
// console's text, a batch log, the web page.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/image_buffer.h"
#include "midi/midi_ports.h"

extern const char kBanner[];
// What to do when no MIDI service can be reached, in the words of the
// platform the user is on.
extern const char kNoMidiServiceAdvice[];
// What missed cycles of the MIDI service mean, and what to do; one line.
extern const char kMissedCyclesAdvice[];
// Why the rest of the image goes at a cable's pace, which takes longer.
extern const char kCablePaceAdvice[];
// The pace's name for scripts and logs: "usb", "fast", "cable", "program"
// or "driver".
const char* PaceName(LinkPace pace);

// Each writes the text into `out` (cut to `size`), line ends included, as
// the console prints it.
void ImageOpenedText(const char* name, char* out, std::size_t size);
void ImageSummaryText(unsigned bytes, unsigned records, const char* sha256, char* out, std::size_t size);
void PortHeldText(bool input, unsigned index, const char* name, char* out, std::size_t size);
void DeviceFoundText(const char* input, const char* output, char* out, std::size_t size);
// What is wrong with an image, in a few words ("record 3's checksum does
// not balance its data"); with `mismatch`, that its SHA-256 is not the one
// given.
void ImageProblemText(const ImageCheck& check, bool mismatch, char* out, std::size_t size);
// What the device's refusal says; empty for a status byte that says nothing.
const char* RefusalText(std::uint8_t status);
// What the search asks, for a long wait's words.
void AskingText(unsigned first, unsigned last, const char* name, char* out, std::size_t size);
// Why the port --in or --out names (`option`, of `kind` input or output)
// cannot be used: none of the list, or several, and the candidates.
void PortChoiceText(const char* option, const char* kind, const PortNames& list, const char* wanted, PortMatch match,
                    char* out, std::size_t size);
