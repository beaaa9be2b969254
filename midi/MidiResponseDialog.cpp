#include "midi/MidiResponseDialog.h"

#include <algorithm>

#include "midi/ResponseRowFields.h"

namespace midi {

MidiResponseDialog::MidiResponseDialog(MidiControlSettings& settings)
    : settings_(settings), saved_(settings) {
    controls_.noteToPitch.checked = settings_.noteToPitch;
    const int32_t mode = settings_.noteStopMode;
    if (mode == kNotesNeverStop) {
        setStopRadios(false, 0);
    } else {
        controls_.noteOffStops.checked = true;
        setStopRadios(true, mode == kNewNoteStops ? kNewNoteOnId : kUntiedNoteOffId);
    }
    if (!settings_.restartOnNewNote) {
        settings_.restartOnTiedNote = false;
        controls_.tiedNote.enabled = false;
    } else {
        controls_.newNote.checked = true;
        controls_.tiedNote.checked = settings_.restartOnTiedNote;
    }
    controls_.pitchBendSlider = std::clamp<int32_t>(settings_.maxPitchBend, 0, kMaxPitchBendRange);
    refreshPitchBendLabel();
    for (size_t i = 0; i < controls_.rows.size(); ++i) {
        const ResponseRow row = settings_.rows[i];
        controls_.rows[i] =
            RowControls{static_cast<int32_t>(responseSourceIndex(row)),
                        static_cast<int32_t>(responseTargetIndex(row)), responseFrom(row), responseTo(row)};
    }
}

void MidiResponseDialog::setStopRadios(bool enabled, int checkedId) {
    controls_.newNoteOn.enabled = controls_.untiedNoteOff.enabled = enabled;
    if (checkedId != 0) {
        controls_.newNoteOn.checked = checkedId == kNewNoteOnId;
        controls_.untiedNoteOff.checked = checkedId == kUntiedNoteOffId;
    }
}

void MidiResponseDialog::refreshPitchBendLabel() {
    const int32_t notes = controls_.pitchBendSlider;
    controls_.pitchBendLabel = notes == 0 ? "None" : std::to_string(notes) + " notes";
}

void MidiResponseDialog::movePitchBendSlider(int32_t position) {
    controls_.pitchBendSlider = std::clamp<int32_t>(position, 0, kMaxPitchBendRange);
    settings_.maxPitchBend = controls_.pitchBendSlider;
    refreshPitchBendLabel();
}

void MidiResponseDialog::clickNoteToPitch() {
    controls_.noteToPitch.checked = !controls_.noteToPitch.checked;
    settings_.noteToPitch = controls_.noteToPitch.checked;
    // Without note pitches a new note toggles the sound (the radios keep their look).
    if (!controls_.noteToPitch.checked)
        settings_.noteStopMode = kNewNoteStops;
}

void MidiResponseDialog::clickNoteOffStops() {
    controls_.noteOffStops.checked = !controls_.noteOffStops.checked;
    if (controls_.noteOffStops.checked) {
        setStopRadios(true, kUntiedNoteOffId);
        settings_.noteStopMode = kLastNoteOffStops;
    } else {
        setStopRadios(false, 0);
        settings_.noteStopMode = kNotesNeverStop;
    }
}

void MidiResponseDialog::clickStopRadio(int id) {
    if (!controls_.newNoteOn.enabled)
        return;
    setStopRadios(true, id);
    settings_.noteStopMode = controls_.newNoteOn.checked ? kNewNoteStops : kLastNoteOffStops;
}

void MidiResponseDialog::clickNewNote() {
    controls_.newNote.checked = !controls_.newNote.checked;
    settings_.restartOnNewNote = !settings_.restartOnNewNote;
    settings_.restartOnTiedNote = false;
    controls_.tiedNote.enabled = settings_.restartOnNewNote;
    controls_.tiedNote.checked = false;
}

void MidiResponseDialog::clickTiedNote() {
    if (!controls_.tiedNote.enabled)
        return;
    controls_.tiedNote.checked = !controls_.tiedNote.checked;
    settings_.restartOnTiedNote = !settings_.restartOnTiedNote;
}

void MidiResponseDialog::chooseSource(int row, int32_t index) {
    auto& slot = settings_.rows[static_cast<size_t>(row)];
    slot = withSourceIndex(slot, static_cast<uint32_t>(index));
    controls_.rows[static_cast<size_t>(row)].sourceIndex = index;
}

void MidiResponseDialog::chooseTarget(int row, int32_t index) {
    auto& slot = settings_.rows[static_cast<size_t>(row)];
    slot = withTargetIndex(slot, static_cast<uint32_t>(index));
    controls_.rows[static_cast<size_t>(row)].targetIndex = index;
}

void MidiResponseDialog::leaveFromEdit(int row, int32_t entered) {
    const int32_t percent = std::clamp(entered, 0, kMaxPercent);
    auto& slot = settings_.rows[static_cast<size_t>(row)];
    slot = withFrom(slot, percent);
    controls_.rows[static_cast<size_t>(row)].from = percent;
}

void MidiResponseDialog::leaveToEdit(int row, int32_t entered) {
    const int32_t percent = std::clamp(entered, 0, kMaxPercent);
    auto& slot = settings_.rows[static_cast<size_t>(row)];
    slot = withTo(slot, percent);
    controls_.rows[static_cast<size_t>(row)].to = percent;
}

uint32_t MidiResponseDialog::ok() {
    settings_.setResponseRows(compactRows(settings_.responseRows()));
    return packOptions(settings_.options());
}

void MidiResponseDialog::cancel() {
    settings_ = saved_;
}

}  // namespace midi
