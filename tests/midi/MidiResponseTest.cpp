// How MIDI input maps onto parameters: the packed response options and row words, controllers, note pitch
// and the response rows, and the dialog that edits them.
#include "engine/ParamSpec.h"
#include "midi/MidiResponse.h"
#include "midi/MidiResponseDialog.h"
#include "midi/ResponseRowFields.h"
#include "midi/ResponseTables.h"
#include "platform/MessageQueue.h"
#include "tests/midi/FakeMidiTarget.h"

#include <gtest/gtest.h>

#include <optional>

namespace midi {
namespace {
using Change = testing::FakeMidiTarget::Change;
using Moves = std::vector<std::pair<int, int64_t>>;
using Move = std::pair<int, int64_t>;

TEST(ResponseOptions, DefaultWordStopModeBitsBendRangeLimitsAndRoundTrips) {
    // Pitch, last note off stops, restart on a new note, program changes, seven semitones.
    const ResponseOptions o = decodeOptions(kDefaultResponseOptions);
    EXPECT_EQ(std::tuple(o.noteToPitch, o.noteStopMode, o.restartOnNewNote, o.restartOnTiedNote,
                         o.programChangeOn, o.maxPitchBend),
              std::tuple(true, kLastNoteOffStops, true, false, true, 7));
    EXPECT_EQ(packOptions(o), 0x72Du);
    // Stop mode bits: bit 2 wins over bit 1.
    EXPECT_EQ(std::tuple(decodeOptions(0x2).noteStopMode, decodeOptions(0x6).noteStopMode,
                         decodeOptions(0x0).noteStopMode),
              std::tuple(kNewNoteStops, kLastNoteOffStops, kNotesNeverStop));
    // Bend ranges: 31 is more than the range.
    EXPECT_EQ(std::tuple(decodeOptions(0x1F00).maxPitchBend, decodeOptions(0x1800).maxPitchBend,
                         decodeOptions(0x1700).maxPitchBend),
              std::tuple(24, 24, 23));
    for (uint32_t flags = 0; flags < 0x40; ++flags) {
        if ((flags & 0x6) == 0x6)
            continue;  // both stop bits: decodes to mode 4 alone
        for (uint32_t bend = 0; bend <= 24; bend += 6) {
            const uint32_t word = flags | (bend << 8);
            EXPECT_EQ(packOptions(decodeOptions(word)), word) << std::hex << word;
        }
    }
}

// Source index 1 (Velocity, flags 0x4000000), target 12 (Output amp), From 20, To 90.
constexpr ResponseRow kVelocityToAmp = 0x14000000u | 0x000C0000u | (20u << 8) | 90u;

TEST(ResponseRowFields, ReadersWritersWhichClampPercentagesAndCompaction) {
    // (The fields of a hand-made word are read with the dialog that shows them.)
    const ResponseRow k = kVelocityToAmp;
    EXPECT_EQ(std::tuple(responseSourceFlags(k), responseTargetParam(k),
                         responseTargetParam(withTargetIndex(k, 1))),
              std::tuple(kSourceVelocity, 23, 4));
    for (uint32_t none : {0u, 13u, 15u})
        EXPECT_FALSE(responseTargetParam(withTargetIndex(k, none)))
            << "target " << none << " has no parameter";

    // Writers replace one field; percentages are clamped to 0..100.
    const ResponseRow row =
        withTo(withFrom(withTargetIndex(withSourceIndex(0, 5), 3), 150), -4);  // Note/Pbend
    EXPECT_EQ(std::pair(withSourceIndex(0, 5), row),
              std::pair(0x53000000u, 0x53000000u | 0x30000u | (100u << 8)));
    EXPECT_EQ(std::tuple(responseSourceFlags(withSourceIndex(row, 0)),
                         responseTargetIndex(withSourceIndex(row, 0))),
              std::tuple(0u, 3u));

    // Compaction drops incomplete rows and moves the rest up.
    const ResponseRow noSource = withSourceIndex(kVelocityToAmp, 0);
    const ResponseRow noTarget = withTargetIndex(kVelocityToAmp, 0);
    const ResponseRow noSpan = withTo(kVelocityToAmp, 20);
    const ResponseRow bend = withSourceIndex(withTargetIndex(kVelocityToAmp, 7), 4);
    const auto kept = compactRows({noSource, kVelocityToAmp, noTarget, noSpan, 0, bend});
    const std::array<ResponseRow, kResponseRowCount> expected{kVelocityToAmp, bend, 0, 0, 0, 0};
    EXPECT_EQ(kept, expected);
}

class MidiResponseTest : public ::testing::Test {
  protected:
    MidiResponseTest() { settings.maxPitchBend = 2; }

