#include "midi/MidiResponseDialog.h"

#include <gtest/gtest.h>

#include "midi/ResponseRowFields.h"

namespace midi {
namespace {

using Dialog = MidiResponseDialog;

class MidiResponseDialogTest : public ::testing::Test {
  protected:
    MidiResponseDialogTest() { settings.setOptions(decodeOptions(kDefaultResponseOptions)); }
    MidiControlSettings settings;
};

// (checked, enabled) of a check box or radio button.
std::pair<bool, bool> state(const Dialog::CheckBox& box) {
    return {box.checked, box.enabled};
}

TEST_F(MidiResponseDialogTest, OpeningShowsTheOptionsAndRows) {
    settings.rows[0] = 0x14000000u | 0xC0000u | (10u << 8) | 90u;
    Dialog dialog(settings);
    const auto& c = dialog.controls();
    EXPECT_TRUE(c.noteToPitch.checked);
    EXPECT_TRUE(c.noteOffStops.checked);
    EXPECT_EQ(state(c.untiedNoteOff), std::pair(true, true));
    EXPECT_FALSE(c.newNoteOn.checked);
    EXPECT_TRUE(c.newNote.checked);
    EXPECT_EQ(state(c.tiedNote), std::pair(false, true));
    EXPECT_EQ(std::pair(c.pitchBendSlider, c.pitchBendLabel), std::pair(7, std::string("7 notes")));
    EXPECT_EQ(std::tuple(c.rows[0].sourceIndex, c.rows[0].targetIndex, c.rows[0].from, c.rows[0].to),
              std::tuple(1, 12, 10, 90));
    EXPECT_EQ(c.rows[1].sourceIndex, 0);

    settings.setOptions(decodeOptions(0x10));  // tied-note restart alone
    Dialog bare(settings);
    const auto& b = bare.controls();
    EXPECT_FALSE(b.noteOffStops.checked);
    EXPECT_FALSE(b.newNoteOn.enabled);
    EXPECT_FALSE(b.untiedNoteOff.enabled);
    EXPECT_FALSE(b.tiedNote.enabled);
    EXPECT_FALSE(settings.restartOnTiedNote);  // cleared: it needs the new-note restart
    EXPECT_EQ(b.pitchBendLabel, "None");
}

TEST_F(MidiResponseDialogTest, ControlsChangeTheSettingsAtOnce) {
    Dialog dialog(settings);
    const auto& c = dialog.controls();
    dialog.clickStopRadio(Dialog::kNewNoteOnId);
    EXPECT_EQ(settings.noteStopMode, kNewNoteStops);
    EXPECT_EQ(std::pair(c.newNoteOn.checked, c.untiedNoteOff.checked), std::pair(true, false));
    dialog.clickNoteOffStops();  // off: radios disabled, notes never stop
    EXPECT_EQ(settings.noteStopMode, kNotesNeverStop);
    EXPECT_FALSE(c.newNoteOn.enabled);
    dialog.clickNoteOffStops();  // on again: the release radio
    EXPECT_EQ(settings.noteStopMode, kLastNoteOffStops);
    EXPECT_TRUE(c.untiedNoteOff.checked);
    dialog.clickNoteToPitch();  // off: a new note toggles the sound
    EXPECT_FALSE(settings.noteToPitch);
    EXPECT_EQ(settings.noteStopMode, kNewNoteStops);
    EXPECT_TRUE(c.untiedNoteOff.checked);  // the radios keep their look

    dialog.clickTiedNote();
    EXPECT_TRUE(settings.restartOnTiedNote);
    dialog.clickNewNote();  // off: tied-note restart cleared and disabled
    EXPECT_FALSE(settings.restartOnNewNote);
    EXPECT_FALSE(settings.restartOnTiedNote);
    EXPECT_FALSE(c.tiedNote.enabled);
    dialog.clickTiedNote();  // disabled: no effect
    EXPECT_FALSE(settings.restartOnTiedNote);
    dialog.clickNewNote();
    EXPECT_EQ(state(c.tiedNote), std::pair(false, true));

    dialog.movePitchBendSlider(12);
    EXPECT_EQ(settings.maxPitchBend, 12);
    EXPECT_EQ(c.pitchBendLabel, "12 notes");
    dialog.movePitchBendSlider(0);
    EXPECT_EQ(c.pitchBendLabel, "None");
}

TEST_F(MidiResponseDialogTest, OkPacksOptionsAndCompactsRows) {
    Dialog dialog(settings);
    dialog.chooseSource(0, 1);  // row 1: Velocity, target None: dropped
    dialog.leaveToEdit(0, 100);
    dialog.chooseSource(1, 3);  // row 2: Aftertouch -> Attack, 0..150 clamped to 100
    dialog.chooseTarget(1, 10);
    dialog.leaveToEdit(1, 150);
    EXPECT_EQ(dialog.controls().rows[1].to, 100);
    dialog.chooseTarget(2, 4);  // row 3: no source: dropped
    dialog.leaveToEdit(2, 50);
    dialog.chooseSource(3, 4);  // row 4: Pitchbend -> Decay with From = To: dropped
    dialog.chooseTarget(3, 11);
    dialog.leaveFromEdit(3, 40);
    dialog.leaveToEdit(3, 40);
    dialog.chooseSource(5, 5);  // row 6: Note/Pbend -> Glissando 100..-3 clamped to 0
    dialog.chooseTarget(5, 7);
    dialog.leaveFromEdit(5, 100);
    dialog.leaveToEdit(5, -3);
    dialog.movePitchBendSlider(24);
    dialog.clickTiedNote();

    EXPECT_EQ(dialog.ok(), 0x1800u + 0x20 + 0x10 + 0x8 + 0x4 + 0x1);
    const std::array<ResponseRow, kResponseRowCount> expected{
        0x38000000u | 0xA0000u | 100u, 0x53000000u | 0x70000u | (100u << 8), 0, 0, 0, 0};
    EXPECT_EQ(settings.responseRows(), expected);
}

TEST_F(MidiResponseDialogTest, CancelRestoresTheWholeRecord) {
    settings.rows[2] = 0x14000000u | 0xC0000u | 90u;
    settings.channel = 3;
    const MidiSettings before = settings.stored();
    Dialog dialog(settings);
    dialog.movePitchBendSlider(20);
    dialog.clickNoteOffStops();
    dialog.clickNewNote();
    dialog.chooseSource(2, 0);
    dialog.leaveFromEdit(4, 30);
    dialog.cancel();
    EXPECT_EQ(settings.stored(), before);
}

}  // namespace
}  // namespace midi
