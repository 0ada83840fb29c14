// Whole updates over the MIDI services of the program's users, run in a
// virtual machine by scripts/test-platforms: the Linux build over the
// kernel's ALSA sequencer, and the Windows build under Wine through winmm,
// which Wine maps to the same sequencer; and the web page in Chromium over
// its own Web MIDI, on the same sequencer. Midi Through and four virmidi
// ports are listed before the simulator's. And the demo and the test suite
// beside a device attached over that sequencer.
#include <glob.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <regex>

#include "support/child_process.h"
#include "support/console_text.h"
#include "support/expected_update.h"

namespace {

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// A 16 KiB update of the simulator by `program`; its exit status goes to
// `status`, and its transcript and the simulator's accepted bytes are
// checked. The time the search took is told.
void ExpectTheWholeImage(const std::string& program, const std::vector<std::string>& arguments, int* status) {
    ASSERT_EQ(access("/dev/snd/seq", R_OK | W_OK), 0) << "no ALSA sequencer here";
    TempFolder folder;
    const Bytes image = MakeImage(16384, 256);
    folder.WriteFile("Corvilent.led", ImageText(image));
    ChildProcess sim(SIM_PATH, {"--accepted", folder.root() + "/accepted.bin", "--timeout", "900"});
    ASSERT_TRUE(sim.WaitForOutput("ready", 10000)) << sim.output();
    const auto start = std::chrono::steady_clock::now();
    ChildProcess run(program, arguments, folder.path());
    if (run.WaitForOutput("The Update Device is Open", 60000)) {
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("from the start to the search's report: %.1f s\n", took.count());
    }
    *status = run.Wait(10 * 60 * 1000);
    std::string transcript = run.output();
    EXPECT_EQ(sim.Stop(), 0);
    // The console's line ends on Windows, and the wording of Wine's "pause".
    transcript = Replaced(transcript, "\r\n", "\n");
    transcript = Replaced(transcript, "Press any key to continue... ", text::kFinalWait);
    const std::string expected = Quoted(text::kBanner + text::Opened("Corvilent.led")) + SimulatorFound() +
                                 Quoted(TransferLines(image) + text::kCompleted + text::kFinalWait);
    EXPECT_TRUE(std::regex_match(transcript, std::regex(expected))) << transcript;
    EXPECT_EQ(ReadBytes(folder.root() + "/accepted.bin"), image);
}

TEST(Platform, TheLinuxBuildUpdatesOverTheAlsaSequencer) {
    int status = -1;
    ExpectTheWholeImage(UPDATER_PATH, {}, &status);
    EXPECT_EQ(status, 0);
}

TEST(Platform, ADeviceBehindAMidiWireTakesRecordsLargerThanItsCardsBufferWhole) {
    ASSERT_EQ(access("/dev/snd/seq", R_OK | W_OK), 0) << "no ALSA sequencer here";
    // The device reads the first virtual raw MIDI device no faster than a
    // 5-pin wire carries; its kernel buffer (4 KiB) drops what overflows.
    // A record of 4096 data bytes is 8.9 KB on that wire.
    glob_t found = {};
    ASSERT_EQ(glob("/dev/snd/midiC*D0", 0, nullptr, &found), 0) << "no virmidi card";
    const std::string device = found.gl_pathv[0];
    globfree(&found);
    const std::string port = "Virtual Raw MIDI " + device.substr(device.find("midiC") + 5, 1) + "-0";
    TempFolder folder;
    const Bytes image = MakeImage(16384, 4096);
    folder.WriteFile("Corvilent.led", ImageText(image));
    ChildProcess sim(SIM_PATH, {"--rawmidi", device, "--wire", "3125", "--accepted", folder.root() + "/accepted.bin",
                                "--timeout", "900"});
    ASSERT_TRUE(sim.WaitForOutput("ready", 10000)) << sim.errors();
    std::size_t wireBytes = 0;
    for (std::size_t at = 0; at < image.size(); at += image[at] * 256u + image[at + 1] + 2) {
        const std::size_t text = std::size_t{2} * (image[at] * 256u + image[at + 1] + 2);
        wireBytes += text + 2 * ((text + 21) / 22);
    }
    const auto start = std::chrono::steady_clock::now();
    std::string transcript;
    EXPECT_EQ(RunIn(folder, UPDATER_PATH, &transcript, {"--batch", "--in", port, "--out", port}), 0) << transcript;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("16 KiB in records of 4096 bytes behind a wire: %.1f s, the wire's floor %.1f s\n", took.count(),
                wireBytes / 3125.0);
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_EQ(ReadBytes(folder.root() + "/accepted.bin"), image);
}

TEST(Platform, AReaderThatStopsReadingDoesNotStopTheUpdate) {
    ASSERT_EQ(access("/dev/snd/seq", R_OK | W_OK), 0) << "no ALSA sequencer here";
    TempFolder folder;
    const Bytes image = MakeImage(8192, 256);
    folder.WriteFile("Corvilent.led", ImageText(image));
    ChildProcess sim(SIM_PATH, {"--accepted", folder.root() + "/accepted.bin", "--timeout", "900"});
    ASSERT_TRUE(sim.WaitForOutput("ready", 10000)) << sim.output();
    // Its reader takes eight lines and goes, in the middle of the transfer.
    EXPECT_EQ(RunBehindHead(folder, UPDATER_PATH, 8, {"--batch"}), 0);
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_EQ(ReadBytes(folder.root() + "/accepted.bin"), image);
}

TEST(Platform, TheWindowsBuildUpdatesThroughWinmmUnderWine) {
    const char* exe = std::getenv("TESSARINE_WINDOWS_EXE");
    ASSERT_NE(exe, nullptr) << "TESSARINE_WINDOWS_EXE names the Windows build";
    int status = -1;
    ExpectTheWholeImage("/usr/lib/wine/wine64", {exe}, &status);
    // Wine 8 crashes now and then in its own MIDI thread while the process
    // exits, after the whole transcript: told, not judged.
    std::printf("wine's exit status: %d\n", status);
}

TEST(Platform, TheWebPageUpdatesOverChromiumsOwnWebMidi) {
    ASSERT_EQ(access("/dev/snd/seq", R_OK | W_OK), 0) << "no ALSA sequencer here";
    ChildProcess page(
        "/usr/bin/node",
        {PROJECT_FOLDER "/tests/web/run-alsa.js", PROJECT_FOLDER "/build-web/site", SIM_PATH, UPDATER_PATH},
        PROJECT_FOLDER);
    EXPECT_EQ(page.Wait(15 * 60 * 1000), 0) << page.output() << page.errors();
    std::printf("%s", page.output().c_str());
}

TEST(Platform, TheDemoAndTheTestSuiteNeverReachAnAttachedDevice) {
    // A simulator over the ALSA sequencer stands in for the device a
    // firmware developer has attached while running them.
    ASSERT_EQ(access("/dev/snd/seq", R_OK | W_OK), 0) << "no ALSA sequencer here";
    ChildProcess attached(SIM_PATH, {"--verbose", "--timeout", "3600"});
    ASSERT_TRUE(attached.WaitForOutput("ready", 10000)) << attached.output();
    const std::pair<const char*, const char*> runs[] = {
        {"scripts/demo", "\nTarget update successfully!\n"},
        {"scripts/test", "100% tests passed"},
    };
    for (const auto& [script, success] : runs) {
        ChildProcess run(PROJECT_FOLDER "/" + std::string(script), {}, PROJECT_FOLDER);
        EXPECT_EQ(run.Wait(50 * 60 * 1000), 0) << script;
        EXPECT_NE(run.output().find(success), std::string::npos) << script << ":\n" << run.output();
    }
    attached.Stop();
    EXPECT_EQ(attached.output().find("received"), std::string::npos) << attached.output();
}

}  // namespace
