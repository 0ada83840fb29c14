// A temporary folder for one test, with a working folder inside it where
// the program runs; removed with everything in it afterwards.
#pragma once

#include <string>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder the program runs in.
    const std::string& path() const { return work_; }
    // Beside it: a place for what the test itself keeps.
    const std::string& root() const { return root_; }
    void WriteFile(const std::string& name, const std::string& content) const;
    void MakeFolder(const std::string& name) const;
    void MakeLink(const std::string& name, const std::string& target) const;

private:
    std::string root_;
    std::string work_;
};
