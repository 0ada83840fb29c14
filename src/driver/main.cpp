// The program's entry: the command line read whole before anything else is
// done, then the run it asks for.
#include <cstdio>

#include "console/console.h"
#include "console/text_reporter.h"
#include "driver/command_line.h"
#include "driver/run_update.h"
#include "platform/host.h"

int main(int argc, char** argv) {
    // Every message reaches the console, a pipe or a log the moment it is
    // printed, not when a buffer happens to fill.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    RunOptions options;
    char error[300];
    switch (ReadCommandLine(argc, argv, &options, error, sizeof error)) {
        case CommandLine::kHelp:
            std::fputs(kUsage, stdout);
            return kExitUpdated;
        case CommandLine::kVersion:
            std::printf("tessarine-update %s\n", TESSARINE_VERSION);
            return kExitUpdated;
        case CommandLine::kError:
            std::fprintf(stderr, "tessarine-update: %s (see tessarine-update --help)\n", PrintableName(error).text);
            return kExitUsage;
        case CommandLine::kRun:
            break;
    }
    BeginRun();
    PortChoice ports;
    int status = kExitUpdated;
    if (options.list) {
        status = ListMidiPorts();
    } else if ((status = ChoosePorts(options, &ports)) == kExitUpdated) {
        BatchReporter batch;
        ConsoleReporter console(StandardOutputIsTerminal());
        status = RunUpdate(options, ports, options.batch ? static_cast<Reporter&>(batch) : console);
    }
    EndRun();
    return status;
}
