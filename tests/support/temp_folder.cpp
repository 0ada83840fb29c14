#include "support/temp_folder.h"

#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::random_device random;
    fs::path root;
    do {
        root = fs::temp_directory_path() / ("tessarine-test-" + std::to_string(random()));
    } while (!fs::create_directory(root));
    root_ = root.string();
    work_ = (root / "work").string();
    fs::create_directory(work_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void TempFolder::WriteFile(const std::string& name, const std::string& content) const {
    std::ofstream(fs::path(work_) / name, std::ios::binary) << content;
}

void TempFolder::MakeFolder(const std::string& name) const { fs::create_directory(fs::path(work_) / name); }

void TempFolder::MakeLink(const std::string& name, const std::string& target) const {
    fs::create_symlink(target, fs::path(work_) / name);
}
