#include "driver/program.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "console/json_reporter.h"
#include "console/text_reporter.h"
#include "driver/command_line.h"
#include "driver/run_update.h"
#include "platform/host/host.h"
#include "report/endings.h"
#include "report/reporter_pair.h"
#include "report/version.h"

namespace {

// A run that ends before it began: a bad command line, the ports --in and
// --out name.
int Refuse(Ending ending, const char* problem, bool statusTellsOutcome, Reporter& reporter) {
    Outcome outcome;
    outcome.ending = ending;
    outcome.problem = problem;
    return Finish(outcome, statusTellsOutcome, reporter);
}

}  // namespace

int RunProgram(int argc, char** argv, const StopToken& stop, bool terminal) {
    // Every message reaches the console, a pipe or a log the moment it is
    // printed, not when a buffer happens to fill.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    RunOptions options;
    // What is wrong with the command line or the ports it names.
    char problem[8 * 1024];
    const CommandLine read = ReadCommandLine(argc, argv, &options, problem, sizeof problem);
    BatchReporter lines;
    ConsoleReporter console(terminal, options.dryRun);
    JsonReporter json(stdout, true, true);
    Reporter& face = options.face == Face::kJson    ? json
                     : options.face == Face::kLines ? static_cast<Reporter&>(lines)
                                                    : console;
    switch (read) {
        case CommandLine::kHelp: PrintUsage(stdout); return kExitUpdated;
        case CommandLine::kVersion: PrintVersion("tessarine-update"); return kExitUpdated;
        case CommandLine::kError: return Refuse(Ending::kUsage, problem, options.statusTellsOutcome, face);
        case CommandLine::kRun: break;
    }
    // The log, opened before anything is done: one that cannot be written
    // is a bad command line.
    std::FILE* log = options.log != nullptr ? std::fopen(options.log, "a") : nullptr;
    if (options.log != nullptr && log == nullptr) {
        std::snprintf(problem, sizeof problem, "cannot write the log '%s': %s", options.log, std::strerror(errno));
        return Refuse(Ending::kUsage, problem, options.statusTellsOutcome, face);
    }
    JsonReporter logged(log, options.statusTellsOutcome);
    ReporterPair faceAndLog(face, logged);
    Reporter& told = log != nullptr ? static_cast<Reporter&>(faceAndLog) : face;
    BeginRun();
    PortChoice ports;
    int status = kExitUpdated;
    if (options.list) {
        status = ListMidiPorts(options.statusTellsOutcome, told);
    } else if (const auto refused = ChoosePorts(options, &ports, stop, problem, sizeof problem)) {
        status = Finish(*refused, options.statusTellsOutcome, told);
    } else {
        status = RunUpdate(options, ports, told, stop);
    }
    EndRun();
    if (log != nullptr) std::fclose(log);
    return status;
}
