// Built programs as child processes, for the tests that run them as a user
// would: started in a folder with standard input closed, all they print (on
// either stream) read through a pipe while they run, stopped when the object
// goes (a failing test included).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& folder = ".");
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads what it prints until `text` has appeared (true), or for at most
    // `milliseconds`.
    bool WaitForOutput(const std::string& text, int milliseconds);
    // Waits up to `milliseconds` for it to end, reading what it prints; its
    // exit status (128 and the signal's number when a signal ended it, as
    // shells tell it), or -1 when it did not end (it is then stopped).
    int Wait(int milliseconds);
    // Stops it; its exit status, as Wait gives it.
    int Stop();
    const std::string& output() const { return output_; }

private:
    bool ReadFor(int milliseconds);
    int Reap(int options);

    pid_t pid_ = -1;
    int fd_ = -1;
    std::string output_;
    int status_ = -1;
};

// Runs a program in the folder to its end; its exit status, and all it
// printed in `output`.
int RunIn(const TempFolder& folder, const std::string& program, std::string* output,
          const std::vector<std::string>& arguments = {});
