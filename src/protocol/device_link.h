// The way to the device: the MIDI link whose ports the search opens and the
// transfer sends on, the ledger of the answers the device owes on them, and
// the user's request to stop, which both check. It belongs to the run; its
// ports close when it goes.
#pragma once

#include "base/stop_token.h"
#include "midi/midi_link.h"
#include "protocol/progress.h"
#include "protocol/reply_ledger.h"

struct DeviceLink {
    DeviceLink(ProtocolReporter& reporter, const StopToken& stopToken)
        : stop(stopToken), ledger(midi, reporter, stopToken) {}
    const StopToken& stop;
    MidiLink midi;
    ReplyLedger ledger;
};
