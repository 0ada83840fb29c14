// The real updater on a terminal of its own, as a user at a console window
// has it: the final wait, a long wait shown on the progress line, and
// Ctrl-C.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>

#include "support/child_process.h"
#include "support/console_text.h"
#include "support/expected_update.h"

namespace {

using text::kFinalWait;

// The terminal's settings are those it had before the run, and no key is
// left on it for the shell.
void ExpectTheTerminalAsItWas(const ChildProcess& updater, const termios& before) {
    termios after;
    ASSERT_EQ(tcgetattr(updater.terminal(), &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);
    int unread = -1;
    ASSERT_EQ(ioctl(updater.terminal(), FIONREAD, &unread), 0);
    EXPECT_EQ(unread, 0) << "keys were left for the shell";
}

// The terminal is set to take a key (what is typed before that is dropped).
bool TakesAKey(ChildProcess& updater) {
    termios settings;
    for (int tries = 0; tries < 100 && tcgetattr(updater.terminal(), &settings) == 0; ++tries) {
        if ((settings.c_lflag & ICANON) == 0) return true;
        updater.RunsAfter(10);
    }
    return false;
}

bool AtThePrompt(ChildProcess& updater) {
    return updater.WaitForOutput(kFinalWait.substr(0, 31), 10000) && TakesAKey(updater);
}

// Back from Ctrl-Z and fg: meanwhile the shell had the terminal its way.
void StopAndContinue(ChildProcess& updater, const termios& shells) {
    updater.Signal(SIGSTOP);
    ASSERT_EQ(tcsetattr(updater.terminal(), TCSANOW, &shells), 0);
    updater.Signal(SIGCONT);
    ASSERT_TRUE(TakesAKey(updater)) << "the terminal was not set again after fg";
}

TEST(Terminal, OneWholeKeyTypedAfterThePromptEndsTheFinalWait) {
    // The device never answers the search: a few seconds to type ahead.
    ChildProcess device(SIM_PATH, {"--fault", "id:*:silence"});
    ASSERT_TRUE(device.WaitForOutput("ready", 10000));
    TempFolder folder;
    folder.WriteFile("Corvilent.led", "00 04 01 02 FD FF\n");
    ChildProcess updater(UPDATER_PATH, {}, folder.path(), ChildProcess::Console::kTerminal);
    // A terminal another program left reading without waiting.
    termios before = updater.startSettings();
    before.c_cc[VMIN] = 0;
    ASSERT_EQ(tcsetattr(updater.terminal(), TCSANOW, &before), 0);
    updater.Type("abc\n");  // while it searches
    ASSERT_TRUE(AtThePrompt(updater)) << updater.output();
    EXPECT_TRUE(updater.RunsAfter(300)) << "a key typed before the prompt answered it";
    StopAndContinue(updater, before);
    updater.Type("\x1B[A");  // an arrow: one key of three bytes
    EXPECT_EQ(updater.Wait(5000), 0) << "a key did not end it";
    ExpectTheTerminalAsItWas(updater, before);
}

TEST(Terminal, OneByteOrCtrlCEndsTheFinalWaitQuietly) {
    // A key, Ctrl-C as a key, or Ctrl-C as the terminal's signal after
    // Ctrl-Z and fg, when no key comes.
    for (const char* key : {"x", "\x03", ""}) {
        TempFolder folder;  // no image: the run goes straight to the final wait
        ChildProcess updater(UPDATER_PATH, {}, folder.path(), ChildProcess::Console::kTerminal);
        ASSERT_TRUE(AtThePrompt(updater)) << updater.output();
        if (*key == '\0') {
            StopAndContinue(updater, updater.startSettings());
            updater.Signal(SIGINT);
        }
        updater.Type(key);
        EXPECT_EQ(updater.Wait(5000), 0) << int(key[0]);
        const std::string ending = "\r\n" + kFinalWait.substr(0, 32) + "\r\n";
        EXPECT_EQ(updater.output().substr(updater.output().size() - ending.size()), ending);
        ExpectTheTerminalAsItWas(updater, updater.startSettings());
    }
}

TEST(Terminal, ALongWaitShowsAndCtrlCStopsTheRunCleanly) {
    // The device does not answer the first record.
    ChildProcess sim(SIM_PATH, {"--fault", "0:0:silence", "--timeout", "60"});
    ASSERT_TRUE(sim.WaitForOutput("ready", 10000));
    TempFolder folder;
    folder.WriteFile("Corvilent.led", ImageText(MakeImage(3000, 100)));
    ChildProcess updater(UPDATER_PATH, {}, folder.path(), ChildProcess::Console::kTerminal);
    for (const char* second : {"1", "2"}) {
        ASSERT_TRUE(updater.WaitForOutput(
            std::string("Transferring.. - 0% done - Waiting for the device: ") + second + " s", 10000))
            << updater.output();
    }
    updater.Type("\x03");
    EXPECT_EQ(updater.Wait(5000), 130);
    const std::string ending =
        "\rTransferring.. - 0% done\r\nInterrupted at record 1 (0% done).\r\n"
        "The device holds an incomplete image: run the update again before using the device.\r\n\r\n";
    const std::string& output = updater.output();
    EXPECT_EQ(output.substr(output.size() - std::min(ending.size(), output.size())), ending);
    // It closed its ports: the server does not list them.
    ChildProcess ports("/usr/bin/jack_lsp", {});
    EXPECT_EQ(ports.Wait(5000), 0);
    EXPECT_EQ(ports.output().find("tessarine-update"), std::string::npos) << ports.output();
}

}  // namespace
