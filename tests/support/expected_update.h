// What a whole update against the device simulator prints, as a regular
// expression, for the tests that run the real programs.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "device/image_maker.h"

Bytes ReadBytes(const std::string& path);
std::string Quoted(const std::string& text);
// The search's report of the simulator's ports, named as the service names them.
std::string SimulatorFound();

// The tries of some records that failed before the one accepted: what each
// failed try printed (nothing for a silence), by record.
using FailedTries = std::map<std::size_t, std::vector<std::string>>;

// The banner, "Corvilent.led" opened, the simulator found, the progress
// lines of the image's records, each accepted at its first try but for those
// `failed` names, and the ending.
std::string UpdateOf(const Bytes& image, const std::string& ending, const FailedTries& failed = {});
