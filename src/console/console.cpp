#include "console/console.h"

#include <cstdio>
#include <cstring>

#include "platform/winmm.h"

namespace {

constexpr DWORD kWaitShownAfterMs = 1000;

ConsoleStyle style = ConsoleStyle::kPlain;
// The tenth of the image the last batch progress line told, -1 for none.
int toldTenth = -1;
// The progress line as it stands, without the long wait's words.
char line[64] = "";

struct Wait {
    bool on = false;
    DWORD start = 0;
    char what[200] = "";
    bool told = false;         // in batch, `what` has been written
    DWORD shownSeconds = 0;    // on a terminal, the seconds last shown; 0: nothing shown
    std::size_t shownWidth = 0;
} wait;

// Clears what the terminal's line shows, and writes `text` on it.
void Redraw(const char* text, std::size_t* width) {
    std::printf("\r%*s\r%s", static_cast<int>(*width), "", text);
    *width = std::strlen(text);
    std::fflush(stdout);
}

}  // namespace

#if defined(_WIN32)
const char kNoMidiServiceAdvice[] =
    "No MIDI port is there at all: connect the device, install its driver if it needs one, and try again.";
#elif defined(__APPLE__)
const char kNoMidiServiceAdvice[] = "No MIDI service can be reached: CoreMIDI did not answer; try again.";
#else
const char kNoMidiServiceAdvice[] =
    "No MIDI service can be reached: load the ALSA sequencer (sudo modprobe snd-seq) or start a JACK server, "
    "then try again.";
#endif

void SetConsoleStyle(ConsoleStyle newStyle) {
    style = newStyle;
    toldTenth = -1;
    line[0] = '\0';
    wait = Wait{};
}

ConsoleStyle CurrentConsoleStyle() { return style; }

void ShowProgress(char glyph, unsigned percent) {
    if (style != ConsoleStyle::kBatch) {
        std::snprintf(line, sizeof line, "Transferring.. %c %u%% done", glyph, percent);
        std::printf("\r                        \r%s", line);
        std::fflush(stdout);
        return;
    }
    const int tenth = static_cast<int>(percent / 10);
    if (tenth == toldTenth) return;
    toldTenth = tenth;
    std::printf("Transferring.. %u%% done\n", percent);
}

void ShowProgressComplete() {
    std::printf(style == ConsoleStyle::kBatch ? "Transferring.. 100%% done.\n" : "\rTransferring.. 100%% done.  \n");
}

void BeginWait(const char* what) {
    wait = Wait{};
    wait.on = true;
    wait.start = timeGetTime();
    WaitFor(what);
}

void WaitFor(const char* what) {
    if (std::strncmp(wait.what, what, sizeof wait.what - 1) != 0) {
        std::snprintf(wait.what, sizeof wait.what, "%s", what);
        wait.told = false;
        wait.shownSeconds = 0;
    }
    TickWait();
}

void TickWait() {
    const DWORD waited = timeGetTime() - wait.start;
    if (!wait.on || waited < kWaitShownAfterMs) return;
    if (style == ConsoleStyle::kBatch && !wait.told) {
        std::printf("%s...\n", wait.what);
        wait.told = true;
    }
    const DWORD seconds = waited / 1000;
    if (style != ConsoleStyle::kTerminal || seconds == wait.shownSeconds) return;
    char shown[sizeof line + sizeof wait.what + 16];
    std::snprintf(shown, sizeof shown, "%s%s%s: %u s", line, line[0] != '\0' ? " - " : "", wait.what,
                  static_cast<unsigned>(seconds));
    Redraw(shown, &wait.shownWidth);
    wait.shownSeconds = seconds;
}

void EndWait() {
    if (wait.shownWidth > 0) Redraw(line, &wait.shownWidth);
    wait.on = false;
}

namespace {

// The length of the valid UTF-8 sequence `c` begins, 0 when there is none.
std::size_t Utf8Length(const unsigned char* c) {
    const auto follows = [&](std::size_t i, unsigned char low, unsigned char high) {
        return c[i] >= low && c[i] <= high;
    };
    if (c[0] >= 0xC2 && c[0] <= 0xDF) return follows(1, 0x80, 0xBF) ? 2 : 0;
    if (c[0] >= 0xE0 && c[0] <= 0xEF) {
        // Neither overlong nor a surrogate.
        const unsigned char low = c[0] == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = c[0] == 0xED ? 0x9F : 0xBF;
        return follows(1, low, high) && follows(2, 0x80, 0xBF) ? 3 : 0;
    }
    if (c[0] >= 0xF0 && c[0] <= 0xF4) {
        const unsigned char low = c[0] == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = c[0] == 0xF4 ? 0x8F : 0xBF;
        return follows(1, low, high) && follows(2, 0x80, 0xBF) && follows(3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

// How many bytes from `c` on are printed as they are: 0 for a byte to
// escape.
std::size_t Printable(const unsigned char* c) {
    if (c[0] < 0x20 || c[0] == 0x7F) return 0;
    if (c[0] < 0x80) return 1;
#ifdef _WIN32
    // Names there are in the system's ANSI code page, not UTF-8.
    return 1;
#else
    // A C1 control (U+0080 to U+009F, U+009B a terminal's escape) is not.
    if (c[0] == 0xC2 && c[1] <= 0x9F) return 0;
    return Utf8Length(c);
#endif
}

}  // namespace

PrintableName::PrintableName(const char* name) {
    const auto* c = reinterpret_cast<const unsigned char*>(name);
    std::size_t at = 0;
    while (*c != '\0' && at + 5 < sizeof text) {
        const std::size_t length = Printable(c);
        if (length == 0) {
            at += static_cast<std::size_t>(std::snprintf(text + at, sizeof text - at, "\\x%02X", *c++));
            continue;
        }
        if (at + length >= sizeof text) break;
        std::memcpy(text + at, c, length);
        at += length;
        c += length;
    }
    text[at] = '\0';
}
