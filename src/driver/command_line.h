// The program's command line. Without arguments the run is the one the
// program has always made: the image of the current folder, every port
// pair, the final wait. Arguments add to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// How the run's words are shown.
enum class Face {
    kConsole,  // the console's own text
    kLines,    // --batch: whole lines for a log
    kJson,     // --json: JSON Lines
};

struct RunOptions {
    const char* image = nullptr;    // IMAGE: this file instead of the folder's first *.led
    const char* input = nullptr;    // --in PORT
    const char* output = nullptr;   // --out PORT
    const char* log = nullptr;      // --log FILE: the run's events appended as JSON Lines
    const char* sha256 = nullptr;   // --sha256 HEX: the image file's, as published
    bool list = false;              // --list
    bool dryRun = false;            // --dry-run
    std::uint32_t waitSeconds = 0;  // --wait SECONDS: for the device to appear
    // What --batch bundles: its face, no final wait, and an exit status
    // that tells the outcome.
    Face face = Face::kConsole;
    bool finalWait = true;
    bool statusTellsOutcome = false;
};

enum class CommandLine {
    kRun,
    kHelp,     // --help, -h (and /? on Windows)
    kVersion,  // --version, -V
    kError,    // the error says what is wrong
};

// Reads the whole command line, and nothing else. The face it asks for is
// chosen even when it is refused, so that its error is told in that face.
CommandLine ReadCommandLine(int argc, char** argv, RunOptions* options, char* error, std::size_t errorSize);

// The --help text, made from the options' declarations.
void PrintUsage(std::FILE* out);
