#include "support/expected_update.h"

#include <fstream>
#include <iterator>
#include <regex>

#include "support/console_text.h"

std::string TransferLines(const Bytes& image, const FailedTries& failed, const Shown& shown) {
    std::string lines;
    int toldTenth = -1;
    std::size_t position = 0;
    for (std::size_t record = 0; position < image.size() && record < shown.records; ++record) {
        const unsigned percent = static_cast<unsigned>(position * 100 / image.size());
        std::string line = text::Progress("--\\\\||//"[record % 8], percent);
        if (shown.batch) line = static_cast<int>(percent / 10) == toldTenth ? "" : text::BatchProgress(percent);
        toldTenth = static_cast<int>(percent / 10);
        const auto tries = failed.find(record);
        if (tries != failed.end()) {
            for (const std::string& said : tries->second) {
                lines += line + said;
                if (shown.batch) line.clear();
            }
        }
        if (record + 1 < shown.records || shown.lastAccepted) lines += line;
        position += image[position] * 256u + image[position + 1] + 2u;
    }
    return lines;
}

Bytes ImageOfRecords(const std::vector<std::size_t>& sizes) {
    Bytes image;
    std::uint8_t next = 0x40;
    for (std::size_t size : sizes) {
        Bytes data(size - 4);
        for (std::uint8_t& b : data) b = next++;
        const Bytes record = MakeRecord(data);
        image.insert(image.end(), record.begin(), record.end());
    }
    return image;
}

std::size_t RecordsOf(const Bytes& image) {
    std::size_t records = 0;
    for (std::size_t position = 0; position < image.size();
         position += image[position] * 256u + image[position + 1] + 2u) {
        ++records;
    }
    return records;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

Bytes ReadBytes(const std::string& path) {
    const std::string text = ReadText(path);
    return Bytes(text.begin(), text.end());
}

std::string Quoted(const std::string& text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

std::string SimulatorFound(const std::string& client) {
    return "The Update Device is Open successfully:\n"
           "MIDIIN Device: " +
           client +
           "[^\n]*device out[^\n]*\n"
           "MIDIOUT Device: " +
           client + "[^\n]*device in[^\n]*\n";
}
