#include "midi/MidiResponse.h"

#include <gtest/gtest.h>

#include "engine/ParamSpec.h"
#include "midi/ResponseRowFields.h"
#include "midi/ResponseTables.h"
#include "platform/MessageQueue.h"
#include "tests/midi/FakeMidiTarget.h"

namespace midi {
namespace {

using Change = testing::FakeMidiTarget::Change;

class MidiResponseTest : public ::testing::Test {
  protected:
    MidiResponseTest() { settings.maxPitchBend = 2; }

    // The scroll bar moves posted, as (parameter, position).
    std::vector<std::pair<int, int64_t>> sliderMoves() {
        std::vector<std::pair<int, int64_t>> moves;
        while (auto message = queue.take())
            if (platform::isMoveScrollBarMessage(message->number))
                moves.emplace_back(message->number - platform::kMsgMoveScrollBar, message->first);
        return moves;
    }

    static ResponseRow row(uint32_t source, uint32_t target, int32_t from, int32_t to) {
        return withTo(withFrom(withTargetIndex(withSourceIndex(0, source), target), from), to);
    }

    MidiControlSettings settings;
    testing::FakeMidiTarget target;
    platform::MessageQueue queue;
    MidiResponse response{settings, target, queue};
};

TEST_F(MidiResponseTest, CoarseControllerSetsParameterAndCoarseValue) {
    // Controller 7 is LengthRnd (0..256): step 2, data 64 counts as 65.
    response.controllerChange(0, 7, 64);
    ASSERT_EQ(target.changes.size(), 1u);
    EXPECT_EQ(target.changes[0], (Change{0, engine::LengthRnd, 130, 12.8}));
    EXPECT_EQ(target.coarse[0][engine::LengthRnd], 130);
    EXPECT_EQ(sliderMoves(), (std::vector<std::pair<int, int64_t>>{{engine::LengthRnd, 2 * (128 - 65)}}));

    // Data 63 stays 63; Freq's step is 16359 / 128 = 127.8046875.
    response.controllerChange(0, 11, 63);
    EXPECT_EQ(target.changes.back().value, 25 + 8051);  // trunc(25 + 8051.695...)
}

TEST_F(MidiResponseTest, PanControllerRunsFromLeftToRight) {
    response.controllerChange(0, 31, 0);
    EXPECT_EQ(target.changes.back(), (Change{0, engine::PanPos, 256, 12.8}));
    EXPECT_EQ(sliderMoves().back(), (std::pair<int, int64_t>{engine::PanPos, -256}));
    response.controllerChange(0, 31, 127);
    EXPECT_EQ(target.changes.back().value, -256);
}

TEST_F(MidiResponseTest, FourteenBitPairAddsTheLowHalfToTheCoarseValue) {
    settings.relativeFine = false;
    response.controllerChange(0, 17, 96);  // Pitch: -16384 + 256 * 97
    EXPECT_EQ(target.changes.back().value, 8448);
    response.controllerChange(0, 49, 64);  // + 2 * 65 + 0.5
    EXPECT_EQ(target.changes.back(), (Change{0, engine::Pitch, 8578, 12.8}));
    EXPECT_EQ(sliderMoves().back(), (std::pair<int, int64_t>{engine::Pitch, -8578}));

    const size_t before = target.changes.size();
    response.controllerChange(0, 49, 0);  // no offset: the coarse value again, nothing to do
    EXPECT_EQ(target.changes.size(), before);
}

TEST_F(MidiResponseTest, FineValuesAreClampedToTheRange) {
    settings.relativeFine = false;
    response.controllerChange(0, 17, 127);  // Pitch at the top: 16384
    response.controllerChange(0, 49, 127);
    EXPECT_EQ(target.changes.back().value, 16384);
    EXPECT_EQ(target.changes.size(), 1u);  // clamped back to the coarse value: no change
}

TEST_F(MidiResponseTest, RelativeFineControllersStepFromTheTargetWhileStopped) {
    settings.relativeFine = true;
    // Data 72 counts as 73: (1 + 1) * 9 = 18 fine steps of 2 from the default 6144.
    response.controllerChange(0, 49, 72);
    EXPECT_EQ(target.changes.back(), (Change{0, engine::Pitch, 6144 + 36, 12.8}));
    // Data 55: (2 + 1) * -9 = -27 steps, from the new target 6180.
    response.controllerChange(0, 49, 55);
    EXPECT_EQ(target.changes.back().value, 6180 - 54);
}

TEST_F(MidiResponseTest, RelativeFineControllersStepFromTheSmoothedValueWhilePlaying) {
    settings.relativeFine = true;
    target.playing = true;
    target.currents[0][engine::Pitch] = 5000.9f;
    response.controllerChange(0, 49, 72);
    EXPECT_EQ(target.changes.back().value, 5000 + 36);
}

TEST_F(MidiResponseTest, RelativePanKeepsItsSideAndMovesWithTheController) {
    settings.relativeFine = true;
    target.targets[0][engine::PanPos] = 100;  // left of the middle
    // Data 127 counts as 128: (8 + 1) * 64 = 576 steps of 1/32 = 18 towards the right.
    response.controllerChange(0, 63, 127);
    EXPECT_EQ(target.changes.back().value, 82);
}

TEST_F(MidiResponseTest, SlidersFollowOnlyForTheCurrentStreamWithMoveSliders) {
    target.exists[1] = true;
    response.controllerChange(1, 7, 10);
    EXPECT_TRUE(sliderMoves().empty());
    settings.moveSliders = false;
    response.controllerChange(0, 7, 10);
    EXPECT_TRUE(sliderMoves().empty());
    EXPECT_EQ(target.changes.size(), 2u);
}

TEST_F(MidiResponseTest, NotePitchFollowsTheTableAndTheBendRange) {
    LastNote input;
    input.note = 60;
    input.pitchBend = 8192;  // data bytes 0 and 95
    response.notePitch(0, input);
    // 6144 + 8192 * (6881 - 6144) / 16384 = 6512.5, truncated.
    EXPECT_EQ(target.changes.back(), (Change{0, engine::Pitch, 6512, 0.64}));
    EXPECT_EQ(sliderMoves().back(), (std::pair<int, int64_t>{engine::Pitch, -6512}));

    input.pitchBend = -16384;  // full bend down reaches note 58 exactly
    response.notePitch(0, input);
    EXPECT_EQ(target.changes.back().value, 5461);
    input.pitchBend = 16511;  // full bend up: 16511 * 737 / 16384 = 742.7
    response.notePitch(0, input);
    EXPECT_EQ(target.changes.back().value, 6144 + 742);
}

TEST_F(MidiResponseTest, NotePitchAtTheEndsOfTheKeyboard) {
    LastNote input;
    settings.maxPitchBend = 24;
    input.note = 110;  // 110 + 24 is past the table: bend up towards 16384
    input.pitchBend = 8192;
    response.notePitch(0, input);
    EXPECT_EQ(target.changes.back().value, 15548 + (16384 - 15548) / 2);
    input.note = 1;  // 1 - 24 is below the table: bend down towards note 0's 1293
    input.pitchBend = -16384;
    response.notePitch(0, input);
    EXPECT_EQ(target.changes.back().value, 1293);
    settings.maxPitchBend = 0;  // no bend range: the table value alone
    input.note = 72;
    response.notePitch(0, input);
    EXPECT_EQ(target.changes.back().value, 9830);
}

TEST_F(MidiResponseTest, NotePitchKeepsReversePlayback) {
    target.targets[0][engine::Pitch] = -100;
    LastNote input;
    input.note = 60;
    response.notePitch(0, input);
    EXPECT_EQ(target.changes.back().value, -6144);
}

TEST_F(MidiResponseTest, BendWithoutANoteKeepsTheCurrentPitch) {
    target.targets[0][engine::Pitch] = -5000;
    target.currents[0][engine::Pitch] = -5000.7f;
    LastNote input;  // no note yet
    input.pitchBend = 16511;
    response.notePitch(0, input);
    EXPECT_EQ(target.changes.back().value, -5000);
}

TEST_F(MidiResponseTest, VelocityRowSpansTheTargetRange) {
    const ResponseRow velocityToAmp = row(1, 12, 0, 100);
    LastNote input;
    input.velocity = 0;
    response.MapMIDIresponse(velocityToAmp, 0, input, kSourceVelocity);
    EXPECT_EQ(target.changes.back(), (Change{0, engine::Amp, 0, 12.8}));
    input.velocity = 128;
    response.MapMIDIresponse(velocityToAmp, 0, input, kSourceVelocity);
    EXPECT_EQ(target.changes.back().value, 1024);
    input.velocity = 64;
    response.MapMIDIresponse(velocityToAmp, 0, input, kSourceVelocity);
    EXPECT_EQ(target.changes.back().value, 512);
    EXPECT_EQ(sliderMoves().back(), (std::pair<int, int64_t>{engine::Amp, 1024 - 512}));
}

TEST_F(MidiResponseTest, RowsFromAboveToBelowAndTheMinimumFloor) {
    // Grain freq (25..16384) from 80 % down to 10 %, aftertouch 32:
    // 25 + (16359 * 80 + 16359 * -70 * 32 / 128) / 100 = 25 + (1308720 - 286282) / 100.
    LastNote input;
    input.aftertouch = 32;
    response.MapMIDIresponse(row(3, 3, 80, 10), 0, input, kSourceAftertouch);
    EXPECT_EQ(target.changes.back().value, 25 + 10224);
    // A negative aftertouch (pressure 0 centres to -1) is taken as 0.
    input.aftertouch = -1;
    response.MapMIDIresponse(row(3, 3, 0, 100), 0, input, kSourceAftertouch);
    EXPECT_EQ(target.changes.back().value, 25);
}

TEST_F(MidiResponseTest, SignedTargetsScaleTheirMagnitudeAndKeepTheirSign) {
    LastNote input;  // bend 0: input 64
    response.MapMIDIresponse(row(4, 1, 0, 50), 0, input, kSourcePitchBend);
    EXPECT_EQ(target.changes.back(), (Change{0, engine::Rate, 8192 * 50 * 64 / 128 / 100, 12.8}));
    target.targets[0][engine::Rate] = -1;
    response.MapMIDIresponse(row(4, 1, 0, 50), 0, input, kSourcePitchBend);
    EXPECT_EQ(target.changes.back().value, -2048);
}

TEST_F(MidiResponseTest, NoteAndBendInputs) {
    LastNote input;
    input.note = 60;
    input.pitchBend = 8192;  // 64 after the shift by 7: 60 + 67 * 64 / 128 = 93
    // Attack 0..256, 0..100 %: 256 * 100 * 93 / 128 / 100 = 186.
    response.MapMIDIresponse(row(5, 10, 0, 100), 0, input, kSourceNote | kSourcePitchBend);
    EXPECT_EQ(target.changes.back().value, 186);
    input.pitchBend = -8192;  // 60 + 60 * -64 / 128 = 30: 256 * 30 / 128 = 60
    response.MapMIDIresponse(row(5, 10, 0, 100), 0, input, kSourceNote | kSourcePitchBend);
    EXPECT_EQ(target.changes.back().value, 60);
    // The note alone: 256 * 60 / 128.
    response.MapMIDIresponse(row(6, 10, 0, 100), 0, input, kSourceNote);
    EXPECT_EQ(target.changes.back().value, 120);
}

TEST_F(MidiResponseTest, PercentagesAboveAHundredFromEditedSettingsStopAtTheRange) {
    const ResponseRow edited = withTargetIndex(withSourceIndex(0, 1), 3) | 127u;  // To 127, Grain freq
    LastNote input;
    input.velocity = 128;
    response.MapMIDIresponse(edited, 0, input, kSourceVelocity);
    EXPECT_EQ(target.changes.back().value, 16384);
}

TEST_F(MidiResponseTest, RowsWithoutATargetAreSkipped) {
    LastNote input;
    input.velocity = 100;
    response.MapMIDIresponse(row(1, 0, 0, 100), 0, input, kSourceVelocity);
    response.MapMIDIresponse(row(1, 14, 0, 100), 0, input, kSourceVelocity);
    EXPECT_TRUE(target.changes.empty());
}

TEST_F(MidiResponseTest, ApplyResponsesSelectsRowsByEvent) {
    settings.rows[0] = row(1, 12, 0, 100);  // velocity -> Amp
    settings.rows[1] = row(3, 10, 0, 100);  // aftertouch -> Attack
    settings.rows[2] = row(4, 11, 0, 100);  // bend -> Decay
    settings.rows[3] = 0;                   // an empty row ends the note-start visit
    settings.rows[4] = row(6, 7, 0, 100);   // note -> Gliss
    LastNote input;
    input.note = 64;
    input.velocity = 128;
    input.aftertouch = 64;
    response.applyResponses(0, input, ResponseEvent::NoteStart);
    EXPECT_EQ(target.changes, (std::vector<Change>{{0, engine::Amp, 1024, 12.8}}));

    target.changes.clear();
    response.applyResponses(0, input, ResponseEvent::Aftertouch);
    EXPECT_EQ(target.changes, (std::vector<Change>{{0, engine::Attack, 128, 12.8}}));

    target.changes.clear();
    response.applyResponses(0, input, ResponseEvent::PitchBend);  // bend 0: input 64
    EXPECT_EQ(target.changes, (std::vector<Change>{{0, engine::Decay, 128, 12.8}}));

    target.changes.clear();
    input.velocity = 0;
    response.applyResponses(0, input, ResponseEvent::NoteRelease);
    EXPECT_EQ(target.changes, (std::vector<Change>{{0, engine::Amp, 0, 12.8}}));
}

}  // namespace
}  // namespace midi
