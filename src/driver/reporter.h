// What a run tells, to whoever shows it: the console's text, a batch log's
// lines, a web page. The core calls it and never prints.
#pragma once

#include "driver/outcome.h"
#include "protocol/progress.h"

class Reporter : public ProtocolReporter {
public:
    // The run begins.
    virtual void Banner() = 0;
    // The image file has been opened and is read.
    virtual void ImageOpened(const char* name) = 0;
    // The run has ended so; its ports are still open.
    virtual void Ended(const Outcome& outcome) = 0;
};
