// End to end: the real updater against the device simulator, over a real
// MIDI service (a JACK server of the test's own, started by with-jack).
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <regex>

#include "support/child_process.h"
#include "support/console_text.h"
#include "support/expected_update.h"

namespace {

using namespace text;

const std::string kOpened = Opened("Corvilent.led");

class EndToEnd : public testing::Test {
protected:
    void SetUp() override { Write(MakeImage(3000, 100)); }  // 28 records of 104 bytes, the last of 88
    void Write(const Bytes& image) {
        image_ = image;
        folder_.WriteFile("Corvilent.led", ImageText(image));
    }
    TempFolder folder_;
    Bytes image_;
};

TEST_F(EndToEnd, Updates) {
    const struct {
        const char* why;
        bool simulator;                      // whether one runs, and its options
        std::vector<std::string> options;
        std::string transcript;              // a regular expression
        bool accepted;                       // the simulator holds the image
    } cases[] = {
        {"every record accepted", true, {}, UpdateOf(image_, kCompleted + kFinalWait), true},
        {"refused twice", true, {"--fault", "0:0:status=20", "--fault", "0:1:status=20"},
         UpdateOf(image_, kCompleted + kFinalWait, {{0, {kCrcError, kCrcError}}}), true},
        // The device erases its memory for longer than the wait before it
        // takes the first record, takes a while to store every record, and
        // refuses one record once: the late answer and the retry's must stay
        // with the first record, the refusal with its own.
        {"a late answer, then a refusal of the next record", true,
         {"--fault", "0:0:busy=6000", "--store-time", "20", "--fault", "1:0:status=20"},
         UpdateOf(image_, kCompleted + kFinalWait, {{0, {""}}, {1, {kCrcError}}}), true},
        {"a late answer, then a refusal of the last record", true,
         {"--fault", "0:0:busy=6000", "--store-time", "20", "--fault", "28:0:status=20"},
         UpdateOf(image_, kCompleted + kFinalWait, {{0, {""}}, {28, {kCrcError}}}), true},
        {"a restart on the last record", true, {"--restart-after", std::to_string(image_.size())},
         UpdateOf(image_, kRestarted + kFinalWait), true},
        {"a reset request", true, {"--id", "15"},
         Quoted(kBanner + kOpened) + SimulatorFound() + Quoted(kResetRequest + kFinalWait), false},
        {"another device", true, {"--id", "3E"}, Quoted(kBanner + kOpened + kNoDevice + kFinalWait), false},
        {"no device at all", false, {}, Quoted(kBanner + kOpened + kNoDevice + kFinalWait), false},
    };
    for (const auto& c : cases) {
        const std::string accepted = folder_.root() + "/accepted.bin";
        std::remove(accepted.c_str());
        std::vector<std::string> options = c.options;
        options.insert(options.end(), {"--accepted", accepted, "--timeout", "120"});
        std::unique_ptr<ChildProcess> sim;
        if (c.simulator) {
            sim = std::make_unique<ChildProcess>(SIM_PATH, options);
            ASSERT_TRUE(sim->WaitForOutput("ready", 10000)) << c.why << ": " << sim->output();
        }
        std::string transcript;
        EXPECT_EQ(RunIn(folder_, UPDATER_PATH, &transcript), 0) << c.why;
        EXPECT_TRUE(std::regex_match(transcript, std::regex(c.transcript))) << c.why << "\n" << transcript;
        if (sim) {
            EXPECT_EQ(sim->Stop(), 0) << c.why;
        }
        EXPECT_EQ(ReadBytes(accepted), c.accepted ? image_ : Bytes()) << c.why;
    }
}

TEST_F(EndToEnd, TheFirstLinesReachAPipeWhileTheSearchGoesOn) {
    // A device that never answers the search: four waits of half a second.
    ChildProcess sim(SIM_PATH, {"--fault", "id:*:silence", "--timeout", "120"});
    ASSERT_TRUE(sim.WaitForOutput("ready", 10000));
    ChildProcess updater(UPDATER_PATH, {}, folder_.path());
    ASSERT_TRUE(updater.WaitForOutput(kOpened, 30000)) << updater.output();
    EXPECT_EQ(updater.output(), kBanner + kOpened) << "the first lines were held back until the search ended";
    EXPECT_EQ(updater.Wait(30000), 0);
    EXPECT_EQ(updater.output(), kBanner + kOpened + kNoDevice + kFinalWait);
}

TEST_F(EndToEnd, TheMidiServiceStopsDuringTheTransfer) {
    Write(MakeImage(40000, 256));
    ChildProcess sim(SIM_PATH, {"--timeout", "120"});
    ASSERT_TRUE(sim.WaitForOutput("ready", 10000));
    ChildProcess updater(UPDATER_PATH, {}, folder_.path());
    ASSERT_TRUE(updater.WaitForOutput(Progress('\\', 1), 30000)) << updater.output();  // the third record
    const char* server = std::getenv("WITH_JACK_SERVER_PID");
    ASSERT_NE(server, nullptr) << "run under scripts/with-jack";
    kill(static_cast<pid_t>(std::atoi(server)), SIGKILL);
    // Not after twenty reply waits of five seconds, but at the next send.
    EXPECT_EQ(updater.Wait(30000), 0);
    const std::string ending = "\nError: The MIDI Out of device is missing!\n\n" + kFinalWait;
    EXPECT_TRUE(std::regex_match(updater.output(), std::regex(Quoted(kBanner + kOpened) + SimulatorFound() +
                                                              "[\\s\\S]*" + Quoted(ending))))
        << updater.output();
}

}  // namespace
