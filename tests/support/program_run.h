// Running a built program as a user would: in the test's folder, with
// standard input closed, capturing everything it prints.
#pragma once

#include <string>
#include <vector>

#include "support/temp_folder.h"

// Returns the program's exit status and fills output with what it printed.
int RunIn(const TempFolder& folder, const std::string& program, std::string* output,
          const std::vector<std::string>& arguments = {});
