// The run told to the web page: every event as the page's own call
// (Module.tessarine.report), with the console's words where it has them,
// for the page to show and to keep in its log.
#pragma once

#include <cstdint>

#include "report/reporter.h"

class WebReporter final : public Reporter {
public:
    void Banner() override;
    void ImageOpened(const char* name) override;
    void ImageChecked(unsigned bytes, unsigned records, const char* sha256) override;
    void PortsListed(const PortNames& inputs, const PortNames& outputs) override;
    void Ended(const Outcome& outcome) override;
    // The page has no final wait.
    void KeyAwaited() override {}
    void KeyWaitEnds() override {}
    void NoMidiService() override;
    void PortHeld(bool input, unsigned index, const char* name) override;
    void WaitBegins(Wait what) override;
    void Asking(unsigned first, unsigned last, const char* name) override;
    void Waiting(unsigned seconds) override;
    void WaitEnds() override;
    void DeviceFound(const char* input, const char* output) override;
    void ServiceMissedCycles() override;
    void RecordTry(unsigned record, unsigned records, unsigned attempt, unsigned percent) override;
    void RecordAnswered(unsigned record, bool replied, std::uint8_t status) override;
    void Refused(std::uint8_t status) override;

private:
    char what_[200] = "";
};
