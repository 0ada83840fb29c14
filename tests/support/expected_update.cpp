#include "support/expected_update.h"

#include <fstream>
#include <iterator>
#include <regex>

#include "support/console_text.h"

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Quoted(const std::string& text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

std::string SimulatorFound() {
    return "The Update Device is Open successfully:\n"
           "MIDIIN Device: Tessarine[^\n]*device out[^\n]*\n"
           "MIDIOUT Device: Tessarine[^\n]*device in[^\n]*\n";
}

std::string UpdateOf(const Bytes& image, const std::string& ending, const FailedTries& failed) {
    std::string lines;
    std::size_t position = 0;
    for (std::size_t record = 0; position < image.size(); ++record) {
        const std::string line = text::Progress("--\\\\||//"[record % 8], static_cast<unsigned>(position * 100 / image.size()));
        lines += line;
        const auto tries = failed.find(record);
        if (tries != failed.end()) {
            for (const std::string& said : tries->second) lines += said + line;
        }
        position += image[position] * 256u + image[position + 1] + 2u;
    }
    return Quoted(text::kBanner + text::Opened("Corvilent.led")) + SimulatorFound() + Quoted(lines + ending);
}
