// The real binary, run as a user would in a folder of its own with standard
// input closed: its whole transcript for every way the file stage can end.
// And the simulator's manual page against its --help.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "support/child_process.h"
#include "support/console_text.h"

namespace {

using namespace text;

const std::string kNotFound = "Error: File '*.led' is not found.\n\n";
const std::string kNoFitFile = "Error: The fit file is not found.\n\n";
// One record, data 01 02, checksum FFFD stored low byte first.
const std::string kValidImage = "00 04 01 02 FD FF\n";
const std::string kFolder = "<folder>";
const std::string kLinkNowhere = "<link>";

TEST(FileStage, EveryEnding) {
    const std::string longName = "Corvilent" + std::string(200, 'x') + ".led";
    const std::string largest = "FFFD" + std::string(2 * 0xFFFD, '0');  // one record of 65535 bytes
    const struct {
        std::vector<std::pair<std::string, std::string>> files;
        std::string ending;
    } cases[] = {
        {{{"Corvilent.txt", kValidImage}}, kNotFound},
        // Only the first, in the order NTFS lists names: by their upper-cased
        // letters, so "_" comes after the letters.
        {{{"Corvilent.led", kValidImage}, {"alpha.led", kValidImage}}, kNoFitFile},
        {{{"_old.led", kValidImage}, {"Corvilent.led", kValidImage}}, Opened("Corvilent.led") + kNoDevice},
        {{{"corvilent_b.led", kValidImage}, {"CORVILENTA.led", kValidImage}}, Opened("CORVILENTA.led") + kNoDevice},
        // Names equal but for case (NTFS would not hold both): byte order,
        // whichever the folder lists first (several pairs, as it lists them
        // in an order of its own).
        {{{"corvilent.led", kValidImage}, {"CORVILENT.led", kValidImage}}, Opened("CORVILENT.led") + kNoDevice},
        {{{"corvilent2.led", kValidImage}, {"CORVILENT2.led", kValidImage}}, Opened("CORVILENT2.led") + kNoDevice},
        {{{"corvilentx.led", kValidImage}, {"CORVILENTx.led", kValidImage}}, Opened("CORVILENTx.led") + kNoDevice},
        // The prefix in any letter case, but all nine letters of it.
        {{{"corvilent.LED", kValidImage}}, Opened("corvilent.LED") + kNoDevice},
        {{{"Corvilen_t.led", kValidImage}}, kNoFitFile},
        {{{"xCorvilent.led", kValidImage}}, kNoFitFile},
        {{{"Corvilent.led", kFolder}}, "Error: File 'Corvilent.led' is not found.\n\n"},
        {{{"Corvilent.led", kLinkNowhere}}, "Error: File 'Corvilent.led' is not found.\n\n"},
        // A name too long for 99 characters is kept whole.
        {{{longName, kValidImage}}, Opened(longName) + kNoDevice},
        {{{"Corvilent.led", kValidImage + "; built 2026-12-07\nFFFF\n"}}, Opened("Corvilent.led") + kNoDevice},
        {{{"Corvilent.led", "00 04 01 02 FF FD"}}, Opened("Corvilent.led") + kBadImage},
        {{{"Corvilent.led", ""}}, Opened("Corvilent.led") + kBadImage},
        {{{"Corvilent.led", "firmware 0004 0102 FDFF"}}, Opened("Corvilent.led") + kBadImage},
        {{{"Corvilent.led", "0006 0102 FDFF"}}, Opened("Corvilent.led") + kBadImage},
        {{{"Corvilent.led", largest}}, Opened("Corvilent.led") + kNoDevice},
        {{{"Corvilent.led", largest + "00"}}, Opened("Corvilent.led") + kBadImage},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        for (const auto& [name, content] : c.files) {
            if (content == kFolder) {
                folder.MakeFolder(name);
            } else if (content == kLinkNowhere) {
                folder.MakeLink(name, "nowhere.txt");
            } else {
                folder.WriteFile(name, content);
            }
        }
        std::string transcript;
        EXPECT_EQ(RunIn(folder, UPDATER_PATH, &transcript), 0);
        EXPECT_EQ(transcript, kBanner + c.ending + kFinalWait) << c.files[0].first.substr(0, 40);
    }
}

TEST(FinalWait, OnATerminalOneKeyEndsIt) {
    TempFolder folder;  // no image: the run goes straight to the final wait
    int controller = -1;
    const pid_t pid = forkpty(&controller, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // A terminal another program left reading without waiting.
        termios settings;
        tcgetattr(STDIN_FILENO, &settings);
        settings.c_cc[VMIN] = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &settings);
        if (chdir(folder.path().c_str()) == 0) execl(UPDATER_PATH, UPDATER_PATH, static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string shown;
    pollfd readable = {controller, POLLIN, 0};
    while (shown.find(kFinalWait.substr(0, 31)) == std::string::npos && poll(&readable, 1, 10000) > 0) {
        char buffer[256];
        const ssize_t got = read(controller, buffer, sizeof buffer);
        if (got <= 0) break;
        shown.append(buffer, static_cast<std::size_t>(got));
    }
    EXPECT_NE(shown.find(kFinalWait.substr(0, 31)), std::string::npos) << shown;
    usleep(300000);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "it did not wait for a key";
    ASSERT_EQ(write(controller, "x", 1), 1);  // no Enter
    pid_t ended = 0;
    for (int polls = 0; polls < 500 && (ended = waitpid(pid, &status, WNOHANG)) == 0; ++polls) usleep(10000);
    EXPECT_TRUE(ended == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a key did not end it";
    if (ended != pid) kill(pid, SIGKILL);
    close(controller);
}

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
    std::stringstream roff;
    roff << std::ifstream(SIM_MANUAL).rdbuf();
    // roff writes a hyphen as \-.
    EXPECT_EQ(OptionsIn(std::regex_replace(roff.str(), std::regex(R"(\\-)"), "-")), OptionsIn(help));
    EXPECT_GE(OptionsIn(help).size(), 12u);
}

}  // namespace
