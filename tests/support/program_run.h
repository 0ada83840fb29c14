// Running the built updater as a user would: in a folder of its own, with
// standard input closed, capturing everything it prints.
#pragma once

#include <string>
#include <vector>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder the program runs in.
    const std::string& path() const { return work_; }
    void WriteFile(const std::string& name, const std::string& content) const;
    void MakeFolder(const std::string& name) const;
    void MakeLink(const std::string& name, const std::string& target) const;

    // Runs the program in the folder with standard input closed; returns its
    // exit status and fills output with what it printed.
    int Run(const std::string& program, std::string* output, const std::vector<std::string>& arguments = {}) const;

private:
    std::string root_;
    std::string work_;
};
