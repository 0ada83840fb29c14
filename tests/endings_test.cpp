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

TEST(Endings, EveryEndingHasARowOfItsOwnWithAName) {
    std::set<std::string> names;
    for (int ending = 0; ending <= static_cast<int>(Ending::kUsage); ++ending) {
        const EndingRow& row = RowOf(static_cast<Ending>(ending));
        EXPECT_EQ(static_cast<int>(row.ending), ending) << "no row of its own";
        EXPECT_NE(row.next[0], '\0') << row.name << " says nothing of what to do next";
        names.insert(row.name);
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(Ending::kUsage) + 1) << "two endings share a name";
    // The words take what the outcome holds.
    Outcome stopped;
    stopped.ending = Ending::kStoppedInTransfer;
    stopped.record = 4;
    stopped.percent = 37;
    char words[300];
    EndingWords(stopped, words, sizeof words);
    EXPECT_STREQ(words, "\nInterrupted at record 5 (37% done).\nThe device holds an incomplete image: run the update "
                        "again before using the device.\n\n");
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
