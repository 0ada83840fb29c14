// The run told as text: the console's own words, byte for byte, on a
// console window, a pipe or a file (ConsoleReporter), or as whole lines for
// a log (BatchReporter). Both tell the same outcomes, refusals and advice;
// they differ in the progress line and in how a long wait shows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "report/reporter.h"

class TextReporter : public Reporter {
public:
    void Tell(const RunEvent& event) override;
    void Tell(const ProtocolEvent& event) override;

protected:
    // `summary`: the image's summary is told (see below).
    explicit TextReporter(bool summary) : summary_(summary) {}
    // A try of a record begins.
    virtual void ShowProgress(const event::RecordTry& progress) = 0;
    // Advice of one line, below the progress line: the MIDI service missed
    // cycles, or the image goes on at a cable's pace.
    virtual void ShowAdvice(const char* text) = 0;
    // A wait that has lasted `seconds` (at least one), for `what`: told
    // whenever it has lasted another second, or what is awaited has changed.
    virtual void ShowWait(const char* what, unsigned seconds, bool whatChanged) = 0;
    // The wait is over: the line is what it would have been without it.
    virtual void HideWait() = 0;
    // The device has the whole image (or says it restarts): the line at 100 %.
    virtual void ShowComplete() = 0;

private:
    void Asking(const event::Asking& asking);
    void Show();
    void WaitEnds();

    bool summary_;
    bool waiting_ = false;
    unsigned seconds_ = 0;  // of the wait, told so far
    char what_[200] = "";
    bool whatChanged_ = false;
};

class ConsoleReporter final : public TextReporter {
public:
    // On a terminal a long wait shows on the progress line; on a pipe or in
    // a file nothing of it is written. The image's summary is told when
    // asked for (--dry-run): the bare run's text is the system's own.
    explicit ConsoleReporter(bool terminal, bool summary = false) : TextReporter(summary), terminal_(terminal) {}

private:
    // The progress line, whose spinner turns a glyph every two records.
    void ShowProgress(const event::RecordTry& progress) override;
    // On a line of its own, below the progress line, which goes on below it.
    void ShowAdvice(const char* text) override;
    void ShowWait(const char* what, unsigned seconds, bool whatChanged) override;
    void HideWait() override;
    void ShowComplete() override;
    // Clears what the terminal's line shows, and writes `text` on it.
    void Redraw(const char* text);

    bool terminal_;
    // The progress line as it stands, without the long wait's words.
    char line_[64] = "";
    unsigned shownSeconds_ = 0;  // 0: nothing of the wait shown
    std::size_t shownWidth_ = 0;
};

class BatchReporter final : public TextReporter {
public:
    // A log tells the image's summary.
    BatchReporter() : TextReporter(true) {}

private:
    // A progress line at most every tenth of the image.
    void ShowProgress(const event::RecordTry& progress) override;
    void ShowAdvice(const char* text) override;
    void ShowWait(const char* what, unsigned seconds, bool whatChanged) override;
    void HideWait() override {}
    void ShowComplete() override;

    int toldTenth_ = -1;  // of the image, the last progress line told
};
