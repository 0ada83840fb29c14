#include "driver/outcome.h"

namespace {

struct Status {
    Ending ending;
    int status;
};

constexpr Status kStatuses[] = {
    {Ending::kUpdated, kExitUpdated},
    {Ending::kRestarted, kExitUpdated},
    {Ending::kDryRunFound, kExitUpdated},
    {Ending::kNoImageFile, kExitImageFailed},
    {Ending::kNotFit, kExitImageFailed},
    {Ending::kCannotOpen, kExitImageFailed},
    {Ending::kBadImage, kExitImageFailed},
    {Ending::kNoDevice, kExitNoDevice},
    {Ending::kResetRequested, kExitResetRequested},
    {Ending::kOutputMissing, kExitTransferFailed},
    {Ending::kNotResponding, kExitTransferFailed},
    {Ending::kUpdateError, kExitTransferFailed},
    {Ending::kStoppedBeforeSearch, kExitInterrupted},
    {Ending::kStoppedInSearch, kExitInterrupted},
    {Ending::kStoppedBeforeWrite, kExitInterrupted},
    {Ending::kStoppedInTransfer, kExitInterrupted},
};

}  // namespace

int BatchExitStatus(Ending ending) {
    for (const Status& row : kStatuses) {
        if (row.ending == ending) return row.status;
    }
    return kExitTransferFailed;
}

bool Stopped(Ending ending) { return BatchExitStatus(ending) == kExitInterrupted; }
