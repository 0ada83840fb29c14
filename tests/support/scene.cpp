#include "support/scene.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "console/text_reporter.h"
#include "driver/run_update.h"
#include "platform/host/host.h"
#include "sim/sim_device.h"
#include "sim/sim_platform.h"

#ifdef _WIN32
#include <io.h>
constexpr char kNothing[] = "NUL";
// What the command interpreter's "pause" prints, on Windows and under Wine.
const char* const kPlatformFinalWaits[] = {"Press any key to continue . . . \n", "Press any key to continue... "};
#else
#include <unistd.h>
constexpr char kNothing[] = "/dev/null";
const char* const kPlatformFinalWaits[] = {"Press any key to continue . . . \n"};
#endif

namespace {

std::size_t OpenFiles() {
#ifdef __linux__
    const std::filesystem::directory_iterator files("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(files), end(files)));
#else
    return 0;
#endif
}

}  // namespace

void SetUpScene(unsigned inputs, unsigned outputs, const std::set<UINT>& deviceOutputs,
                const std::set<UINT>& deviceInputs, TargetDevice* device) {
    sim::Reset();
    for (unsigned i = 0; i < inputs; ++i) sim::AddInput({"In " + std::to_string(i)});
    for (unsigned i = 0; i < outputs; ++i) sim::AddOutput({"Out " + std::to_string(i)});
    if (device != nullptr) AttachDevice(device, deviceOutputs, deviceInputs);
}

std::string Captured(const std::function<void()>& step) {
    testing::internal::CaptureStdout();
    step();
    return testing::internal::GetCapturedStdout();
}

std::string RunUpdateIn(const TempFolder& folder, Reader reader, const StopToken* stop, int status) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    const int savedInput = dup(0);
    const int nothing = open(kNothing, O_RDONLY);
    dup2(nothing, 0);
    close(nothing);
    const std::size_t filesBefore = OpenFiles();

    RunOptions options;
    const bool batch = reader == Reader::kBatch;
    options.finalWait = !batch;
    BatchReporter lines;
    ConsoleReporter console(reader == Reader::kTerminal);
    Reporter& reporter = batch ? static_cast<Reporter&>(lines) : console;
    const StopToken& stopToken = stop != nullptr ? *stop : UserStop();
    std::string output = Captured([&] { EXPECT_EQ(RunUpdate(options, PortChoice{}, reporter, stopToken), status); });

    EXPECT_EQ(OpenFiles(), filesBefore) << "the run left a file open";
    dup2(savedInput, 0);
    close(savedInput);
    std::filesystem::current_path(previous);
    if (batch || status == 130) return output;
    for (const std::string wait : kPlatformFinalWaits) {
        if (output.size() >= wait.size() && output.compare(output.size() - wait.size(), wait.size(), wait) == 0) {
            return output.substr(0, output.size() - wait.size()) + text::kFinalWait;
        }
    }
    ADD_FAILURE() << "the run did not end with the final wait";
    return output;
}
