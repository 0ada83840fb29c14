// The run told to the web page: every event as the page's own call
// (Module.tessarine.report), with the console's words where it has them,
// for the page to show and to keep in its log.
#pragma once

#include <cstdint>

#include "driver/reporter.h"

class WebReporter final : public Reporter {
public:
    void Banner() override;
    void ImageOpened(const char* name) override;
    void Ended(const Outcome& outcome) override;
    void NoMidiService() override;
    void PortHeld(bool input, unsigned index, const char* name) override;
    void WaitBegins(Wait what, std::uint32_t nowMs) override;
    void Asking(unsigned first, unsigned last, const char* name, std::uint32_t nowMs) override;
    void Waiting(std::uint32_t nowMs) override;
    void WaitEnds() override;
    void DeviceFound(const char* input, const char* output) override;
    void ServiceMissedCycles() override;
    void RecordTry(char glyph, unsigned percent) override;
    void RecordAnswered(unsigned record, bool replied, std::uint8_t status) override;
    void Refused(std::uint8_t status) override;

private:
    std::uint32_t waitStart_ = 0;
    std::uint32_t shownSeconds_ = 0;
    char what_[200] = "";
};
