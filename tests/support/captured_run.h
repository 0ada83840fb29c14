// Running the program's logic in this process, on whatever platform the test
// is linked against, and capturing all it prints.
#pragma once

#include <functional>
#include <string>

#include "support/temp_folder.h"

// What `step` printed on standard output.
std::string Captured(const std::function<void()>& step);

// A whole run in the folder, standard input at its end; checks exit status 0.
// The final wait's prompt belongs to the platform's command interpreter on
// Windows (and reads differently under Wine); it is given back as
// text::kFinalWait wherever it was found.
std::string RunUpdateIn(const TempFolder& folder);
