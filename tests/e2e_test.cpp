// End to end: the real updater against the device simulator, over a real
// MIDI service (a JACK server of the test's own, started by with-jack).
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "support/console_text.h"
#include "support/program_run.h"
#include "support/sim_process.h"

namespace {

using namespace text;

const std::string kOpened = Opened("Corvilent.led");

using Bytes = std::vector<std::uint8_t>;

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The bytes of an image file's hexadecimal text.
Bytes Decoded(const Bytes& text) {
    Bytes bytes;
    std::string digits;
    for (char c : text) {
        if (!std::isspace(static_cast<unsigned char>(c))) digits += c;
    }
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// The progress lines of an update in which every record is accepted at once.
std::string ProgressOf(const Bytes& image) {
    const char glyphs[] = "--\\\\||//";
    std::string lines;
    std::size_t position = 0;
    for (std::size_t record = 0; position < image.size(); ++record) {
        lines += Progress(glyphs[record % 8], static_cast<unsigned>(position * 100 / image.size()));
        position += image[position] * 256u + image[position + 1] + 2u;
    }
    return lines;
}

// The search's report, with the names the MIDI service gave the
// simulator's ports.
std::string Found() {
    return "The Update Device is Open successfully:\n"
           "MIDIIN Device: Tessarine[^\n]*device out[^\n]*\n"
           "MIDIOUT Device: Tessarine[^\n]*device in[^\n]*\n";
}

std::string Quoted(const std::string& text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

class EndToEnd : public testing::Test {
protected:
    void SetUp() override {
        std::string made;
        ASSERT_EQ(RunIn(folder_, SIM_PATH, &made, {"--make-image", "Corvilent.led", "--size", "3000", "--record-size", "100"}),
                  0)
            << made;
        image_ = Decoded(ReadBytes(folder_.path() + "/Corvilent.led"));
        ASSERT_EQ(image_.size(), 3000u);
    }

    // Runs the simulator with `options`, and the updater beside it.
    std::string Update(std::vector<std::string> options) {
        options.insert(options.end(), {"--accepted", accepted(), "--timeout", "120"});
        SimProcess sim(SIM_PATH, options);
        EXPECT_TRUE(sim.ready()) << "the simulator did not start";
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
    EXPECT_TRUE(std::regex_match(transcript, std::regex(Quoted(kBanner + kOpened) + Found() +
                                                        Quoted(ProgressOf(image_) + kCompleted + kFinalWait))))
        << transcript;
    EXPECT_EQ(Accepted(), image_);
}

TEST_F(EndToEnd, CrcErrorsThenAccept) {
    const std::string transcript = Update({"--fault", "0:0:status=20", "--fault", "0:1:status=20"});
    const std::string first = Progress('-', 0);
    const std::string progress = ProgressOf(image_);
    EXPECT_TRUE(std::regex_match(transcript, std::regex(Quoted(kBanner + kOpened) + Found() +
                                                        Quoted(first + kCrcError + first + kCrcError + progress + kCompleted +
                                                               kFinalWait))))
        << transcript;
    EXPECT_EQ(Accepted(), image_);
}

TEST_F(EndToEnd, RestartOnTheLastRecord) {
    const std::string transcript = Update({"--restart-after", std::to_string(image_.size())});
    EXPECT_TRUE(std::regex_match(transcript, std::regex(Quoted(kBanner + kOpened) + Found() +
                                                        Quoted(ProgressOf(image_) + kRestarted + kFinalWait))))
        << transcript;
    EXPECT_EQ(Accepted(), image_);
}

TEST_F(EndToEnd, ResetRequest) {
    const std::string transcript = Update({"--id", "15"});
    EXPECT_TRUE(std::regex_match(transcript, std::regex(Quoted(kBanner + kOpened) + Found() +
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

}  // namespace
