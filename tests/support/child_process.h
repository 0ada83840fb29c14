// Built programs as child processes, for the tests and benchmarks that run
// them as a user would: started in a folder, with standard input closed and
// what they print read from pipes while they run, or on a terminal of their
// own (a pseudo-terminal) that the test types on; stopped when the object
// goes, a failing test included.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

class ChildProcess {
public:
    enum class Console {
        kPipes,     // standard output and standard error to pipes of their own, no input
        kTerminal,  // all three on a pseudo-terminal
    };

    ChildProcess(const std::string& program, const std::vector<std::string>& arguments, const std::string& folder = ".",
                 Console console = Console::kPipes);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads what it prints until `text` has appeared in its output (true),
    // or for at most `milliseconds`.
    bool WaitForOutput(const std::string& text, int milliseconds);
    // Waits up to `milliseconds` for it to end, reading what it prints; its
    // exit status (128 and the signal's number when a signal ended it, as
    // shells tell it), or -1 when it did not end (it is then stopped).
    int Wait(int milliseconds);
    // Whether it is still running after `milliseconds` (reading meanwhile).
    bool RunsAfter(int milliseconds);
    // Stops it: SIGTERM, and SIGKILL if it has not ended 5 s later. Its
    // exit status, as Wait gives it.
    int Stop();
    void Signal(int signal) const;

    // On a terminal: types the keys; the terminal's side the program has,
    // for its settings and what is left unread.
    void Type(const std::string& keys) const;
    int terminal() const { return terminal_; }
    // The terminal's settings as it was made, before the program started.
    const termios& startSettings() const { return startSettings_; }

    // Standard output (on a terminal: all it showed), and standard error.
    const std::string& output() const { return output_; }
    const std::string& errors() const { return errors_; }
    // The processor time it used, once it has ended.
    double cpuSeconds() const { return cpuSeconds_; }

private:
    bool ReadFor(int milliseconds);
    int Reap(int options);

    pid_t pid_ = -1;
    int outputFd_ = -1;
    int errorsFd_ = -1;
    int terminal_ = -1;
    termios startSettings_ = {};
    std::string output_;
    std::string errors_;
    int status_ = -1;
    double cpuSeconds_ = 0;
};

// Runs a program in the folder to its end; its exit status, and what it
// printed on standard output in `output` (and standard error in `errors`).
int RunIn(const TempFolder& folder, const std::string& program, std::string* output,
          const std::vector<std::string>& arguments = {}, std::string* errors = nullptr);
// The same with its standard output read by `head -n LINES`, which goes
// once it has them; the program's exit status.
int RunBehindHead(const TempFolder& folder, const std::string& program, int lines,
                  const std::vector<std::string>& arguments);
