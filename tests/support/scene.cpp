#include "support/scene.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "driver/program.h"
#include "platform/host/host.h"

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
    if (device != nullptr) sim::Attach(device, deviceOutputs, deviceInputs);
}

std::string Captured(const std::function<void()>& step) {
    testing::internal::CaptureStdout();
    step();
    return testing::internal::GetCapturedStdout();
}

ProgramRun RunProgramIn(const TempFolder& folder, const std::vector<std::string>& arguments, const StopToken* stop,
                        bool terminal) {
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    const int savedInput = dup(0);
    const int nothing = open(kNothing, O_RDONLY);
    dup2(nothing, 0);
    close(nothing);
    // What the program keeps open for the whole process, it opens at its
    // first run.
    BeginRun();
    const std::size_t filesBefore = OpenFiles();

    std::vector<char*> argv = {const_cast<char*>("tessarine-update")};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    ProgramRun run;
    testing::internal::CaptureStderr();
    run.out = Captured([&] {
        run.status =
            RunProgram(static_cast<int>(argv.size()), argv.data(), stop != nullptr ? *stop : UserStop(), terminal);
    });
    run.err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(OpenFiles(), filesBefore) << "the run left a file open";
    dup2(savedInput, 0);
    close(savedInput);
    std::filesystem::current_path(previous);
    for (const std::string wait : kPlatformFinalWaits) {
        const std::size_t at = run.out.rfind(wait);
        if (at != std::string::npos && at + wait.size() == run.out.size())
            run.out.replace(at, wait.size(), text::kFinalWait);
    }
    return run;
}
