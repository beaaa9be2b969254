#pragma once

#include <array>
#include <cstdint>

#include "midi/MidiSettings.h"
#include "midi/ResponseOptions.h"
#include "midi/SharedWord.h"

namespace midi {

// `monitorInput` holds this while the device is being opened: all input is
// ignored until the open is complete.
inline constexpr int32_t kMonitorOpening = -33;

// The live MIDI settings: read by the MIDI input thread, changed by the main
// thread (options and response dialogs, menus) while MIDI may be arriving.
// Copying the record copies every field; the dialogs back it up that way and
// restore it on Cancel. Thread: any, field by field.
struct MidiControlSettings {
    SharedWord<int32_t> selectedDevice{0};  // list position of the input to open, -1 none
    SharedWord<int32_t> channel{0};         // 0 omni, 1..16 one channel
    SharedWord<bool> moveSliders{true};
    SharedWord<int32_t> monitorInput{1};  // 0 off, non-zero on, kMonitorOpening while opening
    SharedWord<bool> relativeFine{false};

    // Response options, decoded.
    SharedWord<bool> noteToPitch{false};
    SharedWord<int32_t> noteStopMode{kNotesNeverStop};
    SharedWord<bool> restartOnNewNote{false};
    SharedWord<bool> restartOnTiedNote{false};
    SharedWord<bool> programChangeOn{false};
    SharedWord<int32_t> maxPitchBend{0};

    std::array<SharedWord<ResponseRow>, kResponseRowCount> rows{};

    ResponseOptions options() const;
    void setOptions(const ResponseOptions& options);

    std::array<ResponseRow, kResponseRowCount> responseRows() const;
    void setResponseRows(const std::array<ResponseRow, kResponseRowCount>& newRows);

    // From and to the record the user's settings keep (options packed).
    void loadStored(const MidiSettings& stored);
    MidiSettings stored() const;
};

}  // namespace midi
