// What the program prints, built from the image and what the device said,
// for the tests that compare whole transcripts; and for the tests that run
// the real programs, as regular expressions.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "device/image_maker.h"

// What each try of a record that failed printed after its progress line
// (nothing for a silence), by record.
using FailedTries = std::map<std::size_t, std::vector<std::string>>;

struct Shown {
    // Records whose tries are shown, from the first; the others were never
    // sent (the run ended before them).
    std::size_t records = SIZE_MAX;
    // The last shown record was accepted (or said the device restarts),
    // rather than ending the run with its last failed try.
    bool lastAccepted = true;
    bool batch = false;  // --batch: a line at most every 10 %, no glyph
};

// The progress lines of a transfer of the image: each try of a record on its
// line, each record accepted at its first try but for the failed tries
// `failed` names.
std::string TransferLines(const Bytes& image, const FailedTries& failed = {}, const Shown& shown = {});

// Records of the given total sizes, with data bytes that differ from record
// to record.
Bytes ImageOfRecords(const std::vector<std::size_t>& sizes);

// The records the image is made of.
std::size_t RecordsOf(const Bytes& image);

Bytes ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
// The text as a regular expression that matches it alone.
std::string Quoted(const std::string& text);
// The search's report of the simulator's ports, as the service names them.
std::string SimulatorFound(const std::string& client = "Tessarine");
