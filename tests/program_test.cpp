// The whole program on the simulated platform, as a user and a script run
// it in a folder: every way a run ends, each in the console's words (its
// whole transcript, and its log), in a batch log's and in JSON Lines, with
// the exit status, the records the device then holds and the time it all
// took on the virtual clock.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "image/sha256.h"
#include "report/endings.h"
#include "support/expected_update.h"
#ifndef _WIN32
#include "support/json_lines.h"
#endif
#include "support/scene.h"

namespace {

using namespace text;

constexpr std::uint64_t kNever = UINT64_MAX;

// The user asks the run to stop at a time on the simulated clock.
class StopAt final : public StopToken {
public:
    explicit StopAt(std::uint64_t ms) : ms_(ms) {}
    bool Requested() const override { return sim::NowMs() >= ms_; }

private:
    std::uint64_t ms_;
};

// What a run of the image prints before the transfer, on port pair (0, 0),
// and its progress lines.
const std::string kHead = kBanner + Opened("Corvilent.led") + Found("In 0", "Out 0");
std::string Lines(const std::vector<std::size_t>& records, const FailedTries& failed = {}, const Shown& shown = {}) {
    return TransferLines(ImageOfRecords(records), failed, shown);
}
std::vector<std::string> Silences(std::size_t n) { return std::vector<std::string>(n, ""); }

std::string Sha256Of(const std::string& text) {
    Sha256 hash;
    hash.Add(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    char hex[65];
    hash.Finish(hex);
    return hex;
}

#ifndef _WIN32
// The kinds of JSON events told, in the order each first came, then the
// outcome's name, exit and, after a restart, the record:
// "start image outcome:bad-image:1". An image refused tells what is wrong
// and, where a record is at fault, which, where and why: "image(record 2 at 6: ...)".
// Every event's fields are those the manual page gives.
std::string Kinds(const std::string& lines) {
    std::vector<JsonObject> events;
    std::string error;
    EXPECT_TRUE(ParseJsonLines(lines, &events, &error)) << error;
    std::string told;
    bool accepted = false;  // a record, so the time left can be told
    for (const JsonObject& event : events) {
        const std::string kind = event.at("event");
        const auto has = [&](const char* field) { return event.count(field) > 0; };
        EXPECT_TRUE(kind != "waiting" || event.at("for") != "device" || has("asking"));
        EXPECT_TRUE(kind != "start" || (event.at("version") == TESSARINE_VERSION && event.at("schema") == "1"));
        EXPECT_TRUE(kind != "image" || (has("sha256") && has("bytes") && has("problem") != has("records"))) << lines;
        EXPECT_TRUE(kind != "ports" || has("service"));
        EXPECT_TRUE(kind != "record" || has("eta") == accepted) << lines;
        accepted |= kind == "answer" && event.at("status") == "26";
        if (kind == "outcome") {
            EXPECT_TRUE(has("seconds") && has("next") && !event.at("next").empty());
            const std::string restarted = event.count("record") ? ":record " + event.at("record") : "";
            return told + "outcome:" + event.at("name") + ":" + event.at("exit") + restarted;
        }
        if (told.find(kind) != std::string::npos) continue;
        told += kind;
        if (has("record") && kind == "image")
            told += "(record " + event.at("record") + " at " + event.at("offset") + ": " + event.at("problem") + ")";
        told += " ";
    }
    return told;
}
#endif

enum class Face { kConsole, kBatch, kJson };

TEST(Program, EveryEndingInEveryFace) {
    // Words on standard error: the command line refused.
    const std::string hint = " (see tessarine-update --help)\n";
    const std::string interrupted =
        "\nInterrupted at record 2 (23% done).\nThe device holds an incomplete image: run the update again before "
        "using the device.\n\n";
    const std::string found = "start image device link record answer ";
    // clang-format off
    const struct {
        const char* why;
        std::vector<std::string> arguments;
        std::vector<std::size_t> records;  // of the folder's image; none: no image there
        const char* faults;
        std::uint32_t storeMs;  // the device's time to store a record
        std::uint64_t stopAtMs;
        int status;  // with --batch and --json
        std::string before;  // what the console prints before the ending's words
        std::string ending;  // the ending's words, as the console prints them
        const char* events;  // JSON
        std::size_t accepted;  // records the device holds, from the first
        std::uint64_t ms;  // on the virtual clock
    } cases[] = {
        // The search's answer comes at 1 ms; each chunk is followed by a 1 ms
        // pause, in which the device's answer to a record comes.
        {"every record accepted", {}, {6, 13, 30, 11, 12}, "", 0, kNever, 0, kHead + Lines({6, 13, 30, 11, 12}),
         kCompleted, "start image device link record answer outcome:updated:0", 5, 1 + 9},
        // Each glyph stays for two records, and for a record sent again;
        // after a silence, answers still owed get one more wait.
        {"the spinner", {}, std::vector<std::size_t>(9, 6), "7:0:silence", 0, kNever, 0,
         kHead + Lines(std::vector<std::size_t>(9, 6), {{7, {""}}}), kCompleted,
         "start image device link record answer waiting outcome:updated:0", 9, 1 + 10 + 5000 + 5000},
        {"a refused record is sent again", {}, {6}, "0:0-2:status=20", 0, kNever, 0,
         kHead + Lines({6}, {{0, {kCrcError, kCrcError, kCrcError}}}), kCompleted,
         "start image device link record answer refused outcome:updated:0", 1, 1 + 4},
        {"each refusal in its words", {}, {6},
         "0:0:status=21 0:1:status=22 0:2:status=24 0:3:status=25 0:4:status=42 0:5:status=3D", 0, kNever, 0,
         kHead + Lines({6}, {{0, {kDamaged, kDamaged, kVerifyError, kEraseError, "", ""}}}), kCompleted,
         "start image device link record answer refused outcome:updated:0", 1, 1 + 7},
        {"a lone byte or a cut message is no answer, F0 F7 is one", {}, {6}, "0:0:lone-byte 0:1:cut-short 0:2:empty", 0,
         kNever, 0, kHead + Lines({6}, {{0, Silences(3)}}), kCompleted,
         "start image device link record waiting answer refused outcome:updated:0", 1, 1 + 2 * 5001 + 2 + 5000},
        {"an accepted record starts the count of failures again", {}, {6, 6}, "0:0-18:silence 1:0-18:silence", 0,
         kNever, 0, kHead + Lines({6, 6}, {{0, Silences(19)}, {1, Silences(19)}}), kCompleted,
         "start image device link record waiting answer outcome:updated:0", 2, 1 + 38 * 5001 + 2 + 2 * 5000},
        {"twenty silences", {}, {6}, "0:*:silence", 0, kNever, 5, kHead + Lines({6}, {{0, Silences(20)}}, {1, false}),
         kNotResponding, "start image device link record waiting answer outcome:not-responding:5", 0, 1 + 20 * 5001},
        // The device stored the record as it said it restarts.
        {"twenty refusals, though the last says it restarts", {}, {6}, "0:0-18:status=42 0:19:status=77", 0, kNever, 5,
         kHead + Lines({6}, {{0, Silences(20)}}, {1, false}), kUpdateError,
         "start image device link record answer refused outcome:update-error:5", 1, 1 + 20},
        {"silences and refusals add up", {}, {6}, "0:0-9:silence 0:10-19:status=42", 0, kNever, 5,
         kHead + Lines({6}, {{0, Silences(20)}}, {1, false}), kUpdateError,
         "start image device link record waiting answer refused outcome:update-error:5", 0, 1 + 10 * 5001 + 10},
        {"the device restarts after a record", {}, {6, 6, 6}, "1:0:status=77", 0, kNever, 0,
         kHead + Lines({6, 6, 6}, {}, {2}), kRestarted, "start image device link record answer outcome:restarted:0:record 2", 2, 1 + 2},
        {"the device restarts after the last record", {}, {6, 6, 6}, "2:0:status=77", 0, kNever, 0,
         kHead + Lines({6, 6, 6}), kRestarted, "start image device link record answer outcome:restarted:0:record 3", 3, 1 + 3},
        // A late answer never counts for another record. The device is busy
        // past the wait with one request (erasing its memory before it
        // takes the first record, or answering the search late), takes 20
        // ms to store every record, and refuses one once: the late answer
        // and the retry's stay with their own record, or the refusal would
        // land on the wrong one and the refused record never come again.
        // Busy 7 s with the first record (1 chunk), the device answers its
        // first try at 7022 ms, after the wait ran out at 5002 ms; the
        // second try takes that answer, its own comes at 7042 ms and is set
        // aside.
        {"busy with the first record, then refusing the next", {}, {6, 13, 30}, "0:0:busy=7000 1:0:status=20", 20,
         kNever, 0, kHead + Lines({6, 13, 30}, {{0, {""}}, {1, {kCrcError}}}), kCompleted,
         "start image device link record waiting answer refused outcome:updated:0", 3, 7042 + 2 * 22 + 23},
        {"busy with the first record, then refusing the last", {}, {6, 13, 30}, "0:0:busy=7000 2:0:status=20", 20,
         kNever, 0, kHead + Lines({6, 13, 30}, {{0, {""}}, {2, {kCrcError}}}), kCompleted,
         "start image device link record waiting answer refused outcome:updated:0", 3, 7042 + 22 + 2 * 23},
        // Both identification answers arrive at 701 ms, the first taken by
        // the second request, the other set aside.
        {"answering the search late, then refusing the first record", {}, {6, 13, 30}, "id:0:busy=700 0:0:status=20",
         20, kNever, 0, kHead + Lines({6, 13, 30}, {{0, {kCrcError}}}), kCompleted,
         "start image device link record answer refused outcome:updated:0", 3, 701 + 2 * 21 + 22 + 23},
        {"a check that sends no record", {"--dry-run"}, {6}, "", 0, kNever, 0,
         kBanner + Opened("Corvilent.led") + Summary(6, 1, Sha256Of(ImageText(ImageOfRecords({6})))) +
             Found("In 0", "Out 0"), kDryRun,
         "start image device outcome:found:0", 0, 1},
        {"no image in the folder", {}, {}, "", 0, kNever, 1, kBanner, "Error: File '*.led' is not found.\n\n",
         "start outcome:no-image:1", 0, 0},
        {"an image whose name lacks the prefix", {"Firmware.led"}, {6}, "", 0, kNever, 1, kBanner,
         "Error: The fit file is not found.\n\n", "start outcome:not-fit:1", 0, 0},
        {"an image that cannot be read", {"missing/Corvilent.led"}, {6}, "", 0, kNever, 1, kBanner,
         "Error: File 'missing/Corvilent.led' is not found.\n\n", "start outcome:cannot-open:1", 0, 0},
        // Its SHA-256 not the one published: the device gets not one message.
        {"an image whose SHA-256 is not the one given", {"--sha256", std::string(64, 'A')}, {6}, "", 0, kNever, 1,
         kBanner + Opened("Corvilent.led"), "Error: The image's SHA-256 is not the one given; nothing was sent.\n\n",
         "start image outcome:image-mismatch:1", 0, 0},
        {"an image whose SHA-256 is the one given", {"--sha256", Sha256Of(ImageText(ImageOfRecords({6})))}, {6}, "", 0,
         kNever, 0, kHead + Lines({6}), kCompleted, "start image device link record answer outcome:updated:0", 1, 2},
        {"an image that fails its check", {"bad/Corvilent.led"}, {6}, "", 0, kNever, 1,
         kBanner + Opened("bad/Corvilent.led"), kBadImage, "start image(record 2 at 6: record 2's checksum does not balance its data) outcome:bad-image:1", 0, 0},
        {"no device answers", {}, {6}, "id:*:status=3E", 0, kNever, 3, kBanner + Opened("Corvilent.led"), kNoDevice,
         "start image outcome:no-device:3", 0, 4},
        {"a port that names none", {"--out", "synth"}, {6}, "", 0, kNever, 3, "",
         "tessarine-update: --out 'synth' names no MIDI output; the candidates: 0 'Out 0'" + hint,
         "outcome:port-not-found:3", 0, 0},
        {"the device asks to be reset", {}, {6}, "id:*:status=15", 0, kNever, 4, kHead, kResetRequest,
         "start image device outcome:reset:4", 0, 1},
        {"a bad command line", {"--bogus"}, {6}, "", 0, kNever, 2, "", "tessarine-update: unknown option '--bogus'" + hint,
         "outcome:usage:2", 0, 0},
        {"stopped before the search", {}, {6}, "", 0, 0, 130, kBanner + Opened("Corvilent.led"),
         "\nInterrupted: nothing was sent to the device.\n\n", "start image outcome:stopped-before-search:130", 0, 0},
        {"stopped in the search", {}, {6}, "id:*:silence", 0, 700, 130, kBanner + Opened("Corvilent.led"),
         "\nInterrupted while looking for the device: no record was sent.\n\n",
         "start image outcome:stopped-in-search:130", 0, 700},
        // Asked to stop at 150 ms, while the device stores the second
        // record: its answer, at 1 + 2 * 102 ms, is the last.
        {"stopped in the transfer", {}, {14, 14, 14, 18}, "", 100, 150, 130,
         kHead + Progress('-', 0) + Progress('-', 23), interrupted, "start image device link record answer outcome:stopped-in-transfer:130",
         2, 205},
    };
    // clang-format on
#ifdef _WIN32
    // Node.js reads the JSON where the tests run the real programs.
    const Face faces[] = {Face::kConsole, Face::kBatch};
#else
    const Face faces[] = {Face::kConsole, Face::kBatch, Face::kJson};
#endif
    for (const auto& c : cases) {
        for (const Face face : faces) {
            SCOPED_TRACE(std::string(c.why) + ", face " + std::to_string(static_cast<int>(face)));
            DeviceSettings settings;
            settings.faults = Faults(c.faults);
            settings.storeMs = c.storeMs;
            TargetDevice device(settings);
            SetUpScene(1, 1, {0}, {0}, &device);
            TempFolder folder;
            if (!c.records.empty()) folder.WriteFile("Corvilent.led", ImageText(ImageOfRecords(c.records)));
            folder.MakeFolder("bad");
            folder.WriteFile("bad/Corvilent.led", "00 04 01 02 FD FF 00 04 01 02 FF FD\n");  // record 2 fails
            const std::string log = folder.root() + "/run.log";
            std::vector<std::string> arguments = {face == Face::kConsole ? "--log=" + log
                                                  : face == Face::kBatch ? "--batch"
                                                                         : "--json"};
            arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
            const StopAt stop(c.stopAtMs);
            const ProgramRun run = RunProgramIn(folder, arguments, &stop);

            const bool refused = c.ending.rfind("tessarine-update:", 0) == 0;
            const bool stopped = c.status == 130;
            switch (face) {
                case Face::kConsole: {
                    const int status = refused || stopped ? c.status : 0;
                    EXPECT_EQ(run.status, status);
                    EXPECT_EQ(run.out, c.before + (refused ? "" : c.ending) + (refused || stopped ? "" : kFinalWait));
                    // Its log tells the same events, the exit its own.
                    const std::string events = c.events;
                    const std::string logged = std::regex_replace(events, std::regex("(outcome:[a-z-]+:)[0-9]+"),
                                                                  "$01" + std::to_string(status));
#ifndef _WIN32
                    EXPECT_EQ(refused ? logged : Kinds(ReadText(log)), logged);
#endif
                    break;
                }
                case Face::kBatch: {
                    EXPECT_EQ(run.status, c.status);
                    // Whole lines: the last progress line is one.
                    std::string ending = c.ending;
                    if (ending.rfind('\r', 0) == 0) ending.replace(0, 1, "").replace(ending.find("  \n"), 3, "\n");
                    const bool ends = run.out.size() >= ending.size() && run.out.rfind(kBanner, 0) == 0 &&
                                      run.out.compare(run.out.size() - ending.size(), ending.size(), ending) == 0;
                    EXPECT_TRUE(refused ? run.out.empty() : ends) << run.out;
                    break;
                }
#ifndef _WIN32
                case Face::kJson: EXPECT_EQ(Kinds(run.out), c.events) << run.out; break;
#endif
            }
            EXPECT_EQ(run.err, refused ? c.ending : "");
            const Bytes image = ImageOfRecords(c.records);
            std::size_t held = 0;
            for (std::size_t r = 0; r < c.accepted; ++r) held += c.records[r];
            EXPECT_EQ(device.Accepted(), Bytes(image.begin(), image.begin() + held));
            EXPECT_EQ(device.ProtocolErrors(), 0u);
            EXPECT_EQ(sim::NowMs(), c.ms);
            EXPECT_TRUE(c.ms > 0 || sim::Sent().empty()) << "the device got a message";
            EXPECT_FALSE(sim::InputIsOpen(0) || sim::OutputIsOpen(0)) << "the run left a port open";
        }
    }
}

TEST(Program, EveryEndingHasARowOfItsOwn) {
    // An ending without one would be told as another: as "updated".
    std::set<std::string> names;
    for (int ending = 0; ending <= static_cast<int>(Ending::kNoService); ++ending) {
        EXPECT_EQ(static_cast<int>(RowOf(static_cast<Ending>(ending)).ending), ending) << "no row of its own";
        names.insert(RowOf(static_cast<Ending>(ending)).name);
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(Ending::kNoService) + 1) << "two endings share a name";
}

TEST(Program, NothingButARunForAnUpdateTouchesTheDevice) {
    // The device is there, and so is a valid image: what the command line
    // asks for alone may happen.
    TempFolder folder;
    folder.WriteFile("Corvilent.led", "00 04 01 02 FD FF\n");
    const std::string hint = " (see tessarine-update --help)\n";
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string out;  // its start
        std::string err;
    } cases[] = {
        {{"--help"}, 0, "Usage: tessarine-update [OPTION...] [IMAGE]\n", ""},
        {{"-V", "-h", "--batch"}, 0, "Usage: tessarine-update [OPTION...] [IMAGE]\n", ""},
        // GNU's form: the name and version, then the licence.
        {{"--version"}, 0, "tessarine-update " TESSARINE_VERSION "\nCopyright (C) 2026 ", ""},
        {{"--list"}, 0, "MIDI service: simulated\nMIDI inputs:\n  0: In 0\nMIDI outputs:\n  0: Out 0\n", ""},
        {{"--bogus", "--help"}, 2, "", "tessarine-update: unknown option '--bogus'" + hint},
        {{"--batch", "--in"},
         2,
         "",
         "tessarine-update: --in needs a PORT: a number from --list, or a part of the port's name" + hint},
        {{"a.led", "Corvilent.led"},
         2,
         "",
         "tessarine-update: one image at a time: 'a.led' and 'Corvilent.led' given" + hint},
        {{"--log", "no-such-folder/run.log"},
         2,
         "",
         "tessarine-update: cannot write the log 'no-such-folder/run.log': No such file or directory" + hint},
        // The number one past the last port's.
        {{"--in", "1", "--batch"},
         3,
         "",
         "tessarine-update: --in '1' names no MIDI input; the candidates: 0 'In 0'" + hint},
        {{"--wait", "3601"}, 2, "", "tessarine-update: --wait needs SECONDS, a whole number from 0 to 3600" + hint},
        {{"--wait=-1"}, 2, "", "tessarine-update: --wait needs SECONDS, a whole number from 0 to 3600" + hint},
        {{"--log="}, 2, "", "tessarine-update: --log needs a FILE to append the run's events to" + hint},
        {{"--output", "0"}, 2, "", "tessarine-update: unknown option '--output'" + hint},
        {{"--list=1"}, 2, "", "tessarine-update: unknown option '--list=1'" + hint},
        // A value in the same word or the next, an image after "--" or a
        // lone "-": each is one the folder does not hold.
        {{"--out=0", "-"}, 0, kBanner + "Error: The fit file is not found.\n\n", ""},
        {{"--out", "-", "--", "-Corvilent.led"},
         3,
         "",
         "tessarine-update: --out '-' names no MIDI output; the candidates: 0 'Out 0'" + hint},
        {{"--", "-Corvilent.led"}, 0, kBanner + "Error: The fit file is not found.\n\n", ""},
        {{"--batch", "--", "Corvilent-2.led"}, 1, kBanner + "Error: File 'Corvilent-2.led' is not found.\n\n", ""},
        // Refused in the face asked for, wherever it stands.
        {{"--wait", "x", "--json", "--batch"},
         2,
         "{\"event\":\"outcome\"",
         "tessarine-update: --wait needs SECONDS, a whole number from 0 to 3600" + hint},
    };
    for (const auto& c : cases) {
        TargetDevice device({});
        SetUpScene(1, 1, {0}, {0}, &device);
        const ProgramRun run = RunProgramIn(folder, c.arguments);
        EXPECT_EQ(run.status, c.status) << c.arguments[0];
        EXPECT_EQ(run.out.substr(0, c.out.size()), c.out) << run.out;
        EXPECT_EQ(run.err, c.err);
        EXPECT_TRUE(sim::Sent().empty()) << "the device received a message";
    }
    // A listing ends, with its service named, or with none to be reached.
    for (const bool service : {true, false}) {
        SetUpScene(1, 1);
        if (!service) {
            SetUpScene(0, 0);
            sim::AddInput({"", MMSYSERR_NODRIVER});
            sim::AddOutput({"", MMSYSERR_NODRIVER});
        }
#ifndef _WIN32
        const ProgramRun json = RunProgramIn(folder, {"--list", "--json"});
        EXPECT_EQ(Kinds(json.out), service ? "ports outcome:listed:0" : "ports outcome:no-service:3");
        EXPECT_NE(json.out.find(service ? "\"service\":\"simulated\"" : "\"service\":null"), std::string::npos);
#endif
        const ProgramRun list = RunProgramIn(folder, {"--list"});
        EXPECT_EQ(list.out, service ? "MIDI service: simulated\nMIDI inputs:\n  0: In 0\nMIDI outputs:\n  0: Out 0\n"
                                    : "MIDI inputs:\nMIDI outputs:\n" + kNoMidiService);
        EXPECT_EQ(list.status, 0);
        if (!service) {
            EXPECT_EQ(RunProgramIn(folder).out,
                      kBanner + Opened("Corvilent.led") + kNoMidiService + kNoDevice + kFinalWait);
        }
    }
}

}  // namespace
