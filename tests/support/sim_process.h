// The device simulator as a child process, for end-to-end tests: started
// with the given options, ready once it has opened its ports, stopped when
// the object goes (a failing test included).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class SimProcess {
public:
    // Starts `program` with `arguments` and waits until it reports ready.
    SimProcess(const std::string& program, const std::vector<std::string>& arguments);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool ready() const { return ready_; }
    // Stops the simulator; returns its exit status.
    int Stop();

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};
