#include "console/console.h"

#include <cstdio>

namespace {

ConsoleStyle style = ConsoleStyle::kPlain;
// The tenth of the image the last batch progress line told, -1 for none.
int toldTenth = -1;

}  // namespace

void SetConsoleStyle(ConsoleStyle newStyle) {
    style = newStyle;
    toldTenth = -1;
}

ConsoleStyle CurrentConsoleStyle() { return style; }

void ShowProgress(char glyph, unsigned percent) {
    if (style != ConsoleStyle::kBatch) {
        std::printf("\r                        \rTransferring.. %c %u%% done", glyph, percent);
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

PrintableName::PrintableName(const char* name) {
    std::size_t at = 0;
    for (; *name != '\0' && at + 5 < sizeof text; ++name) {
        const unsigned char c = static_cast<unsigned char>(*name);
        if (c < 0x20 || c == 0x7F) {
            at += static_cast<std::size_t>(std::snprintf(text + at, sizeof text - at, "\\x%02X", c));
        } else {
            text[at++] = *name;
        }
    }
    text[at] = '\0';
}
