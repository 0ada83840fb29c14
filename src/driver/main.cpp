// The program's entry: the command line read whole before anything else is
// done, the face that shows the run chosen, then the run it asks for.
#include <cstdio>

#include "console/json_reporter.h"
#include "console/text_reporter.h"
#include "driver/command_line.h"
#include "driver/run_update.h"
#include "platform/host.h"
#include "report/endings.h"

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
    Reporter& face = options.face == Face::kJson ? json : options.face == Face::kLines ? static_cast<Reporter&>(lines) : console;
    switch (read) {
        case CommandLine::kHelp:
            std::fputs(kUsage, stdout);
            return kExitUpdated;
        case CommandLine::kVersion:
            std::printf("tessarine-update %s\n", TESSARINE_VERSION);
            return kExitUpdated;
        case CommandLine::kError: {
            Outcome outcome;
            outcome.ending = Ending::kUsage;
            outcome.problem = error;
            face.Ended(outcome);
            return kExitUsage;
        }
        case CommandLine::kRun:
            break;
    }
    BeginRun();
    PortChoice ports;
    int status = kExitUpdated;
    if (options.list) {
        status = ListMidiPorts(face);
    } else if (ChoosePorts(options, &ports, face, &status)) {
        status = RunUpdate(options, ports, face, UserStop());
    }
    EndRun();
    return status;
}
