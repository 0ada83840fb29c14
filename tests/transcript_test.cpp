// The real binary, run as a user would in a folder of its own: its whole
// transcript for every way the file stage can end, what the command line
// does before any of that, the final wait on a terminal, and the manual
// pages against --help. Beside a JACK server of the test's own, where no
// device answers unless a test starts the simulator.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>

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
        std::vector<std::string> arguments;
        std::string ending;
    } cases[] = {
        {{{"Corvilent.txt", kValidImage}}, {}, kNotFound},
        // Only the first, in the order NTFS lists names: by their upper-cased
        // letters, so "_" comes after the letters, lower case or not.
        {{{"Corvilent.led", kValidImage}, {"alpha.led", kValidImage}}, {}, kNoFitFile},
        {{{"_old.led", kValidImage}, {"Corvilent.led", kValidImage}}, {}, Opened("Corvilent.led") + kNoDevice},
        {{{"CORVILENT_b.led", kValidImage}, {"corvilenta.led", kValidImage}}, {}, Opened("corvilenta.led") + kNoDevice},
        // Names equal but for case (NTFS would not hold both): byte order,
        // whichever the folder lists first (several pairs, as it lists them
        // in an order of its own).
        {{{"corvilent.led", kValidImage}, {"CORVILENT.led", kValidImage}}, {}, Opened("CORVILENT.led") + kNoDevice},
        {{{"corvilent2.led", kValidImage}, {"CORVILENT2.led", kValidImage}}, {}, Opened("CORVILENT2.led") + kNoDevice},
        {{{"corvilentx.led", kValidImage}, {"CORVILENTx.led", kValidImage}}, {}, Opened("CORVILENTx.led") + kNoDevice},
        // The prefix in any letter case, but all nine letters of it.
        {{{"corvilent.LED", kValidImage}}, {}, Opened("corvilent.LED") + kNoDevice},
        {{{"Corvilen_t.led", kValidImage}}, {}, kNoFitFile},
        {{{"xCorvilent.led", kValidImage}}, {}, kNoFitFile},
        {{{"Dorvilent.led", kValidImage}}, {}, kNoFitFile},
        {{{"Corvilent.led", kFolder}}, {}, "Error: File 'Corvilent.led' is not found.\n\n"},
        {{{"Corvilent.led", kLinkNowhere}}, {}, "Error: File 'Corvilent.led' is not found.\n\n"},
        // A name too long for 99 characters is kept whole.
        {{{longName, kValidImage}}, {}, Opened(longName) + kNoDevice},
        {{{"Corvilent.led", kValidImage + "; built 2026-12-07\nFFFF\n"}}, {}, Opened("Corvilent.led") + kNoDevice},
        {{{"Corvilent.led", kValidImage + "\x1A"}}, {}, Opened("Corvilent.led") + kNoDevice},
        // Other text between two records: the first must not go alone. A
        // sign and a 0x are no hexadecimal digits.
        {{{"Corvilent.led", kValidImage + "next:\n" + kValidImage}}, {}, Opened("Corvilent.led") + kBadImage},
        {{{"Corvilent.led", "-" + kValidImage}}, {}, Opened("Corvilent.led") + kBadImage},
        {{{"Corvilent.led", "0x00 0x04 0x01 0x02 0xFD 0xFF"}}, {}, Opened("Corvilent.led") + kBadImage},
        {{{"Corvilent.led", "00 04 01 02 FF FD"}}, {}, Opened("Corvilent.led") + kBadImage},
        {{{"Corvilent.led", ""}}, {}, Opened("Corvilent.led") + kBadImage},
        {{{"Corvilent.led", "firmware 0004 0102 FDFF"}}, {}, Opened("Corvilent.led") + kBadImage},
        {{{"Corvilent.led", "0006 0102 FDFF"}}, {}, Opened("Corvilent.led") + kBadImage},
        {{{"Corvilent.led", largest}}, {}, Opened("Corvilent.led") + kNoDevice},
        {{{"Corvilent.led", largest + "00"}}, {}, Opened("Corvilent.led") + kBadImage},
        // A byte-order mark at the very start, as Windows Notepad writes it,
        // is no text of the image; a second one is, and so is part of one.
        {{{"Corvilent.led", "\xEF\xBB\xBF" + kValidImage}}, {}, Opened("Corvilent.led") + kNoDevice},
        {{{"Corvilent.led", "\xEF\xBB\xBF\xEF\xBB\xBF" + kValidImage}}, {}, Opened("Corvilent.led") + kBadImage},
        {{{"Corvilent.led", "\xEF\xBB" + kValidImage}}, {}, Opened("Corvilent.led") + kBadImage},
        {{{"Corvilent.led", "0\xBB\xBF" + kValidImage}}, {}, Opened("Corvilent.led") + kBadImage},
        // Control characters of a name are shown, not obeyed.
        {{{"Corvilent\x1B[2J\x7F.led", kValidImage}}, {}, Opened("Corvilent\\x1B[2J\\x7F.led") + kNoDevice},
        {{}, {"Corvilent\a.led"}, "Error: File 'Corvilent\\x07.led' is not found.\n\n"},
        // An image named on the command line, with its path as given: its
        // own name must still have the prefix; the folder's is not looked at.
        {{{"Corvilent.led", kValidImage}}, {"../Corvilent-kept.led"}, "Error: File '../Corvilent-kept.led' is not found.\n\n"},
        {{{"Corvilent.led", kValidImage}}, {"Firmware.led"}, kNoFitFile},
        {{{"Corvilent", kFolder}, {"Corvilent/fw.led", kValidImage}}, {"Corvilent/fw.led"}, kNoFitFile},
        {{{"fw", kFolder}, {"fw/corvilent-2.led", kValidImage}}, {"fw/corvilent-2.led"},
         Opened("fw/corvilent-2.led") + kNoDevice},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        for (const auto& [name, content] : c.files) {
            if (content == kFolder) folder.MakeFolder(name);
            else if (content == kLinkNowhere) folder.MakeLink(name, "nowhere.txt");
            else folder.WriteFile(name, content);
        }
        std::string transcript;
        EXPECT_EQ(RunIn(folder, UPDATER_PATH, &transcript, c.arguments), 0);
        EXPECT_EQ(WithoutServerAdvice(transcript), kBanner + c.ending + kFinalWait) << ::testing::PrintToString(c.arguments) << c.ending;
    }
}

