// How the device misbehaves, in the words the simulator's --fault takes and
// the tests use: WHICH:TRY:WHAT.
//   WHICH  a record of the image (from 0), a range of them (2-5), '*' for
//          every record, or 'id' for the identification requests
//   TRY    the try of that record or of the identification (from 0), a
//          range (0-18), or '*'
//   WHAT   silence            no answer at all
//          status=HEX         that status byte instead of its own
//          busy=MS            its own answer, after working MS on the
//                             request (erasing its memory, say) when the
//                             request finds it idle; what arrives meanwhile
//                             waits its turn
//          lone-byte          a lone F0
//          cut-short          F0 and its own status, without the F7
//          empty              F0 F7: two bytes, the F7 read as the status
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the device answers one request with.
struct Response {
    enum class Kind {
        kStatus,      // F0, the status byte, F7
        kSilence,     // nothing at all
        kOneByte,     // a lone F0
        kEmpty,       // F0 F7
        kIncomplete,  // F0 and the status byte, cut short before F7
    };
    Kind kind = Kind::kStatus;
    std::uint8_t status = 0;
    // The device works this long on the request before it answers;
    // messages that arrive meanwhile wait their turn.
    std::uint32_t busyMs = 0;
};

struct Fault {
    bool identification = false;
    std::size_t firstRecord = 0, lastRecord = SIZE_MAX;  // records only
    std::size_t firstTry = 0, lastTry = SIZE_MAX;
    Response response;
    bool ownStatus = false;  // the answer keeps the device's own status byte

    bool Covers(bool identificationRequest, std::size_t record, std::size_t attempt) const;
};

// Reads one fault; false when the text is not one.
bool ParseFault(const std::string& text, Fault* fault);
// Reads faults separated by spaces ("0:0-2:status=20 3:0:silence"); a test's
// shorthand. Aborts on one that is not.
std::vector<Fault> Faults(const std::string& text);
