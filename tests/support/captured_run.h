// Running the program's logic in this process, on whatever platform the test
// is linked against, and capturing all it prints.
#pragma once

#include <functional>
#include <string>

#include "support/program_run.h"

// What `step` printed on standard output.
std::string Captured(const std::function<void()>& step);

// A whole run in the folder, standard input at its end; checks exit status 0.
std::string RunUpdateIn(const TempFolder& folder);
