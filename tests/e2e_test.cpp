// End to end: the real updater against the device simulator, over a real
// MIDI service (a JACK server of the test's own, started by with-jack).
#include <gtest/gtest.h>

#include <fstream>
#include <map>
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

// The records' positions in the image.
std::vector<std::size_t> RecordsOf(const Bytes& image) {
    std::vector<std::size_t> positions;
    std::size_t position = 0;
    while (position < image.size()) {
        positions.push_back(position);
        position += image[position] * 256u + image[position + 1] + 2u;
    }
    return positions;
}

// The progress lines of an update in which every record is accepted at its
// first try, but for those `failed` names: for each, what its failed tries
// print (nothing for a silence), each followed by the record's line again.
std::string ProgressOf(const Bytes& image, const std::map<std::size_t, std::vector<std::string>>& failed = {}) {
    const char glyphs[] = "--\\\\||//";
    const std::vector<std::size_t> positions = RecordsOf(image);
    std::string lines;
    for (std::size_t record = 0; record < positions.size(); ++record) {
        const unsigned percent = static_cast<unsigned>(positions[record] * 100 / image.size());
        const std::string line = Progress(glyphs[record % 8], percent);
        lines += line;
        const auto tries = failed.find(record);
        if (tries == failed.end()) continue;
        for (const std::string& said : tries->second) lines += said + line;
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
    const std::string progress = ProgressOf(image_, {{0, {kCrcError, kCrcError}}});
    EXPECT_TRUE(std::regex_match(transcript, std::regex(Quoted(kBanner + kOpened) + Found() +
                                                        Quoted(progress + kCompleted + kFinalWait))))
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
    const std::string progress = ProgressOf(image_, {{0, {""}}, {1, {kCrcError}}});
    EXPECT_TRUE(std::regex_match(transcript, std::regex(Quoted(kBanner + kOpened) + Found() +
                                                        Quoted(progress + kCompleted + kFinalWait))))
        << transcript;
    EXPECT_EQ(Accepted(), image_);
}

TEST_F(EndToEnd, LateAnswerThenRefusalOfTheLastRecord) {
    const std::size_t last = RecordsOf(image_).size() - 1;
    const std::string transcript = Update({"--fault", "0:0:busy=6000", "--store-time", "20", "--fault",
                                           std::to_string(last) + ":0:status=20"});
    const std::string progress = ProgressOf(image_, {{0, {""}}, {last, {kCrcError}}});
    EXPECT_TRUE(std::regex_match(transcript, std::regex(Quoted(kBanner + kOpened) + Found() +
                                                        Quoted(progress + kCompleted + kFinalWait))))
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
