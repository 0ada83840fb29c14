#include "support/captured_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "driver/run_update.h"

std::string Captured(const std::function<void()>& step) {
    testing::internal::CaptureStdout();
    step();
    return testing::internal::GetCapturedStdout();
}

std::string RunUpdateIn(const TempFolder& folder) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    const int savedInput = dup(STDIN_FILENO);
    const int nothing = open("/dev/null", O_RDONLY);
    dup2(nothing, STDIN_FILENO);
    close(nothing);

    const std::string output = Captured([] { EXPECT_EQ(RunUpdate(), 0); });

    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
    std::filesystem::current_path(previous);
    return output;
}
