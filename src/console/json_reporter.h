// The run told as JSON Lines, for scripts, production lines and support
// requests: one object per line, each with "event" (what happened) and "t"
// (seconds since the program began), the last an "outcome" with the
// ending's name, the exit status and the console's words. Written to
// standard output (--json) or appended to a log file (--log).
#pragma once

#include <chrono>
#include <cstdio>

#include "report/reporter.h"

class JsonReporter final : public Reporter {
public:
    // `exitTellsOutcome`: the run's exit status tells its outcome (--json,
    // --batch); otherwise it is 0 unless the run was stopped.
    JsonReporter(std::FILE* out, bool exitTellsOutcome);

    void Banner() override;
    void ImageOpened(const char* name) override;
    void ImageChecked(unsigned bytes, unsigned records, const char* sha256) override;
    void PortsListed(const PortNames& inputs, const PortNames& outputs) override;
    void Ended(const Outcome& outcome) override;
    void KeyAwaited() override {}
    void KeyWaitEnds() override {}
    void NoMidiService() override;
    void PortHeld(bool input, unsigned index, const char* name) override;
    void WaitBegins(Wait what) override;
    void Asking(unsigned first, unsigned last, const char* name) override;
    void Waiting(unsigned seconds) override;
    void WaitEnds() override {}
    void DeviceFound(const char* input, const char* output) override;
    void ServiceMissedCycles() override;
    void RecordTry(unsigned record, unsigned records, unsigned attempt, unsigned percent) override;
    void RecordAnswered(unsigned record, bool replied, std::uint8_t status) override;
    void Refused(std::uint8_t status) override;

private:
    // Writes one event's line: its name, the time, and the rest of the
    // object, a printf format whose every field is led by a comma.
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    void
    Write(const char* event, const char* fields, ...);
    void Advice(const char* text);

    std::FILE* out_;
    bool exitTellsOutcome_;
    std::chrono::steady_clock::time_point start_;
    char image_[1024] = "";  // the image's name, for its summary
    char waitingFor_[16] = "";
    char asking_[300] = "";
};
