#include "midi/ResponseOptions.h"

#include <algorithm>

namespace midi {
namespace {

constexpr uint32_t kNoteToPitchBit = 0x1;
constexpr uint32_t kNewNoteStopsBit = 0x2;
constexpr uint32_t kLastNoteOffStopsBit = 0x4;
constexpr uint32_t kRestartOnNewNoteBit = 0x8;
constexpr uint32_t kRestartOnTiedNoteBit = 0x10;
constexpr uint32_t kProgramChangeBit = 0x20;
constexpr int kPitchBendShift = 8;
constexpr uint32_t kPitchBendMask = 0x1F;

}  // namespace

ResponseOptions decodeOptions(uint32_t word) {
    ResponseOptions options;
    options.noteToPitch = (word & kNoteToPitchBit) != 0;
    if (word & kLastNoteOffStopsBit)
        options.noteStopMode = kLastNoteOffStops;
    else if (word & kNewNoteStopsBit)
        options.noteStopMode = kNewNoteStops;
    options.restartOnNewNote = (word & kRestartOnNewNoteBit) != 0;
    options.restartOnTiedNote = (word & kRestartOnTiedNoteBit) != 0;
    options.programChangeOn = (word & kProgramChangeBit) != 0;
    options.maxPitchBend =
        std::min(static_cast<int32_t>((word >> kPitchBendShift) & kPitchBendMask), kMaxPitchBendRange);
    return options;
}

uint32_t packOptions(const ResponseOptions& options) {
    // The stop mode's value is its own bit (2 or 4).
    uint32_t word = (static_cast<uint32_t>(options.maxPitchBend) & kPitchBendMask) << kPitchBendShift;
    word += options.programChangeOn ? kProgramChangeBit : 0;
    word += options.restartOnTiedNote ? kRestartOnTiedNoteBit : 0;
    word += options.restartOnNewNote ? kRestartOnNewNoteBit : 0;
    word += static_cast<uint32_t>(options.noteStopMode);
    word += options.noteToPitch ? kNoteToPitchBit : 0;
    return word;
}

}  // namespace midi
