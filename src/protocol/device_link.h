// The way to the device: the MIDI link whose ports the search opens and the
// transfer sends on, and the ledger of the answers the device owes on them.
// It belongs to the run; its ports close when it goes.
#pragma once

#include "midi/midi_link.h"
#include "protocol/progress.h"
#include "protocol/reply_ledger.h"

struct DeviceLink {
    explicit DeviceLink(ProtocolReporter& reporter) : ledger(midi, reporter) {}
    MidiLink midi;
    ReplyLedger ledger;
};
