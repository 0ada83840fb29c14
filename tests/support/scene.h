// The program's logic run in this process, on the simulated platform, and
// what it prints.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "base/stop_token.h"
#include "device/image_maker.h"
#include "device/target_device.h"
#include "platform/winmm/winmm.h"
#include "sim/sim_platform.h"
#include "support/console_text.h"
#include "support/temp_folder.h"

// A fresh simulated platform with `inputs` and `outputs` ports named "In 0",
// "Out 0", ..., the device (if any) hearing `deviceOutputs` and answering on
// `deviceInputs`, 1 ms after it is done with a request.
void SetUpScene(unsigned inputs, unsigned outputs, const std::set<UINT>& deviceOutputs = {},
                const std::set<UINT>& deviceInputs = {}, TargetDevice* device = nullptr);

// What `step` printed on standard output.
std::string Captured(const std::function<void()>& step);

// What a run of the whole program printed, and its exit status.
struct ProgramRun {
    int status;
    std::string out;  // standard output
    std::string err;  // standard error
};

// The whole program run in this process as `tessarine-update ARGUMENTS` runs
// in the folder, standard input at its end, on a terminal or not; checks
// that it left no file open. The final wait's prompt belongs to the
// platform's command interpreter on Windows (and reads differently under
// Wine); it is given back as text::kFinalWait.
ProgramRun RunProgramIn(const TempFolder& folder, const std::vector<std::string>& arguments = {},
                        const StopToken* stop = nullptr, bool terminal = false);
