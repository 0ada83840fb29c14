// The run told to the web page: every event as the page's own call
// (Module.tessarine.report), with the console's words where it has them,
// for the page to show and to keep in its log.
#pragma once

#include "report/reporter.h"

class WebReporter final : public Reporter {
public:
    void Tell(const RunEvent& event) override;
    void Tell(const ProtocolEvent& event) override;

private:
    char what_[200] = "";
};
