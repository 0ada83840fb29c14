// What a whole update against the device simulator must print and leave on
// the device, for the tests that run the real programs.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

Bytes ReadBytes(const std::string& path);
// The bytes of an image file's hexadecimal text, as the image maker writes it.
Bytes ImageOfFile(const std::string& path);
// The records' positions in the image.
std::vector<std::size_t> RecordsOf(const Bytes& image);

// The tries of some records that failed before the one accepted: for each
// record, what its failed tries print (nothing for a silence).
using FailedTries = std::map<std::size_t, std::vector<std::string>>;

// The progress lines of an update of the image in which every record is
// accepted at its first try, but for those `failed` names; each failed try's
// words are followed by the record's line again.
std::string ProgressOf(const Bytes& image, const FailedTries& failed = {});

// Regular expressions: the text itself, and the search's report of the
// simulator's ports, named as the MIDI service names them.
std::string Quoted(const std::string& text);
std::string SimulatorFound();

// A whole transcript as a regular expression: the banner, "Corvilent.led"
// opened, the simulator found, the progress lines and the ending.
std::string UpdateOf(const Bytes& image, const std::string& ending, const FailedTries& failed = {});
