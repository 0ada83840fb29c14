// The whole console transcript of the program, run in a folder of its own
// with standard input closed, for every way the file stage can end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/console_text.h"
#include "support/program_run.h"

namespace {

using namespace text;

const std::string kNotFoundPattern = "Error: File '*.led' is not found.\n\n";
const std::string kNoFitFile = "Error: The fit file is not found.\n\n";
// One record, data 01 02, checksum FFFD stored low byte first.
const std::string kValidImage = "00 04 01 02 FD FF\n";

// Runs the updater in the folder; every run must end with exit status 0.
std::string Transcript(const TempFolder& folder) {
    std::string output;
    EXPECT_EQ(RunIn(folder, UPDATER_PATH, &output), 0);
    return output;
}

TEST(FileStage, NoImageFileNamesThePattern) {
    TempFolder folder;
    folder.WriteFile("Corvilent.txt", kValidImage);
    EXPECT_EQ(Transcript(folder), kBanner + kNotFoundPattern + kFinalWait);
}

TEST(FileStage, OnlyTheFirstImageFileCountsInTheOrderWindowsListsThem) {
    // NTFS lists names in the order of their upper-cased letters: "_" comes
    // after the letters then, and before the small ones.
    const struct {
        std::vector<std::string> files;
        std::string ending;
    } cases[] = {
        {{"Corvilent.led", "alpha.led"}, kNoFitFile},
        {{"_old.led", "Corvilent.led"}, Opened("Corvilent.led") + kNoDevice},
        {{"corvilent_b.led", "CORVILENTA.led"}, Opened("CORVILENTA.led") + kNoDevice},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        for (const std::string& name : c.files) folder.WriteFile(name, kValidImage);
        EXPECT_EQ(Transcript(folder), kBanner + c.ending + kFinalWait) << c.files[0] << ", " << c.files[1];
    }
}

TEST(FileStage, NamePrefixIgnoresLetterCaseButNeedsAllNineLetters) {
    for (const std::string name : {"CORVILENT_v2.led", "corvilent.LED", "Corvilent-0.3.led"}) {
        TempFolder folder;
        folder.WriteFile(name, kValidImage);
        EXPECT_EQ(Transcript(folder), kBanner + Opened(name) + kNoDevice + kFinalWait) << name;
    }
    for (const std::string name : {"Corvilen.led", "Corvilen_t.led", "xCorvilent.led"}) {
        TempFolder folder;
        folder.WriteFile(name, kValidImage);
        EXPECT_EQ(Transcript(folder), kBanner + kNoFitFile + kFinalWait) << name;
    }
}

TEST(FileStage, AnEntryThatCannotBeReadIsNotFound) {
    TempFolder dangling;
    dangling.MakeLink("Corvilent.led", "nowhere.txt");
    EXPECT_EQ(Transcript(dangling), kBanner + "Error: File 'Corvilent.led' is not found.\n\n" + kFinalWait);

    TempFolder folderNamedLikeAnImage;
    folderNamedLikeAnImage.MakeFolder("Corvilent.led");
    EXPECT_EQ(Transcript(folderNamedLikeAnImage),
              kBanner + "Error: File 'Corvilent.led' is not found.\n\n" + kFinalWait);
}

TEST(FileStage, ALongFileNameIsKeptWhole) {
    // Cut at 99 characters this name would still match the prefix but name
    // another file.
    const std::string name = "Corvilent" + std::string(200, 'x') + ".led";
    TempFolder folder;
    folder.WriteFile(name, kValidImage);
    EXPECT_EQ(Transcript(folder), kBanner + Opened(name) + kNoDevice + kFinalWait);
}

TEST(FileStage, ImagesThatFailTheCheckStopBeforeAnyDeviceSearch) {
    const struct {
        const char* why;
        std::string text;
    } cases[] = {
        {"checksum stored high byte first", "00 04 01 02 FF FD"},
        {"empty file", ""},
        {"text that is not hexadecimal", "firmware 0004 0102 FDFF"},
        {"length field below 2", "0001 00 00"},
        {"length field whose size wraps to 0", "FFFE 0000"},
        {"record running past the end", "0006 0102 FDFF"},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        folder.WriteFile("Corvilent.led", c.text);
        EXPECT_EQ(Transcript(folder), kBanner + Opened("Corvilent.led") + kBadImage + kFinalWait) << c.why;
    }
}

TEST(FileStage, TheLargestImageLoadsButOneNumberMoreIsRefused) {
    // One record of 65535 bytes: length FFFD, zero data, checksum 0000.
    const std::string largest = "FFFD" + std::string(2 * 0xFFFD, '0');
    TempFolder fits;
    fits.WriteFile("Corvilent.led", largest);
    EXPECT_EQ(Transcript(fits), kBanner + Opened("Corvilent.led") + kNoDevice + kFinalWait);

    TempFolder overflows;
    overflows.WriteFile("Corvilent.led", largest + "00");
    EXPECT_EQ(Transcript(overflows), kBanner + Opened("Corvilent.led") + kBadImage + kFinalWait);
}

TEST(FileStage, TextAfterTheHexadecimalNumbersIsIgnored) {
    TempFolder folder;
    folder.WriteFile("Corvilent.led", kValidImage + "; built 2026-12-07\nFFFF\n");
    EXPECT_EQ(Transcript(folder), kBanner + Opened("Corvilent.led") + kNoDevice + kFinalWait);
}

}  // namespace
