#pragma once

#include <cstdint>

namespace midi {

// How notes start, restart and stop the sound, decoded from the packed
// "MIDI response (0)" word.
enum NoteStopMode : int32_t {
    kNotesNeverStop = 0,
    kNewNoteStops = 2,      // a note-on while playing stops the sound
    kLastNoteOffStops = 4,  // releasing the last held note stops the sound
};

inline constexpr int32_t kMaxPitchBendRange = 24;  // semitones

struct ResponseOptions {
    bool noteToPitch = false;
    int32_t noteStopMode = kNotesNeverStop;
    bool restartOnNewNote = false;
    bool restartOnTiedNote = false;
    bool programChangeOn = false;
    int32_t maxPitchBend = 0;  // 0..24 semitones

    bool operator==(const ResponseOptions&) const = default;
};

// Thread: any (pure).
ResponseOptions decodeOptions(uint32_t word);
uint32_t packOptions(const ResponseOptions& options);

}  // namespace midi
