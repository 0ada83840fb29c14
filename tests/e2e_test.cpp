// End to end: the real updater against the device simulator, over a real
// MIDI service (a JACK server of the test's own, started by with-jack).
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <regex>

#include "support/child_process.h"
#include "support/console_text.h"
#include "support/expected_update.h"
#include "support/program_run.h"

namespace {

using namespace text;

const std::string kOpened = Opened("Corvilent.led");

class EndToEnd : public testing::Test {
protected:
    void SetUp() override {
        std::string made;
        ASSERT_EQ(RunIn(folder_, SIM_PATH, &made, {"--make-image", "Corvilent.led", "--size", "3000", "--record-size", "100"}),
                  0)
            << made;
        image_ = ImageOfFile(folder_.path() + "/Corvilent.led");
        ASSERT_EQ(image_.size(), 3000u);
    }

    // Runs the simulator with `options`, and the updater beside it.
    std::string Update(std::vector<std::string> options) {
        options.insert(options.end(), {"--accepted", accepted(), "--timeout", "120"});
        ChildProcess sim(SIM_PATH, options);
        EXPECT_TRUE(sim.WaitForOutput("ready", 10000)) << "the simulator did not start";
        std::string transcript;
        EXPECT_EQ(RunIn(folder_, UPDATER_PATH, &transcript), 0);
        EXPECT_EQ(sim.Stop(), 0);
        return transcript;
    }

    std::string accepted() const { return folder_.root() + "/accepted.bin"; }
    Bytes Accepted() const { return ReadBytes(accepted()); }

    TempFolder folder_;
    Bytes image_;
};

TEST_F(EndToEnd, WholeUpdate) {
    const std::string transcript = Update({});
    EXPECT_TRUE(std::regex_match(transcript, std::regex(UpdateOf(image_, kCompleted + kFinalWait)))) << transcript;
    EXPECT_EQ(Accepted(), image_);
}

TEST_F(EndToEnd, CrcErrorsThenAccept) {
    const std::string transcript = Update({"--fault", "0:0:status=20", "--fault", "0:1:status=20"});
    const FailedTries failed = {{0, {kCrcError, kCrcError}}};
    EXPECT_TRUE(std::regex_match(transcript, std::regex(UpdateOf(image_, kCompleted + kFinalWait, failed))))
        << transcript;
    EXPECT_EQ(Accepted(), image_);
}

// The device erases its memory for longer than the wait before it takes the
// first record, takes a while to store every record, and refuses one record
// once: the late answer and the retry's must stay with the first record, the
// refusal with its own.
TEST_F(EndToEnd, LateAnswerThenRefusalOfTheNextRecord) {
    const std::string transcript =
        Update({"--fault", "0:0:busy=6000", "--store-time", "20", "--fault", "1:0:status=20"});
    const FailedTries failed = {{0, {""}}, {1, {kCrcError}}};
    EXPECT_TRUE(std::regex_match(transcript, std::regex(UpdateOf(image_, kCompleted + kFinalWait, failed))))
        << transcript;
    EXPECT_EQ(Accepted(), image_);
}

TEST_F(EndToEnd, LateAnswerThenRefusalOfTheLastRecord) {
    const std::size_t last = RecordsOf(image_).size() - 1;
    const std::string transcript = Update({"--fault", "0:0:busy=6000", "--store-time", "20", "--fault",
                                           std::to_string(last) + ":0:status=20"});
    const FailedTries failed = {{0, {""}}, {last, {kCrcError}}};
    EXPECT_TRUE(std::regex_match(transcript, std::regex(UpdateOf(image_, kCompleted + kFinalWait, failed))))
        << transcript;
    EXPECT_EQ(Accepted(), image_);
}

TEST_F(EndToEnd, RestartOnTheLastRecord) {
    const std::string transcript = Update({"--restart-after", std::to_string(image_.size())});
    EXPECT_TRUE(std::regex_match(transcript, std::regex(UpdateOf(image_, kRestarted + kFinalWait)))) << transcript;
    EXPECT_EQ(Accepted(), image_);
}

TEST_F(EndToEnd, ResetRequest) {
    const std::string transcript = Update({"--id", "15"});
    EXPECT_TRUE(std::regex_match(transcript, std::regex(Quoted(kBanner + kOpened) + SimulatorFound() +
                                                        Quoted(kResetRequest + kFinalWait))))
        << transcript;
    EXPECT_TRUE(Accepted().empty());
}

TEST_F(EndToEnd, WrongIdentificationAnswer) {
    EXPECT_EQ(Update({"--id", "3E"}), kBanner + kOpened + kNoDevice + kFinalWait);
    EXPECT_TRUE(Accepted().empty());
}

TEST_F(EndToEnd, NoSimulatorRunning) {
    std::string transcript;
    EXPECT_EQ(RunIn(folder_, UPDATER_PATH, &transcript), 0);
    EXPECT_EQ(transcript, kBanner + kOpened + kNoDevice + kFinalWait);
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
    std::string made;
    ASSERT_EQ(RunIn(folder_, SIM_PATH, &made, {"--make-image", "Corvilent.led", "--size", "40000"}), 0) << made;
    ChildProcess sim(SIM_PATH, {"--timeout", "120"});
    ASSERT_TRUE(sim.WaitForOutput("ready", 10000));
    ChildProcess updater(UPDATER_PATH, {}, folder_.path());
    ASSERT_TRUE(updater.WaitForOutput(Progress('\\', 1), 30000)) << updater.output();
    const char* server = std::getenv("WITH_JACK_SERVER_PID");
    ASSERT_NE(server, nullptr) << "run under scripts/with-jack";
    kill(static_cast<pid_t>(std::atoi(server)), SIGKILL);
    // Not after twenty reply waits of five seconds, but at the next send.
    EXPECT_EQ(updater.Wait(30000), 0);
    const std::string ending = "\nError: The MIDI Out of device is missing!\n\n" + kFinalWait;
    EXPECT_EQ(updater.output().substr(updater.output().size() - ending.size()), ending) << updater.output();
}

}  // namespace
