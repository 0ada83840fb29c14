// The run told as JSON Lines, for scripts, production lines and support
// requests: one object per line, each with "event" (what happened) and "t"
// (seconds since the program began), the last an "outcome" with the
// ending's name, the exit status and the console's words. Written to
// standard output (--json) or appended to a log file (--log).
#pragma once

#include <chrono>
#include <cstdio>

#include "report/reporter.h"

#if defined(__GNUC__)
#define TESSARINE_PRINTF_LIKE(formatAt, firstAt) __attribute__((format(printf, formatAt, firstAt)))
#else
#define TESSARINE_PRINTF_LIKE(formatAt, firstAt)
#endif

class JsonReporter final : public Reporter {
public:
    // `exitTellsOutcome`: the run's exit status tells its outcome (--json,
    // --batch); otherwise it is 0 unless the run was stopped. With
    // `refusalsOnStandardError`, a command line refused is also told in its
    // words on standard error.
    JsonReporter(std::FILE* out, bool exitTellsOutcome, bool refusalsOnStandardError = false);
    // The version of the events' fields: a script may rely on each field it
    // finds while this stays.
    static constexpr int kSchema = 1;
    void Tell(const RunEvent& event) override;
    void Tell(const ProtocolEvent& event) override;

private:
    // Writes one event's line: its name, the time, and the rest of the
    // object, a printf format whose every field is led by a comma.
    void Write(const char* event, const char* fields, ...) TESSARINE_PRINTF_LIKE(3, 4);
    void Advice(const char* text);
    void ImageRead(const event::ImageRead& e);
    void PortsListed(const event::PortsListed& e);
    void Ended(const Outcome& outcome);
    void Waiting(unsigned seconds);

    std::FILE* out_;
    bool exitTellsOutcome_;
    bool refusalsOnStandardError_;
    std::chrono::steady_clock::time_point start_;
    char image_[1024] = "";  // the image's name, for its summary
    char waitingFor_[16] = "";
    char asking_[300] = "";
};
