// Two faces told the same run: the one on the screen, and a log of it
// (--log). Every event goes to both, in order.
#pragma once

#include "report/reporter.h"

class ReporterPair final : public Reporter {
public:
    ReporterPair(Reporter& first, Reporter& second) : first_(first), second_(second) {}
    void Tell(const RunEvent& event) override { first_.Tell(event), second_.Tell(event); }
    void Tell(const ProtocolEvent& event) override { first_.Tell(event), second_.Tell(event); }

private:
    Reporter& first_;
    Reporter& second_;
};