TEST(CommandLine, NothingButARunForAnUpdateTouchesTheDevice) {
    // The device is there, and so is a valid image: what the command line
    // asks for alone may happen.
    ChildProcess device(SIM_PATH, {"--verbose", "--timeout", "120"});
    ASSERT_TRUE(device.WaitForOutput("ready", 10000));
    TempFolder folder;
    folder.WriteFile("Corvilent.led", kValidImage);
    const std::string usage = "^Usage: tessarine-update [\\s\\S]*--help[\\s\\S]*";
    const std::string listing = "MIDI inputs:\n  0: Tessarine[^\n]*device out\nMIDI outputs:\n  0: Tessarine[^\n]*device in\n";
    const std::string hint = " \\(see tessarine-update --help\\)\n";
    // GNU's form: the name and version, then the licence.
    const std::string version = "tessarine-update " TESSARINE_VERSION "\nCopyright \\(C\\) 2026 [^\n]*\nLicense MIT: "
                                "[^\n]*\nThis is free software[^\n]*\nThere is NO WARRANTY[^\n]*\n";
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string output;  // regular expressions
        std::string errors;
    } cases[] = {
        {{"--help"}, 0, usage, ""},
        {{"-h"}, 0, usage, ""},
        {{"--version"}, 0, version, ""},
        {{"-V", "--batch"}, 0, version, ""},
        {{"--list"}, 0, listing, ""},
        {{"--bogus", "--help"}, 2, "", "tessarine-update: unknown option '--bogus'" + hint},
        {{"-x"}, 2, "", "tessarine-update: unknown option '-x'" + hint},
        {{"--batch", "--in"}, 2, "", "tessarine-update: --in needs a PORT: [^\n]*" + hint},
        {{"--out="}, 2, "", "tessarine-update: --out needs a PORT: [^\n]*" + hint},
        {{"a.led", "Corvilent.led"}, 2, "", "tessarine-update: one image at a time: 'a.led' and 'Corvilent.led' given" + hint},
        // A port that names none is no device (unplugged since it was listed).
        {{"--out", "synth"}, 3, "",
         "tessarine-update: --out 'synth' names no MIDI output; the candidates: 0 'Tessarine[^\n]*device in'" + hint},
        // A log that cannot be written.
        {{"--log", "no-such-folder/run.log"}, 2, "",
         "tessarine-update: cannot write the log 'no-such-folder/run.log': No such file or directory" + hint},
        // The number one past the last port's.
        {{"--in", "1", "--batch"}, 3, "", "tessarine-update: --in '1' names no MIDI input; the candidates: 0 'Tessarine[^\n]*'" + hint},
    };
    for (const auto& c : cases) {
        const std::string line = ::testing::PrintToString(c.arguments);
        std::string output, errors;
        EXPECT_EQ(RunIn(folder, UPDATER_PATH, &output, c.arguments, &errors), c.status) << line;
        EXPECT_TRUE(std::regex_match(output, std::regex(c.output))) << line << "\n" << output;
        EXPECT_TRUE(std::regex_match(errors, std::regex(c.errors))) << line << "\n" << errors;
    }
    EXPECT_TRUE(device.RunsAfter(200));
    EXPECT_EQ(device.errors(), "") << "the device received a message";
}

