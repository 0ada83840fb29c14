// The user's request that the run stop (Ctrl-C, a closed window, the web
// page's Stop), which the run checks between its steps and in its waits.
#pragma once

class StopToken {
public:
    virtual ~StopToken() = default;
    virtual bool Requested() const = 0;
};
