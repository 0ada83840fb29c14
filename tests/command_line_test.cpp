// Reading the command line, on every platform the program is built for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/command_line.h"

namespace {

TEST(CommandLine, WordsAreReadAsOptionsValuesAndTheImage) {
    const struct {
        std::vector<const char*> words;
        CommandLine read;
        const char* image;
        const char* output;
    } cases[] = {
        {{"--out=2", "fw/Corvilent.led"}, CommandLine::kRun, "fw/Corvilent.led", "2"},
        {{"--out", "-", "--", "-Corvilent.led"}, CommandLine::kRun, "-Corvilent.led", "-"},
        {{"-"}, CommandLine::kRun, "-", nullptr},  // a lone dash is a name, not an option
        {{"-V", "--help"}, CommandLine::kHelp, nullptr, nullptr},
        {{"--in"}, CommandLine::kError, nullptr, nullptr},
        {{"--output", "2"}, CommandLine::kError, nullptr, nullptr},
#ifdef _WIN32
        {{"/?"}, CommandLine::kHelp, nullptr, nullptr},
#endif
    };
    for (const auto& c : cases) {
        std::vector<char*> argv = {const_cast<char*>("tessarine-update")};
        for (const char* word : c.words) argv.push_back(const_cast<char*>(word));
        RunOptions options;
        char error[200] = "";
        EXPECT_EQ(ReadCommandLine(static_cast<int>(argv.size()), argv.data(), &options, error, sizeof error), c.read)
            << c.words[0];
        EXPECT_STREQ(options.image, c.image) << c.words[0];
        EXPECT_STREQ(options.output, c.output) << c.words[0];
    }
}

}  // namespace
