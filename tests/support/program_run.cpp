#include "support/program_run.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

int RunIn(const TempFolder& folder, const std::string& program, std::string* output,
          const std::vector<std::string>& arguments) {
    const std::string outputPath = folder.root() + "/output.txt";
    std::string command = "cd '" + folder.path() + "' && '" + program + "'";
    for (const std::string& argument : arguments) command += " '" + argument + "'";
    command += " <&- >'" + outputPath + "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(outputPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    *output = text.str();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