    // The scroll bar moves posted, as (parameter, position).
    Moves sliderMoves() {
        Moves moves;
        while (auto message = queue.take())
            if (platform::isMoveScrollBarMessage(message->number))
                moves.emplace_back(message->number - platform::kMsgMoveScrollBar, message->first);
        return moves;
    }

    MidiControlSettings settings;
    testing::FakeMidiTarget target;
    platform::MessageQueue queue;
    MidiResponse response{settings, target, queue};
};

ResponseRow row(uint32_t source, uint32_t target, int32_t from, int32_t to) {
    return withTo(withFrom(withTargetIndex(withSourceIndex(0, source), target), from), to);
}

TEST_F(MidiResponseTest, CoarseControllersSetTheParameterAndItsCoarseValueAndFineOnesAddToIt) {
    // A coarse controller sets trunc(min + step × d) and puts the slider at trunc(min + step × (128 − d)),
    // data d above 63 counting one more; a fine one adds trunc(step × d + 0.5) to the coarse value, within
    // the range, and changes nothing when that leaves the coarse value. Each row follows the ones before.
    const struct {
        int controller, data, param;
        std::optional<int32_t> value, position;  // none: no change
    } steps[] = {
        {7, 64, engine::LengthRnd, 130, 2 * (128 - 65)},  // LengthRnd (0..256): step 2
        // Freq's step is 16359 / 128 = 127.8046875: trunc(25 + 8051.695...), trunc(25 + 8307.3).
        {11, 63, engine::Freq, 25 + 8051, 25 + 8307},
        {31, 0, engine::PanPos, 256, -256},  // pan runs from left to right
        {31, 127, engine::PanPos, -256, 256},
        {17, 96, engine::Pitch, 8448, -8448},        // -16384 + 256 × 97; -16384 + 256 × 31
        {49, 64, engine::Pitch, 8578, -8578},        // + 2 × 65 + 0.5; fine sliders mirror the value
        {49, 0, engine::Pitch, std::nullopt, {}},    // no offset: the coarse value again
        {17, 127, engine::Pitch, 16384, -16384},     // Pitch at the top
        {49, 127, engine::Pitch, std::nullopt, {}},  // clamped back to the coarse value
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(::testing::Message() << "controller " << step.controller << ", data " << step.data);
        target.changes.clear();
        response.controllerChange(0, step.controller, step.data);
        const auto changes =
            step.value ? std::vector<Change>{{0, step.param, *step.value, 12.8}} : std::vector<Change>{};
        const auto moves = step.value ? Moves{{step.param, *step.position}} : Moves{};
        EXPECT_EQ(std::pair(target.changes, sliderMoves()), std::pair(changes, moves));
    }
    EXPECT_EQ(std::pair(target.coarse[0][engine::LengthRnd], target.coarse[0][engine::Pitch]),
              std::pair(130, 16384));
}

TEST_F(MidiResponseTest, RelativeFineControllersStepFromTheTargetOrTheSmoothedValueAndSlidersFollow) {
    settings.relativeFine = true;
    // Data 72 counts as 73: (1 + 1) * 9 = 18 fine steps of 2 from the default 6144.
    response.controllerChange(0, 49, 72);
    EXPECT_EQ(target.changes.back(), (Change{0, engine::Pitch, 6144 + 36, 12.8}));
    // Data 55: (2 + 1) * -9 = -27 steps, from the new target 6180.
    response.controllerChange(0, 49, 55);
    EXPECT_EQ(target.changes.back().value, 6180 - 54);
    // Pan keeps its side: data 127 counts as 128, (8 + 1) * 64 = 576 steps of 1/32 = 18 to the right.
    target.targets[0][engine::PanPos] = 100;  // left of the middle
    response.controllerChange(0, 63, 127);
    EXPECT_EQ(target.changes.back().value, 82);

    target.playing = true;
    target.currents[0][engine::Pitch] = 5000.9f;
    response.controllerChange(0, 49, 72);
    EXPECT_EQ(target.changes.back().value, 5000 + 36);

    // Sliders follow only for the current stream, and only with move sliders.
    (void)sliderMoves();
    target.changes.clear();
    target.exists[1] = true;
    response.controllerChange(1, 7, 10);
    settings.moveSliders = false;
    response.controllerChange(0, 7, 10);
    EXPECT_EQ(std::pair(sliderMoves().empty(), target.changes.size()), std::pair(true, 2ul));
}

TEST_F(MidiResponseTest, NotePitchFollowsTheTableTheBendRangeAndTheDirection) {
    // Note 60 is 6144 and 62 is 6881 in the pitch table, 58 is 5461, 72 is 9830, 0 is 1293,
    // 110 + 24 is past its top (bend towards 16384 from 110's 15548).
    // (label, bend range, note, bend, target and smoothed pitch before, new pitch); the sign of the
    // target before is the playing direction.
    const std::tuple<const char*, int, int, int32_t, int32_t, float, int32_t> cases[] = {
        {"half bend up: 6144 + 8192 * 737 / 16384 = 6512.5, truncated", 2, 60, 8192, 6144, 6144, 6512},
        {"full bend down reaches note 58 exactly", 2, 60, -16384, 6144, 6144, 5461},
        {"full bend up: 16511 * 737 / 16384 = 742.7", 2, 60, 16511, 6144, 6144, 6144 + 742},
        {"past the top of the table: towards 16384", 24, 110, 8192, 6144, 6144, 15548 + (16384 - 15548) / 2},
        {"below the table: towards note 0", 24, 1, -16384, 6144, 6144, 1293},
        {"no bend range: the table value alone", 0, 72, -16384, 6144, 6144, 9830},
        {"reverse playback stays reverse", 2, 60, 0, -100, -100, -6144},
        {"a bend without a note keeps the smoothed pitch", 2, -1, 16511, -5000, -5000.7f, -5000},
    };
    for (const auto& [label, bendRange, note, bend, pitchBefore, currentBefore, pitch] : cases) {
        SCOPED_TRACE(label);
        settings.maxPitchBend = bendRange;
        target.targets[0][engine::Pitch] = pitchBefore;
        target.currents[0][engine::Pitch] = currentBefore;
        response.notePitch(0, LastNote{.note = note, .pitchBend = bend});
        ASSERT_FALSE(target.changes.empty());
        EXPECT_EQ(std::pair(target.changes.back(), sliderMoves().back()),
                  std::pair(Change{0, engine::Pitch, pitch, 0.64}, Move{engine::Pitch, -pitch}));
    }
}

TEST_F(MidiResponseTest, ResponseRowsMapTheirInputOntoTheTargetRange) {
    const LastNote bendZero;                               // input 64
    const LastNote noteUp{.note = 60, .pitchBend = 8192};  // 64 after the shift by 7, 60 + 67 * 64 / 128 = 93
    const LastNote noteDown{.note = 60, .pitchBend = -8192};  // 60 + 60 * -64 / 128 = 30
    auto velocity = [](int32_t v) { return LastNote{.velocity = v}; };
    auto aftertouch = [](int32_t a) { return LastNote{.aftertouch = a}; };
    // (label, row, input, Rate's target before for the signed target, parameter, value); each row is
    // applied for the source kinds it names.
    const std::tuple<const char*, ResponseRow, LastNote, int32_t, int, int32_t> cases[] = {
        {"velocity 0 to Amp", row(1, 12, 0, 100), velocity(0), 0, engine::Amp, 0},
        {"velocity 128 to Amp", row(1, 12, 0, 100), velocity(128), 0, engine::Amp, 1024},
        // Grain freq (25..16384) from 80 % down to 10 %, aftertouch 32:
        // 25 + (16359 * 80 + 16359 * -70 * 32 / 128) / 100 = 25 + (1308720 - 286282) / 100.
        {"from above to below", row(3, 3, 80, 10), aftertouch(32), 0, engine::Freq, 25 + 10224},
        {"negative aftertouch counts as 0", row(3, 3, 0, 100), aftertouch(-1), 0, engine::Freq, 25},
        {"signed target, positive", row(4, 1, 0, 50), bendZero, 0, engine::Rate, 8192 * 50 * 64 / 128 / 100},
        {"signed target keeps its sign", row(4, 1, 0, 50), bendZero, -1, engine::Rate, -2048},
        // Attack 0..256, 0..100 %: 256 * 100 * 93 / 128 / 100 = 186.
        {"note and bend up", row(5, 10, 0, 100), noteUp, 0, engine::Attack, 186},
        {"note and bend down: 256 * 30 / 128", row(5, 10, 0, 100), noteDown, 0, engine::Attack, 60},
        {"the note alone: 256 * 60 / 128", row(6, 10, 0, 100), noteDown, 0, engine::Attack, 120},
        {"To 127 from edited settings stops at the range", withTargetIndex(withSourceIndex(0, 1), 3) | 127u,
         velocity(128), 0, engine::Freq, 16384},
    };
    for (const auto& [label, row, input, rateBefore, param, value] : cases) {
        SCOPED_TRACE(label);
        target.targets[0][engine::Rate] = rateBefore;
        response.MapMIDIresponse(row, 0, input, responseSourceFlags(row));
        ASSERT_FALSE(target.changes.empty());
        EXPECT_EQ(target.changes.back(), (Change{0, param, value, 12.8}));
        // The slider of the current stream follows, upside down (Amp runs 0..1024).
        const auto moves = sliderMoves();
        if (param == engine::Amp) {
            EXPECT_EQ(moves.back(), (Move{engine::Amp, 1024 - value}));
        }
    }

    // Rows without a target are skipped.
    target.changes.clear();
    response.MapMIDIresponse(row(1, 0, 0, 100), 0, velocity(100), kSourceVelocity);
    response.MapMIDIresponse(row(1, 14, 0, 100), 0, velocity(100), kSourceVelocity);
    EXPECT_TRUE(target.changes.empty());
}

TEST_F(MidiResponseTest, ApplyResponsesSelectsRowsByEvent) {
    settings.rows[0] = row(1, 12, 0, 100);  // velocity -> Amp
    settings.rows[1] = row(3, 10, 0, 100);  // aftertouch -> Attack
    settings.rows[2] = row(4, 11, 0, 100);  // bend -> Decay
    settings.rows[3] = 0;                   // an empty row ends the note-start visit
    settings.rows[4] = row(6, 7, 0, 100);   // note -> Gliss
    LastNote input{.note = 64, .velocity = 128, .aftertouch = 64};
    const std::pair<ResponseEvent, Change> cases[] = {
        {ResponseEvent::NoteStart, {0, engine::Amp, 1024, 12.8}},
        {ResponseEvent::Aftertouch, {0, engine::Attack, 128, 12.8}},
        {ResponseEvent::PitchBend, {0, engine::Decay, 128, 12.8}},  // bend 0: input 64
        {ResponseEvent::NoteRelease, {0, engine::Amp, 0, 12.8}},    // with velocity 0
    };
    for (const auto& [event, change] : cases) {
        target.changes.clear();
        if (event == ResponseEvent::NoteRelease)
            input.velocity = 0;
        response.applyResponses(0, input, event);
        EXPECT_EQ(target.changes, std::vector<Change>{change}) << static_cast<int>(event);
    }
}

using Dialog = MidiResponseDialog;

// Settings with the default response options.
MidiControlSettings defaults() {
    MidiControlSettings settings;
    settings.setOptions(decodeOptions(kDefaultResponseOptions));
    return settings;
}

// (checked, enabled) of a check box or radio button.
std::pair<bool, bool> state(const Dialog::CheckBox& box) {
    return {box.checked, box.enabled};
}

TEST(MidiResponseDialog, OpeningShowsTheOptionsAndRowsAndControlsChangeTheSettingsAtOnce) {
    MidiControlSettings settings = defaults();
    settings.rows[0] = 0x14000000u | 0xC0000u | (10u << 8) | 90u;
    Dialog dialog(settings);
    const auto& c = dialog.controls();
    // Note to pitch; the last note-off stops; a new note restarts, a tied one does not.
    EXPECT_EQ(std::tuple(c.noteToPitch.checked, c.noteOffStops.checked, state(c.untiedNoteOff),
                         c.newNoteOn.checked, c.newNote.checked, state(c.tiedNote)),
              std::tuple(true, true, std::pair(true, true), false, true, std::pair(false, true)));
    EXPECT_EQ(std::pair(c.pitchBendSlider, c.pitchBendLabel), std::pair(7, std::string("7 notes")));
    EXPECT_EQ(std::tuple(c.rows[0].sourceIndex, c.rows[0].targetIndex, c.rows[0].from, c.rows[0].to,
                         c.rows[1].sourceIndex),
              std::tuple(1, 12, 10, 90, 0));

    dialog.clickStopRadio(Dialog::kNewNoteOnId);
    EXPECT_EQ(std::tuple(settings.noteStopMode, c.newNoteOn.checked, c.untiedNoteOff.checked),
              std::tuple(kNewNoteStops, true, false));
    dialog.clickNoteOffStops();  // off: radios disabled, notes never stop
    EXPECT_EQ(std::tuple(settings.noteStopMode, c.newNoteOn.enabled), std::tuple(kNotesNeverStop, false));
    dialog.clickNoteOffStops();  // on again: the release radio
    EXPECT_EQ(std::tuple(settings.noteStopMode, c.untiedNoteOff.checked),
              std::tuple(kLastNoteOffStops, true));
    dialog.clickNoteToPitch();  // off: a new note toggles the sound; the radios keep their look
    EXPECT_EQ(std::tuple(settings.noteToPitch, settings.noteStopMode, c.untiedNoteOff.checked),
              std::tuple(false, kNewNoteStops, true));

    dialog.clickTiedNote();
    EXPECT_TRUE(settings.restartOnTiedNote);
    dialog.clickNewNote();  // off: tied-note restart cleared and disabled
    EXPECT_EQ(std::tuple(settings.restartOnNewNote, settings.restartOnTiedNote, c.tiedNote.enabled),
              std::tuple(false, false, false));
    dialog.clickTiedNote();  // disabled: no effect
    EXPECT_FALSE(settings.restartOnTiedNote);
    dialog.clickNewNote();
    EXPECT_EQ(state(c.tiedNote), std::pair(false, true));

    dialog.movePitchBendSlider(12);
    EXPECT_EQ(std::tuple(settings.maxPitchBend, c.pitchBendLabel), std::tuple(12, "12 notes"));
    dialog.movePitchBendSlider(0);
    EXPECT_EQ(c.pitchBendLabel, "None");

    settings.setOptions(decodeOptions(0x10));  // tied-note restart alone
    Dialog bare(settings);
    const auto& b = bare.controls();
    EXPECT_EQ(std::tuple(b.noteOffStops.checked, b.newNoteOn.enabled, b.untiedNoteOff.enabled,
                         b.tiedNote.enabled, b.pitchBendLabel),
              std::tuple(false, false, false, false, "None"));
    EXPECT_FALSE(settings.restartOnTiedNote) << "cleared: it needs the new-note restart";
}

TEST(MidiResponseDialog, OkPacksOptionsAndCompactsRowsAndCancelRestoresTheWholeRecord) {
    MidiControlSettings settings = defaults();
    Dialog dialog(settings);
    auto edit = [&](int row, int32_t source, int32_t target, int32_t from, int32_t to) {
        dialog.chooseSource(row, source);
        dialog.chooseTarget(row, target);
        dialog.leaveFromEdit(row, from);
        dialog.leaveToEdit(row, to);
    };
    edit(0, 1, 0, 0, 100);   // row 1: Velocity, target None: dropped
    edit(1, 3, 10, 0, 150);  // row 2: Aftertouch -> Attack, 0..150 clamped to 100
    edit(5, 5, 7, 100, -3);  // row 6: Note/Pbend -> Glissando 100..-3 clamped to 0
    EXPECT_EQ(std::pair(dialog.controls().rows[1].to, dialog.controls().rows[5].to), std::pair(100, 0));
    dialog.movePitchBendSlider(24);
    dialog.clickTiedNote();
    EXPECT_EQ(dialog.ok(), 0x1800u + 0x20 + 0x10 + 0x8 + 0x4 + 0x1);
    const std::array<ResponseRow, kResponseRowCount> expected{
        0x38000000u | 0xA0000u | 100u, 0x53000000u | 0x70000u | (100u << 8), 0, 0, 0, 0};
    EXPECT_EQ(settings.responseRows(), expected);

    settings.rows[2] = 0x14000000u | 0xC0000u | 90u;
    settings.channel = 3;
    const MidiSettings before = settings.stored();
    Dialog cancelled(settings);
    cancelled.movePitchBendSlider(20);
    cancelled.clickNoteOffStops();
    cancelled.clickNewNote();
    cancelled.chooseSource(2, 0);
    cancelled.leaveFromEdit(4, 30);
    cancelled.cancel();
    EXPECT_EQ(settings.stored(), before);
}
}  // namespace
}  // namespace midi
