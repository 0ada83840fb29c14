// End to end: the real updater against the device simulator, over a real
// MIDI service (a JACK server of the test's own, started by with-jack):
// what the platform's layer over the service brings, several devices at
// once, a device behind a wire, a device that comes later, a server held
// back or gone, and readers of the program's output.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <set>
#include <thread>

#include "support/child_process.h"
#include "support/console_text.h"
#include "support/expected_update.h"

namespace {

using namespace text;

const std::string kOpened = Opened("Corvilent.led");

// The simulator, ready, with its own options and those every test gives.
std::unique_ptr<ChildProcess> Simulator(std::vector<std::string> options) {
    options.insert(options.end(), {"--timeout", "120"});
    auto sim = std::make_unique<ChildProcess>(SIM_PATH, options);
    EXPECT_TRUE(sim->WaitForOutput("ready", 10000)) << sim->errors();
    return sim;
}

// The number --list gives the port whose name begins with `client`.
std::string PortNumber(const std::string& listing, const std::string& kind, const std::string& client) {
    std::smatch found;
    const std::regex port("MIDI " + kind + ":\n(?:  [0-9]+: [^\n]*\n)*?  ([0-9]+): " + client);
    EXPECT_TRUE(std::regex_search(listing, found, port)) << listing;
    return found[1];
}

class EndToEnd : public testing::Test {
protected:
    void SetUp() override { Write(MakeImage(3000, 100)); }  // 28 records of 104 bytes, the last of 88
    void Write(const Bytes& image) {
        image_ = image;
        folder_.WriteFile("Corvilent.led", ImageText(image));
    }
    std::string Accepted(const std::string& name = "accepted.bin") const { return folder_.root() + "/" + name; }
    TempFolder folder_;
    Bytes image_;
};

TEST_F(EndToEnd, TheBareRunUpdatesTheDeviceInTheConsolesOwnWords) {
    std::unique_ptr<ChildProcess> sim = Simulator({"--accepted", Accepted()});
    std::string transcript;
    EXPECT_EQ(RunIn(folder_, UPDATER_PATH, &transcript), 0);
    EXPECT_TRUE(std::regex_match(WithoutServerAdvice(transcript),
                                 std::regex(Quoted(kBanner + kOpened) + SimulatorFound() +
                                            Quoted(TransferLines(image_) + kCompleted + kFinalWait))))
        << transcript;
    EXPECT_EQ(sim->Stop(), 0);
    EXPECT_EQ(ReadBytes(Accepted()), image_);
}

TEST_F(EndToEnd, TwoDevicesAreUpdatedAtOnceEachOnItsPortsAlone) {
    // Decoys, listed first, that would answer as a device does.
    std::unique_ptr<ChildProcess> decoys[] = {Simulator({"--name", "Decoy-A", "--verbose"}),
                                              Simulator({"--name", "Decoy-B", "--verbose"})};
    // The second's name is longer than a port's capability record holds.
    const std::string units[] = {"Unit-A", "Unit-B-with-a-name-longer-than-a-capability-record"};
    const Bytes images[] = {MakeImage(2000, 100), MakeImage(2500, 80)};
    std::unique_ptr<ChildProcess> sims[2];
    for (int i = 0; i < 2; ++i) {
        sims[i] = Simulator({"--name", units[i], "--accepted", Accepted(units[i])});
        folder_.WriteFile("Corvilent-" + units[i] + ".led", ImageText(images[i]));
    }
    std::string listing;
    ASSERT_EQ(RunIn(folder_, UPDATER_PATH, &listing, {"--list"}), 0);
    EXPECT_NE(listing.find(": " + units[1] + ":device in\n"), std::string::npos) << "not listed whole:\n" << listing;
    // The first by the numbers --list gives, the second by parts of its
    // ports' whole names, to their end.
    const std::vector<std::string> ports[] = {
        {"--in", PortNumber(listing, "inputs", "Unit-A"), "--out", PortNumber(listing, "outputs", "Unit-A")},
        {"--in", "capability-record-01:device OUT", "--out=CAPABILITY-RECORD:DEVICE IN"}};
    std::unique_ptr<ChildProcess> updaters[2];
    for (int i = 0; i < 2; ++i) {
        std::vector<std::string> arguments = ports[i];
        arguments.insert(arguments.end(), {"--batch", "Corvilent-" + units[i] + ".led"});
        updaters[i] = std::make_unique<ChildProcess>(UPDATER_PATH, arguments, folder_.path());
    }
    for (auto& updater : updaters) EXPECT_EQ(updater->Wait(60000), 0) << updater->output();
    // A part that names several ports is refused, and names them alone.
    std::string transcript, errors;
    EXPECT_EQ(RunIn(folder_, UPDATER_PATH, &transcript, {"--out", "decoy"}, &errors), 2);
    EXPECT_TRUE(std::regex_match(errors, std::regex("tessarine-update: --out 'decoy' names more than one MIDI output; "
                                                    "the candidates: [0-9] 'Decoy-A:device in', [0-9] "
                                                    "'Decoy-B:device in' \\(see tessarine-update --help\\)\n")))
        << errors;
    for (int i = 0; i < 2; ++i) {
        sims[i]->Stop();
        EXPECT_EQ(ReadBytes(Accepted(units[i])), images[i]) << units[i];
    }
    for (auto& decoy : decoys) {
        decoy->Stop();
        EXPECT_EQ(decoy->errors().find("received"), std::string::npos) << decoy->errors();
    }
}

TEST_F(EndToEnd, TheFirstLinesReachAPipeWhileTheSearchGoesOn) {
    // A device that never answers the search: four waits of half a second,
    // stopped meanwhile.
    std::unique_ptr<ChildProcess> sim = Simulator({"--fault", "id:*:silence"});
    ChildProcess updater(UPDATER_PATH, {}, folder_.path());
    ASSERT_TRUE(updater.WaitForOutput(kOpened, 30000)) << updater.output();
    EXPECT_EQ(updater.output(), kBanner + kOpened) << "the first lines were held back until the search ended";
    EXPECT_TRUE(updater.RunsAfter(300));
    updater.Signal(SIGTERM);
    EXPECT_EQ(updater.Wait(30000), 130);
    EXPECT_EQ(WithoutServerAdvice(updater.output()),
              kBanner + kOpened + "\nInterrupted while looking for the device: no record was sent.\n\n");
}

TEST_F(EndToEnd, AReaderThatStopsReadingDoesNotStopTheUpdate) {
    // Its reader takes four lines and goes, before the first record: what
    // cannot be written any more is dropped. (Over the ALSA sequencer, where
    // the signal of a broken pipe once ended the update, the platforms'
    // test does the same.)
    std::unique_ptr<ChildProcess> sim = Simulator({"--accepted", Accepted()});
    EXPECT_EQ(RunBehindHead(folder_, UPDATER_PATH, 4, {"--batch"}), 0);
    EXPECT_EQ(sim->Stop(), 0);
    EXPECT_EQ(ReadBytes(Accepted()), image_);
}

TEST_F(EndToEnd, ADeviceBehindAMidiWireTakesRecordsLargerThanItsCardsBufferWhole) {
    // A record of 4096 data bytes is 8.9 KB on the wire, twice what the
    // card's buffer holds. JACK shows no buffer of a physical port's card:
    // the first record goes as fast as it comes, its tail is lost, and from
    // its next try on the image goes at the cable's pace, told once.
    Write(MakeImage(4100 + 260, 4096));
    std::unique_ptr<ChildProcess> sim = Simulator({"--wire", "3125", "--accepted", Accepted()});
    std::string transcript;
    const auto start = std::chrono::steady_clock::now();
    const std::string log = folder_.root() + "/run.log";
    EXPECT_EQ(RunIn(folder_, UPDATER_PATH, &transcript, {"--batch", "--log", log}), 0) << transcript;
    const std::string events = ReadText(log);
    EXPECT_NE(events.find(",\"link\":\"fast\"}"), std::string::npos) << events;
    EXPECT_NE(events.find(",\"link\":\"cable\",\"record\":1}"), std::string::npos) << events;
    // Never more than 2 KiB ahead of the cable then: 9.5 KB on it take 2.4 s
    // at least, after the first try's 5 s.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5000 + (9514 - 2048) * 1000 / 3125));
    EXPECT_EQ(sim->Stop(), 0);
    EXPECT_EQ(ReadBytes(Accepted()), image_);
    EXPECT_NE(sim->errors().find("did not fit the card's buffer"), std::string::npos) << "no byte was lost at first";
    const std::string advice = "went unanswered: the rest of the image goes at a cable's pace";
    EXPECT_EQ(transcript.find(advice), transcript.rfind(advice)) << transcript;
    EXPECT_NE(transcript.find(advice), std::string::npos) << transcript;
}

TEST_F(EndToEnd, WithAWaitADevicePluggedInAfterTheStartIsFound) {
    // On a terminal the wait shows; then the device comes, 3 s on.
    ChildProcess updater(UPDATER_PATH, {"--wait", "10"}, folder_.path(), ChildProcess::Console::kTerminal);
    ASSERT_TRUE(updater.WaitForOutput("Looking for the device: 2 s", 10000)) << updater.output();
    EXPECT_TRUE(updater.RunsAfter(1000));
    std::unique_ptr<ChildProcess> sim = Simulator({"--accepted", Accepted()});
    ASSERT_TRUE(updater.WaitForOutput("Press any key to continue", 30000)) << updater.output();
    updater.Signal(SIGINT);  // Ctrl-C at the final wait ends it quietly
    EXPECT_EQ(updater.Wait(10000), 0);
    EXPECT_NE(updater.output().find("Target update successfully!"), std::string::npos) << updater.output();
    EXPECT_EQ(sim->Stop(), 0);
    EXPECT_EQ(ReadBytes(Accepted()), image_);

    // Chosen by name before it is there.
    std::remove(Accepted().c_str());
    ChildProcess chosen(UPDATER_PATH, {"--batch", "--wait", "10", "--in", "Tessarine", "--out", "Tessarine"},
                        folder_.path());
    EXPECT_TRUE(chosen.RunsAfter(3000)) << chosen.output() << chosen.errors();
    sim = Simulator({"--accepted", Accepted()});
    EXPECT_EQ(chosen.Wait(30000), 0) << chosen.output() << chosen.errors();
    EXPECT_EQ(sim->Stop(), 0);
    EXPECT_EQ(ReadBytes(Accepted()), image_);
}

pid_t JackServer() {
    const char* server = std::getenv("WITH_JACK_SERVER_PID");
    EXPECT_NE(server, nullptr) << "run under scripts/with-jack";
    return server != nullptr ? static_cast<pid_t>(std::atoi(server)) : 0;
}

// Holds the server's cycles back for a while, as a busy machine may.
void StallServer(int milliseconds) {
    kill(JackServer(), SIGSTOP);
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    kill(JackServer(), SIGCONT);
}

TEST_F(EndToEnd, CyclesHeldBackLoseNoChunkAndAServerThatTakesNoneFailsTheSend) {
    // Other programs' port pairs on the server, listed before the device.
    std::unique_ptr<ChildProcess> others[] = {Simulator({"--name", "Other-A", "--fault", "id:*:silence"}),
                                              Simulator({"--name", "Other-B", "--fault", "id:*:silence"}),
                                              Simulator({"--name", "Other-C", "--fault", "id:*:silence"})};
    Write(MakeImage(65535, 256));
    std::unique_ptr<ChildProcess> sim = Simulator({"--accepted", Accepted()});
    ChildProcess updater(UPDATER_PATH, {"--batch"}, folder_.path());
    for (unsigned percent : {20, 50, 80}) {
        // A slow machine adds the rate to the line: its start is enough.
        ASSERT_TRUE(updater.WaitForOutput(BatchProgressStart(percent), 60000)) << updater.output();
        StallServer(200);
    }
    EXPECT_EQ(updater.Wait(60000), 0) << updater.output();
    sim->Stop();
    EXPECT_EQ(ReadBytes(Accepted()), image_) << "a chunk was lost while the server was held back";
    // The server reported the cycles it missed meanwhile: told once, on a
    // line of its own.
    const std::regex advice(Quoted("\n" + kMissedCyclesAdvice));
    EXPECT_EQ(std::distance(std::sregex_iterator(updater.output().begin(), updater.output().end(), advice),
                            std::sregex_iterator()),
              1)
        << updater.output();

    // Held back for longer than a send may wait: the send fails, and says so.
    Write(MakeImage(3000, 100));
    sim = Simulator({});
    ChildProcess stalled(UPDATER_PATH, {"--batch"}, folder_.path());
    ASSERT_TRUE(stalled.WaitForOutput(BatchProgress(0), 30000)) << stalled.output();
    StallServer(7000);
    EXPECT_EQ(stalled.Wait(30000), 5);
    EXPECT_TRUE(std::regex_match(stalled.output(), std::regex("[\\s\\S]*" + Quoted(kOutputMissing))))
        << stalled.output();
}

TEST_F(EndToEnd, TheMidiServiceStopsDuringTheTransfer) {
    Write(MakeImage(40000, 256));
    std::unique_ptr<ChildProcess> sim = Simulator({});
    ChildProcess updater(UPDATER_PATH, {}, folder_.path());
    ASSERT_TRUE(updater.WaitForOutput(Progress('\\', 1), 30000)) << updater.output();  // the third record
    kill(JackServer(), SIGKILL);
    // Not after twenty reply waits of five seconds, but at the next send.
    EXPECT_EQ(updater.Wait(30000), 0);
    EXPECT_TRUE(std::regex_match(updater.output(), std::regex(Quoted(kBanner + kOpened) + SimulatorFound() +
                                                              "[\\s\\S]*" + Quoted(kOutputMissing + kFinalWait))))
        << updater.output();
}

}  // namespace

