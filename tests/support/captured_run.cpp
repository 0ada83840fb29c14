#include "support/captured_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "driver/run_update.h"
#include "support/console_text.h"

#ifdef _WIN32
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#define open _open
constexpr char kNothing[] = "NUL";
// What the command interpreter's "pause" prints, on Windows and under Wine.
const char* const kPlatformFinalWaits[] = {"Press any key to continue . . . \n", "Press any key to continue... "};
#else
#include <unistd.h>
constexpr char kNothing[] = "/dev/null";
const char* const kPlatformFinalWaits[] = {"Press any key to continue . . . \n"};
#endif

std::string Captured(const std::function<void()>& step) {
    testing::internal::CaptureStdout();
    step();
    return testing::internal::GetCapturedStdout();
}

std::string RunUpdateIn(const TempFolder& folder) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    const int savedInput = dup(0);
    const int nothing = open(kNothing, O_RDONLY);
    dup2(nothing, 0);
    close(nothing);

    std::string output = Captured([] { EXPECT_EQ(RunUpdate(), 0); });

    dup2(savedInput, 0);
    close(savedInput);
    std::filesystem::current_path(previous);
    for (const std::string wait : kPlatformFinalWaits) {
        if (output.size() >= wait.size() && output.compare(output.size() - wait.size(), wait.size(), wait) == 0) {
            return output.substr(0, output.size() - wait.size()) + text::kFinalWait;
        }
    }
    ADD_FAILURE() << "the run did not end with the final wait";
    return output;
}
