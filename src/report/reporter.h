// What a run tells, to whoever shows it: the console's text, a batch log's
// lines, JSON events, a web page. The core calls it and never prints.
#pragma once

#include "midi/midi_ports.h"
#include "protocol/progress.h"
#include "report/ending.h"

class Reporter : public ProtocolReporter {
public:
    // The run begins.
    virtual void Banner() = 0;
    // The image file has been opened and is read.
    virtual void ImageOpened(const char* name) = 0;
    // It has passed its check: its size, its records, and the SHA-256 of
    // the file as stored.
    virtual void ImageChecked(unsigned bytes, unsigned records, const char* sha256) = 0;
    // --list: the ports as the search numbers them.
    virtual void PortsListed(const PortNames& inputs, const PortNames& outputs) = 0;
    // The run has ended so; its ports are still open.
    virtual void Ended(const Outcome& outcome) = 0;
    // The final wait begins, and it has ended (a key, or a request to stop).
    virtual void KeyAwaited() = 0;
    virtual void KeyWaitEnds() = 0;
};
