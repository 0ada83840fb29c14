// The program's logic run in this process, on the simulated platform, and
// what it prints.
#pragma once

#include <functional>
#include <set>
#include <string>

#include "device/image_maker.h"
#include "device/target_device.h"
#include "platform/winmm/winmm.h"
#include "base/stop_token.h"
#include "support/console_text.h"
#include "support/temp_folder.h"

// A fresh simulated platform with `inputs` and `outputs` ports named "In 0",
// "Out 0", ..., the device (if any) hearing `deviceOutputs` and answering on
// `deviceInputs`, 1 ms after it is done with a request.
void SetUpScene(unsigned inputs, unsigned outputs, const std::set<UINT>& deviceOutputs,
                const std::set<UINT>& deviceInputs, TargetDevice* device);

// What `step` printed on standard output.
std::string Captured(const std::function<void()>& step);

// How the run's text reaches its reader.
enum class Reader { kPlain, kTerminal, kBatch };

// A whole run in the folder, standard input at its end, its text as the face
// shows it: checks the exit status (0 unless the run was stopped) and that
// the run left no file open. The
// final wait's prompt belongs to the platform's command interpreter on
// Windows (and reads differently under Wine); it is given back as
// text::kFinalWait. In batch (a run that updates) there is none.
std::string RunUpdateIn(const TempFolder& folder, Reader reader = Reader::kPlain, const StopToken* stop = nullptr,
                        int status = 0);
