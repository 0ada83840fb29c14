// The simulator's manual page and its --help name the same options.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "support/program_run.h"

namespace {

std::set<std::string> OptionsIn(const std::string& text) {
    static const std::regex option("--[a-z][a-z-]*");
    std::set<std::string> options;
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) options.insert(it->str());
    return options;
}

TEST(Manual, TheSimulatorsPageAndItsHelpNameTheSameOptions) {
    TempFolder folder;
    std::string help;
    ASSERT_EQ(RunIn(folder, SIM_PATH, &help, {"--help"}), 0);
    std::ifstream page(SIM_MANUAL);
    std::stringstream roff;
    roff << page.rdbuf();
    // roff writes a hyphen as \-.
    const std::string text = std::regex_replace(roff.str(), std::regex(R"(\\-)"), "-");
    EXPECT_EQ(OptionsIn(text), OptionsIn(help));
    EXPECT_GE(OptionsIn(help).size(), 12u);
}

}  // namespace
