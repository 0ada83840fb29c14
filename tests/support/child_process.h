// A built program as a child process, for end-to-end tests: started in a
// folder with standard input closed, what it prints on standard output read
// through a pipe while it runs, stopped when the object goes (a failing test
// included).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& folder = ".");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads what it prints until `text` has appeared (true), it has closed
    // its output, or `milliseconds` have passed.
    bool WaitForOutput(const std::string& text, int milliseconds);
    // Waits up to `milliseconds` for it to end by itself, reading what it
    // prints; returns its exit status (128 and the signal's number when a
    // signal ended it, as shells tell it), or -1 when it did not end (it is
    // then stopped).
    int Wait(int milliseconds);
    // Stops it and returns its exit status, as Wait does.
    int Stop();
    bool Running();
    // All it has printed so far.
    const std::string& output() const { return output_; }

private:
    // Reads what is there within `milliseconds`; false once the output has closed.
    bool ReadSome(int milliseconds);
    int Reap(int options);

    pid_t pid_ = -1;
    int output_fd_ = -1;
    std::string output_;
    int status_ = -1;
};
