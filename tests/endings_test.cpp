// The one table of endings, and the endings a request to stop brings, on
// the simulated platform's clock.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "report/endings.h"
#include "sim/sim_platform.h"
#include "support/expected_update.h"
#include "support/scene.h"

namespace {

using namespace text;

TEST(Endings, EveryEndingHasItsRowItsNameAndItsExitStatus) {
    // As the manual page and the README tell them to scripts.
    const struct {
        Ending ending;
        const char* name;
        int status;
    } expected[] = {
        {Ending::kUpdated, "updated", 0},
        {Ending::kRestarted, "restarted", 0},
        {Ending::kDryRunFound, "found", 0},
        {Ending::kNoImageFile, "no-image", 1},
        {Ending::kNotFit, "not-fit", 1},
        {Ending::kCannotOpen, "cannot-open", 1},
        {Ending::kBadImage, "bad-image", 1},
        {Ending::kNoDevice, "no-device", 3},
        {Ending::kPortNotFound, "port-not-found", 3},
        {Ending::kResetRequested, "reset", 4},
        {Ending::kOutputMissing, "output-missing", 5},
        {Ending::kNotResponding, "not-responding", 5},
        {Ending::kUpdateError, "update-error", 5},
        {Ending::kStoppedBeforeSearch, "stopped-before-search", 130},
        {Ending::kStoppedInSearch, "stopped-in-search", 130},
        {Ending::kStoppedBeforeWrite, "stopped-before-write", 130},
        {Ending::kStoppedInTransfer, "stopped-in-transfer", 130},
        {Ending::kUsage, "usage", 2},
    };
    std::set<std::string> names;
    for (const auto& e : expected) {
        const EndingRow& row = RowOf(e.ending);
        EXPECT_EQ(row.ending, e.ending) << e.name << ": no row of its own";
        EXPECT_STREQ(row.name, e.name);
        EXPECT_EQ(row.exitStatus, e.status) << e.name;
        EXPECT_NE(row.next[0], '\0') << e.name << " says nothing of what to do next";
        names.insert(row.name);
    }
    EXPECT_EQ(names.size(), std::size(expected));
    // The words take what the outcome holds.
    Outcome stopped;
    stopped.ending = Ending::kStoppedInTransfer;
    stopped.record = 4;
    stopped.percent = 37;
    char words[300];
    EndingWords(stopped, words, sizeof words);
    EXPECT_STREQ(words, "\nInterrupted at record 5 (37% done).\nThe device holds an incomplete image: run the update "
                        "again before using the device.\n\n");
    Outcome missing;
    missing.ending = Ending::kCannotOpen;
    missing.name = "Corvilent\x1B.led";
    EndingWords(missing, words, sizeof words);
    EXPECT_STREQ(words, "Error: File 'Corvilent\\x1B.led' is not found.\n\n");
}

// The user asks the run to stop at a time on the simulated clock.
class StopAt final : public StopToken {
public:
    explicit StopAt(std::uint64_t ms) : ms_(ms) {}
    bool Requested() const override { return sim::NowMs() >= ms_; }

private:
    std::uint64_t ms_;
};

TEST(Endings, AStopEndsTheRunWhereverItIsWithoutTheFinalWait) {
    const Bytes image = MakeImage(60, 10);  // four records of 14 bytes, the last of 18
    DeviceSettings silent;
    silent.faults = Faults("id:*:silence");
    DeviceSettings storing;
    storing.storeMs = 100;
    const std::string head = kBanner + Opened("Corvilent.led");
    const struct {
        const char* why;
        DeviceSettings device;
        std::uint64_t stopAtMs;
        std::string transcript;
    } cases[] = {
        {"before the search", {}, 0, head + "\nInterrupted: nothing was sent to the device.\n\n"},
        {"in the search", silent, 700, head + "\nInterrupted while looking for the device: no record was sent.\n\n"},
        // The second record's answer comes at 1 + 2 * 102 ms.
        {"in the transfer", storing, 150,
         head + Found("In 0", "Out 0") + Progress('-', 0) + Progress('-', 23) +
             "\nInterrupted at record 2 (23% done).\nThe device holds an incomplete image: run the update again "
             "before using the device.\n\n"},
    };
    for (const auto& c : cases) {
        TargetDevice device(c.device);
        SetUpScene(1, 1, {0}, {0}, &device);
        TempFolder folder;
        folder.WriteFile("Corvilent.led", ImageText(image));
        const StopAt stop(c.stopAtMs);
        EXPECT_EQ(RunUpdateIn(folder, Reader::kPlain, &stop, 130), c.transcript) << c.why;
        EXPECT_LE(sim::NowMs(), c.stopAtMs + 100) << c.why << ": the stop was not taken at once";
    }
}

}  // namespace
