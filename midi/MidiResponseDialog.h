#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "midi/MidiControlSettings.h"

namespace midi {

// Logic of the modal dialog "Configure MIDI Response Options": the state of
// its controls and what each user action changes. The live settings change
// while the dialog is open, so MIDI input follows at once; Cancel restores the
// whole record as it was at opening. Thread: main.
class MidiResponseDialog {
  public:
    // Control ids of the dialog's resource.
    static constexpr int kNoteToPitchId = 3001;              // "Note value --> Pitch"
    static constexpr int kNewNoteOnId = 3002;                // "New Note on"
    static constexpr int kUntiedNoteOffId = 3003;            // "(Untied) Note off"
    static constexpr int kTiedNoteId = 3004;                 // "Tied note"
    static constexpr int kNoteOffStopsId = 3010;             // "Note-off Stops Sound:"
    static constexpr int kNewNoteId = 3044;                  // "New note"
    static constexpr int kNoteResponseTitleId = 3020;        // "Note Response", bold
    static constexpr int kExpressionResponseTitleId = 3021;  // "Expression Response", bold
    static constexpr int kPitchBendSliderId = 1077;
    static constexpr int kPitchBendLabelId = 1078;
    static constexpr int kFirstSourceComboId = 3301;  // + row
    static constexpr int kFirstTargetComboId = 3401;
    static constexpr int kFirstFromEditId = 3501;
    static constexpr int kFirstToEditId = 3601;
    static constexpr int kFirstFromUpDownId = 3701;
    static constexpr int kFirstToUpDownId = 3801;
    static constexpr int kHelpId = 83;
    static constexpr const char* kTitle = "Configure MIDI Response Options";
    static constexpr const char* kHelpKeyword = "Midi response dialog";

    struct CheckBox {
        bool checked = false;
        bool enabled = true;
    };
    struct RowControls {
        int32_t sourceIndex = 0;  // selection of the source combo
        int32_t targetIndex = 0;  // selection of the target combo
        int32_t from = 0;         // text of the From edit
        int32_t to = 0;           // text of the To edit
    };
    struct Controls {
        CheckBox noteToPitch, noteOffStops, newNoteOn, untiedNoteOff, newNote, tiedNote;
        int32_t pitchBendSlider = 0;  // range 0..24
        std::string pitchBendLabel;
        std::array<RowControls, kResponseRowCount> rows{};
    };

    // Opens the dialog on the live settings, keeping a copy for Cancel.
    explicit MidiResponseDialog(MidiControlSettings& settings);

    const Controls& controls() const { return controls_; }

    // Slider moved (line, page or thumb track).
    void movePitchBendSlider(int32_t position);
    void clickNoteToPitch();
    void clickNoteOffStops();
    // One of the two stop-mode radios: 3002 or 3003.
    void clickStopRadio(int id);
    void clickNewNote();
    void clickTiedNote();
    void chooseSource(int row, int32_t index);
    void chooseTarget(int row, int32_t index);
    // An edit losing the focus with the number entered; it is clamped to
    // 0..100 and written back.
    void leaveFromEdit(int row, int32_t entered);
    void leaveToEdit(int row, int32_t entered);

    // OK: keeps the rows that have a source, a target and From != To, moved up
    // in order, and returns the packed response options for the settings.
    uint32_t ok();
    // Cancel: the settings as they were at opening.
    void cancel();

  private:
    void setStopRadios(bool enabled, int checkedId);
    void refreshPitchBendLabel();

    MidiControlSettings& settings_;
    const MidiControlSettings saved_;
    Controls controls_;
};

}  // namespace midi
