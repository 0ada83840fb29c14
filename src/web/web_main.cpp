// The web page's entry into the program: what the page calls, on the image
// it was given (written to the page's file system under its own name) and
// the ports it was granted.
#include <emscripten.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "driver/run_update.h"
#include "midi/midi_ports.h"
#include "platform/host/host.h"
#include "web/web_reporter.h"

namespace {

// The port of the list that `index` chooses, by the name it was listed under.
void Choose(const PortNames& list, int index, UINT* chosen, char (&name)[kPortNameSize]) {
    if (index < 0 || static_cast<UINT>(index) >= list.count) return;
    *chosen = static_cast<UINT>(index);
    std::memcpy(name, list.names[index], sizeof name);
}

}  // namespace

extern "C" {

// The file stage alone, as soon as the page has the image: its texts, and
// what the image holds.
EMSCRIPTEN_KEEPALIVE int WebCheckImage(const char* path, const char* sha256) {
    const auto image = std::make_unique<ImageBuffer>();
    WebReporter reporter;
    ImageOutcome file;
    const std::optional<Outcome> refused =
        FileStage(path, sha256[0] != '\0' ? sha256 : nullptr, image.get(), &file, reporter);
    if (refused) reporter.Tell(event::Ended{*refused});
    return refused ? 0 : 1;
}

// The ports, as the search numbers them (--list).
EMSCRIPTEN_KEEPALIVE int WebListPorts() {
    WebReporter reporter;
    return ListMidiPorts(true, reporter);
}

// The program's version, for the page to show.
EMSCRIPTEN_KEEPALIVE const char* WebVersion() { return TESSARINE_VERSION; }

// The update, or with `dryRun` the search alone, on the pair chosen (-1:
// any); its exit status as with --batch.
EMSCRIPTEN_KEEPALIVE int WebUpdate(const char* path, const char* sha256, int input, int output, int dryRun) {
    PortChoice ports;
    PortNames inputs;
    PortNames outputs;
    ListMidiInputs(&inputs);
    ListMidiOutputs(&outputs);
    Choose(inputs, input, &ports.input, ports.inputName);
    Choose(outputs, output, &ports.output, ports.outputName);
    RunOptions options;
    options.image = path;
    options.sha256 = sha256[0] != '\0' ? sha256 : nullptr;
    options.dryRun = dryRun != 0;
    options.finalWait = false;
    options.statusTellsOutcome = true;
    BeginRun();
    WebReporter reporter;
    const int status = RunUpdate(options, ports, reporter, UserStop());
    EndRun();
    return status;
}

}  // extern "C"

// The page starts the program's calls itself.
int main() { return 0; }
