// The JSON face, run as a script runs it: every line one JSON object, the
// last the outcome, whose exit is the program's exit status, for each
// ending; and a console run's log, which tells the same events. Over JACK,
// against the simulator.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "support/child_process.h"
#include "support/console_text.h"
#include "support/expected_update.h"
#include "support/json_lines.h"

namespace {

// The events of a run, each with a time that never goes back (and a name:
// Kinds reads it).
std::vector<JsonObject> Events(const std::string& lines) {
    std::vector<JsonObject> events;
    std::string error;
    EXPECT_TRUE(ParseJsonLines(lines, &events, &error)) << error;
    double last = 0;
    for (const JsonObject& event : events) {
        const double t = std::strtod(event.count("t") ? event.at("t").c_str() : "-1", nullptr);
        EXPECT_GE(t, last) << "time went back";
        last = t;
    }
    return events;
}

// The kinds of events told, in the order each first came; the advice the
// tests' own server's missed cycles may bring aside (support/console_text.h).
// Each wait for the device names the output the search asks.
std::vector<std::string> Kinds(const std::vector<JsonObject>& events) {
    std::vector<std::string> kinds;
    for (const JsonObject& event : events) {
        EXPECT_TRUE(event.at("event") != "waiting" || event.at("for") != "device" || event.count("asking"));
        if (event.at("event") == "advice" && event.at("text") + "\n" == text::kMissedCyclesAdvice) continue;
        if (std::find(kinds.begin(), kinds.end(), event.at("event")) == kinds.end()) kinds.push_back(event.at("event"));
    }
    return kinds;
}

// What a file holds.
std::string Read(const std::string& path) {
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// A run of the updater in the folder, against a simulator of its own; with
// `stopAt`, stopped (SIGTERM) once `told` (its output, or the log it
// writes) holds that text. Its exit status.
int RunUpdater(const TempFolder& folder, std::vector<std::string> device, const std::vector<std::string>& arguments,
               const std::string& stopAt, const std::string& told, std::string* output) {
    device.insert(device.end(), {"--timeout", "60"});
    ChildProcess sim(SIM_PATH, device);
    EXPECT_TRUE(sim.WaitForOutput("ready", 10000)) << sim.errors();
    ChildProcess run(UPDATER_PATH, arguments, folder.path());
    for (int polls = 0; !stopAt.empty() && polls < 200 && run.RunsAfter(50); ++polls) {
        if ((told.empty() ? run.output() : Read(told)).find(stopAt) == std::string::npos) continue;
        run.Signal(SIGTERM);
        break;
    }
    const int status = run.Wait(60000);
    EXPECT_EQ(run.errors(), "");
    *output = run.output();
    return status;
}

TEST(JsonFace, EachEndingIsTheLastLineAndItsExitTheExitStatus) {
    TempFolder folder;
    folder.WriteFile("Corvilent.led", ImageText(MakeImage(1000, 100)));  // ten records
    std::string sha256;
    RunIn(folder, "/usr/bin/sha256sum", &sha256, {"Corvilent.led"});
    // Beside the folder, not the first of it.
    const std::string bad = folder.root() + "/Corvilent-bad.led";
    std::ofstream(bad) << "00 04 01 02 FF FD\n";
    const struct {
        std::vector<std::string> device;  // the simulator's options
        std::vector<std::string> arguments;
        bool stop;  // SIGTERM once it has waited for the device a second
        int status;
        const char* outcome;
        std::vector<std::string> events;  // the kinds it told, in order
    } cases[] = {
        {{"--fault", "3:0:status=20"}, {}, false, 0, "updated",
         {"start", "image", "device", "record", "answer", "refused", "outcome"}},
        {{"--fault", "0:*:status=42"}, {}, false, 5, "update-error",
         {"start", "image", "device", "record", "answer", "refused", "outcome"}},
        {{"--id", "15"}, {}, false, 4, "reset", {"start", "image", "device", "outcome"}},
        {{"--fault", "id:*:silence"}, {}, false, 3, "no-device", {"start", "image", "waiting", "outcome"}},
        {{"--fault", "id:*:silence"}, {}, true, 130, "stopped-in-search", {"start", "image", "waiting", "outcome"}},
        {{}, {bad}, false, 1, "bad-image", {"start", "outcome"}},
    };
    for (const auto& c : cases) {
        const std::string line = ::testing::PrintToString(c.device) + " " + c.outcome;
        std::vector<std::string> arguments = c.arguments;
        arguments.push_back("--json");
        std::string output;
        const std::string waited = c.stop ? "\"waiting\"" : "";
        EXPECT_EQ(RunUpdater(folder, c.device, arguments, waited, "", &output), c.status) << line;
        const std::vector<JsonObject> events = Events(output);
        ASSERT_FALSE(events.empty()) << line;
        EXPECT_EQ(events.back().at("event"), "outcome") << line;
        EXPECT_EQ(events.back().at("name"), c.outcome) << line;
        EXPECT_EQ(events.back().at("exit"), std::to_string(c.status)) << line;
        EXPECT_EQ(Kinds(events), c.events) << line << "\n" << output;
        if (c.status == 0) {
            // What a production line compares and keeps: the image, and
            // every try, record 4 refused once in the device's words.
            const JsonObject& image = events[1];
            EXPECT_EQ(image.at("path") + " " + image.at("bytes") + " " + image.at("records") + " " + image.at("sha256"),
                      "Corvilent.led 1000 10 " + sha256.substr(0, 64));
            std::string tries;
            for (const JsonObject& event : events) {
                if (event.at("event") == "record") tries += event.at("index") + "/" + event.at("of") + ":" + event.at("try") + " ";
                if (event.at("event") == "refused") tries += event.at("status") + " " + event.at("text") + " ";
            }
            EXPECT_EQ(tries, "1/10:1 2/10:1 3/10:1 4/10:1 32 The CRC of the download file is error! 4/10:2 5/10:1 "
                             "6/10:1 7/10:1 8/10:1 9/10:1 10/10:1 ");
        }

        // The console's run, with a log: the same events, the exit its own.
        const std::string log = folder.root() + "/run.log";
        std::remove(log.c_str());
        arguments.back() = "--log=" + log;
        const int status = RunUpdater(folder, c.device, arguments, waited, log, &output);
        EXPECT_EQ(status, c.stop ? 130 : 0) << line;
        const std::vector<JsonObject> logged = Events(Read(log));
        ASSERT_FALSE(logged.empty()) << line;
        EXPECT_EQ(Kinds(logged), c.events) << line;
        EXPECT_EQ(logged.back().at("name"), c.outcome) << line;
        EXPECT_EQ(logged.back().at("exit"), std::to_string(status)) << line;
    }
}

}  // namespace
