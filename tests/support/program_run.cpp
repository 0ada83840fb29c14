#include "support/program_run.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "tessarine-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    work_ = root_ + "/work";
    fs::create_directory(work_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void TempFolder::WriteFile(const std::string& name, const std::string& content) const {
    std::ofstream(work_ + "/" + name, std::ios::binary) << content;
}

void TempFolder::MakeFolder(const std::string& name) const { fs::create_directory(work_ + "/" + name); }

void TempFolder::MakeLink(const std::string& name, const std::string& target) const {
    fs::create_symlink(target, work_ + "/" + name);
}

int TempFolder::Run(const std::string& program, std::string* output,
                    const std::vector<std::string>& arguments) const {
    const std::string outputPath = root_ + "/output.txt";
    std::string command = "cd '" + work_ + "' && '" + program + "'";
    for (const std::string& argument : arguments) command += " '" + argument + "'";
    command += " <&- >'" + outputPath + "' 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(outputPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    *output = text.str();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
