// The program's entry.
#include "driver/program.h"
#include "platform/host/host.h"

int main(int argc, char** argv) { return RunProgram(argc, argv, UserStop(), StandardOutputIsTerminal()); }
