// The program's entry: the command line read whole before anything else is
// done, the face that shows the run chosen (and a log beside it), then the
// run it asks for.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "console/json_reporter.h"
#include "console/text_reporter.h"
#include "driver/command_line.h"
#include "driver/run_update.h"
#include "platform/host.h"
#include "report/endings.h"
#include "report/reporter_pair.h"
#include "report/version.h"

namespace {

// A bad command line, told in the face chosen: nothing else is done.
int Refuse(Reporter& face, const char* problem) {
    Outcome outcome;
    outcome.ending = Ending::kUsage;
    outcome.problem = problem;
    face.Ended(outcome);
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    // Every message reaches the console, a pipe or a log the moment it is
    // printed, not when a buffer happens to fill.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    RunOptions options;
    char error[300];
    const CommandLine read = ReadCommandLine(argc, argv, &options, error, sizeof error);
    BatchReporter lines;
    ConsoleReporter console(StandardOutputIsTerminal(), options.dryRun);
    JsonReporter json(stdout, true);
    Reporter& face = options.face == Face::kJson    ? json
                     : options.face == Face::kLines ? static_cast<Reporter&>(lines)
                                                    : console;
    switch (read) {
        case CommandLine::kHelp: std::fputs(kUsage, stdout); return kExitUpdated;
        case CommandLine::kVersion: PrintVersion("tessarine-update"); return kExitUpdated;
        case CommandLine::kError: return Refuse(face, error);
        case CommandLine::kRun: break;
    }
    // The log, opened before anything is done: one that cannot be written
    // is a bad command line.
    std::FILE* log = options.log != nullptr ? std::fopen(options.log, "a") : nullptr;
    if (options.log != nullptr && log == nullptr) {
        std::snprintf(error, sizeof error, "cannot write the log '%s': %s", options.log, std::strerror(errno));
        return Refuse(face, error);
    }
    JsonReporter logged(log, options.statusTellsOutcome);
    ReporterPair faceAndLog(face, logged);
    Reporter& told = log != nullptr ? static_cast<Reporter&>(faceAndLog) : face;
    BeginRun();
    PortChoice ports;
    int status = kExitUpdated;
    if (options.list) {
        status = ListMidiPorts(told);
    } else if (ChoosePorts(options, &ports, told, UserStop(), &status)) {
        status = RunUpdate(options, ports, told, UserStop());
    }
    EndRun();
    if (log != nullptr) std::fclose(log);
    return status;
}
