#include "support/expected_update.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <regex>

#include "support/console_text.h"

std::string Quoted(const std::string& text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

std::string ProgressOf(const Bytes& image, const FailedTries& failed) {
    const char glyphs[] = "--\\\\||//";
    const std::vector<std::size_t> positions = RecordsOf(image);
    std::string lines;
    for (std::size_t record = 0; record < positions.size(); ++record) {
        const unsigned percent = static_cast<unsigned>(positions[record] * 100 / image.size());
        const std::string line = text::Progress(glyphs[record % 8], percent);
        lines += line;
        const auto tries = failed.find(record);
        if (tries == failed.end()) continue;
        for (const std::string& said : tries->second) lines += said + line;
    }
    return lines;
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes ImageOfFile(const std::string& path) {
    std::string digits;
    for (std::uint8_t c : ReadBytes(path)) {
        if (!std::isspace(c)) digits += static_cast<char>(c);
    }
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::vector<std::size_t> RecordsOf(const Bytes& image) {
    std::vector<std::size_t> positions;
    std::size_t position = 0;
    while (position < image.size()) {
        positions.push_back(position);
        position += image[position] * 256u + image[position + 1] + 2u;
    }
    return positions;
}

std::string SimulatorFound() {
    return "The Update Device is Open successfully:\n"
           "MIDIIN Device: Tessarine[^\n]*device out[^\n]*\n"
           "MIDIOUT Device: Tessarine[^\n]*device in[^\n]*\n";
}

std::string UpdateOf(const Bytes& image, const std::string& ending, const FailedTries& failed) {
    return Quoted(text::kBanner + text::Opened("Corvilent.led")) + SimulatorFound() +
           Quoted(ProgressOf(image, failed) + ending);
}