namespace {

std::set<std::string> OptionsIn(const std::string& text) {
    static const std::regex option("--[a-z][a-z-]*");
    std::set<std::string> options;
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) options.insert(it->str());
    return options;
}

TEST(Manual, EachPageTheReadmeAndTheProgramsHelpNameTheSameOptions) {
    // roff writes a hyphen as \-; the README's table is under its heading.
    const std::string readme = ReadText(PROJECT_FOLDER "/README.md");
    const std::size_t table = readme.find("## For scripts and production lines");
    const struct {
        const char* program;
        std::string documented;
        // clang-format off
    } cases[] = {
        {UPDATER_PATH,
         std::regex_replace(ReadText(PROJECT_FOLDER "/man/tessarine-update.1.in"), std::regex(R"(\\-)"), "-")},
        {UPDATER_PATH, readme.substr(table, readme.find("## For developers") - table)},
        {SIM_PATH, std::regex_replace(ReadText(PROJECT_FOLDER "/man/tessarine-sim.1.in"), std::regex(R"(\\-)"), "-")},
    };
    // clang-format on
    for (const auto& c : cases) {
        TempFolder folder;
        std::string help;
        ASSERT_EQ(RunIn(folder, c.program, &help, {"--help"}), 0);
        EXPECT_EQ(OptionsIn(c.documented), OptionsIn(help)) << c.documented.substr(0, 60);
        EXPECT_GE(OptionsIn(help).size(), 6u) << c.program;
    }
}

}  // namespace