TEST(FileStage, WithNoMidiServiceTheRunSaysWhatToDo) {
    TempFolder folder;
    folder.WriteFile("Corvilent.led", kValidImage);
    std::string transcript;
    EXPECT_EQ(RunIn(folder, "/usr/bin/env", &transcript, {"JACK_DEFAULT_SERVER=none", UPDATER_PATH}), 0);
    const std::string advice =
        "No MIDI service can be reached: load the ALSA sequencer (sudo modprobe snd-seq) or start a JACK server, "
        "then try again.\n";
    EXPECT_EQ(transcript, kBanner + Opened("Corvilent.led") + advice + kNoDevice + kFinalWait);
    // The listing says the same.
    EXPECT_EQ(RunIn(folder, "/usr/bin/env", &transcript, {"JACK_DEFAULT_SERVER=none", UPDATER_PATH, "--list"}), 0);
    EXPECT_EQ(transcript, "MIDI inputs:\nMIDI outputs:\n" + advice);
}

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

TEST(FinalWait, OneWholeKeyTypedAfterThePromptEndsIt) {
    // The device never answers the search: a few seconds to type ahead.
    ChildProcess device(SIM_PATH, {"--fault", "id:*:silence"});
    ASSERT_TRUE(device.WaitForOutput("ready", 10000));
    TempFolder folder;
    folder.WriteFile("Corvilent.led", kValidImage);
    ChildProcess updater(UPDATER_PATH, {}, folder.path(), ChildProcess::Console::kTerminal);
    // A terminal another program left reading without waiting.
    termios before = updater.startSettings();
    before.c_cc[VMIN] = 0;
    ASSERT_EQ(tcsetattr(updater.terminal(), TCSANOW, &before), 0);
    updater.Type("abc\n");  // while it searches
    ASSERT_TRUE(AtThePrompt(updater)) << updater.output();
    EXPECT_TRUE(updater.RunsAfter(300)) << "a key typed before the prompt answered it";
    // Ctrl-Z, then fg: meanwhile the shell had the terminal its way.
    updater.Signal(SIGSTOP);
    ASSERT_EQ(tcsetattr(updater.terminal(), TCSANOW, &before), 0);
    updater.Signal(SIGCONT);
    ASSERT_TRUE(TakesAKey(updater)) << "the terminal was not set again after fg";
    updater.Type("\x1B[A");  // an arrow: one key of three bytes
    EXPECT_EQ(updater.Wait(5000), 0) << "a key did not end it";
    ExpectTheTerminalAsItWas(updater, before);
}

TEST(FinalWait, OneByteOrCtrlCEndsItQuietly) {
    // A key, Ctrl-C as a key, or Ctrl-C as the terminal's signal after
    // Ctrl-Z and fg, when no key comes.
    for (const char* key : {"x", "\x03", ""}) {
        TempFolder folder;  // no image: the run goes straight to the final wait
        ChildProcess updater(UPDATER_PATH, {}, folder.path(), ChildProcess::Console::kTerminal);
        ASSERT_TRUE(AtThePrompt(updater)) << updater.output();
        if (*key == '\0') {
            updater.Signal(SIGSTOP);
            // Meanwhile the shell has the terminal its way; once set again,
            // the program has taken the SIGCONT.
            ASSERT_EQ(tcsetattr(updater.terminal(), TCSANOW, &updater.startSettings()), 0);
            updater.Signal(SIGCONT);
            ASSERT_TRUE(TakesAKey(updater));
            updater.Signal(SIGINT);
        }
        updater.Type(key);
        EXPECT_EQ(updater.Wait(5000), 0) << int(key[0]);
        const std::string ending = "\r\n" + kFinalWait.substr(0, 32) + "\r\n";
        EXPECT_EQ(updater.output().substr(updater.output().size() - ending.size()), ending);
        ExpectTheTerminalAsItWas(updater, updater.startSettings());
    }
}

std::set<std::string> OptionsIn(const std::string& text) {
    static const std::regex option("--[a-z][a-z-]*");
    std::set<std::string> options;
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it) options.insert(it->str());
    return options;
}

TEST(Manual, EachPageAndItsProgramsHelpNameTheSameOptions) {
    const std::pair<const char*, const char*> programs[] = {{UPDATER_PATH, UPDATER_MANUAL}, {SIM_PATH, SIM_MANUAL}};
    for (const auto& [program, manual] : programs) {
        TempFolder folder;
        std::string help;
        ASSERT_EQ(RunIn(folder, program, &help, {"--help"}), 0);
        std::stringstream roff;
        roff << std::ifstream(manual).rdbuf();
        // roff writes a hyphen as \-.
        EXPECT_EQ(OptionsIn(std::regex_replace(roff.str(), std::regex(R"(\\-)"), "-")), OptionsIn(help)) << manual;
        EXPECT_GE(OptionsIn(help).size(), 6u) << program;
    }
}

}  // namespace
