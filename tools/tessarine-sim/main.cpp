// tessarine-sim: the target device on virtual MIDI ports, for trying the
// updater without the hardware, and the maker of sample images.
#include <cstdio>
#include <string>

#include "device/image_maker.h"
#include "device_runner.h"
#include "options.h"
#include "report/version.h"

namespace {

int WriteImage(const SimOptions& options) {
    const std::string text = ImageText(MakeImage(options.imageSize, options.recordData));
    std::FILE* file = std::fopen(options.makeImagePath.c_str(), "wb");
    const bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file != nullptr && std::fclose(file) != 0) return 1;
    if (!written) {
        std::fprintf(stderr, "tessarine-sim: cannot write %s\n", options.makeImagePath.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    std::string error;
    switch (ParseOptions(argc, argv, &options, &error)) {
        case ParseOutcome::kHelp: std::fputs(kUsage, stdout); return 0;
        case ParseOutcome::kVersion: PrintVersion("tessarine-sim"); return 0;
        case ParseOutcome::kError: std::fprintf(stderr, "tessarine-sim: %s\n\n%s", error.c_str(), kUsage); return 2;
        case ParseOutcome::kRun: break;
    }
    return options.makeImagePath.empty() ? RunDevice(options) : WriteImage(options);
}
