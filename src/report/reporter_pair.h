// Two faces told the same run: the one on the screen, and a log of it
// (--log).
#pragma once

#include "report/reporter.h"

class ReporterPair final : public Reporter {
public:
    ReporterPair(Reporter& first, Reporter& second) : a_(first), b_(second) {}

    void Banner() override { a_.Banner(), b_.Banner(); }
    void ImageOpened(const char* name) override { a_.ImageOpened(name), b_.ImageOpened(name); }
    void ImageChecked(unsigned bytes, unsigned records, const char* sha256) override {
        a_.ImageChecked(bytes, records, sha256), b_.ImageChecked(bytes, records, sha256);
    }
    void PortsListed(const PortNames& inputs, const PortNames& outputs) override {
        a_.PortsListed(inputs, outputs), b_.PortsListed(inputs, outputs);
    }
    void Ended(const Outcome& outcome) override { a_.Ended(outcome), b_.Ended(outcome); }
    void KeyAwaited() override { a_.KeyAwaited(), b_.KeyAwaited(); }
    void KeyWaitEnds() override { a_.KeyWaitEnds(), b_.KeyWaitEnds(); }
    void NoMidiService() override { a_.NoMidiService(), b_.NoMidiService(); }
    void PortHeld(bool input, unsigned index, const char* name) override {
        a_.PortHeld(input, index, name), b_.PortHeld(input, index, name);
    }
    void WaitBegins(Wait what) override { a_.WaitBegins(what), b_.WaitBegins(what); }
    void Asking(unsigned first, unsigned last, const char* name) override {
        a_.Asking(first, last, name), b_.Asking(first, last, name);
    }
    void Waiting(unsigned seconds) override { a_.Waiting(seconds), b_.Waiting(seconds); }
    void WaitEnds() override { a_.WaitEnds(), b_.WaitEnds(); }
    void DeviceFound(const char* input, const char* output) override {
        a_.DeviceFound(input, output), b_.DeviceFound(input, output);
    }
    void ServiceMissedCycles() override { a_.ServiceMissedCycles(), b_.ServiceMissedCycles(); }
    void RecordTry(unsigned record, unsigned records, unsigned attempt, unsigned percent) override {
        a_.RecordTry(record, records, attempt, percent), b_.RecordTry(record, records, attempt, percent);
    }
    void RecordAnswered(unsigned record, bool replied, std::uint8_t status) override {
        a_.RecordAnswered(record, replied, status), b_.RecordAnswered(record, replied, status);
    }
    void Refused(std::uint8_t status) override { a_.Refused(status), b_.Refused(status); }

private:
    Reporter& a_;
    Reporter& b_;
};
