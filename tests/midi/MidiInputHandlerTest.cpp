#include "midi/MidiInputHandler.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/ParamSpec.h"
#include "midi/ResponseRowFields.h"
#include "platform/MessageQueue.h"
#include "tests/midi/FakeMidiTarget.h"

namespace midi {
namespace {

using Change = testing::FakeMidiTarget::Change;
using Numbers = std::vector<uint32_t>;
using platform::kMsgMidiPlayStart;
using platform::kMsgMidiPlayStop;

class MidiInputHandlerTest : public ::testing::Test {
  protected:
    MidiInputHandlerTest() {
        settings.setOptions(decodeOptions(kDefaultResponseOptions));
        settings.monitorInput = 0;
    }

    void send(std::vector<uint8_t> bytes) { handler.handleBytes(bytes); }

    std::vector<platform::Message> messages() {
        std::vector<platform::Message> taken;
        while (auto message = queue.take())
            taken.push_back(*message);
        return taken;
    }
    // Numbers of the messages posted, scroll bar moves left out.
    Numbers numbers() {
        Numbers taken;
        for (const auto& message : messages())
            if (!platform::isMoveScrollBarMessage(message.number))
                taken.push_back(message.number);
        return taken;
    }
    std::vector<Change> pitchChanges() const {
        std::vector<Change> pitches;
        for (const auto& change : target.changes)
            if (change.param == engine::Pitch)
                pitches.push_back(change);
        return pitches;
    }
    // (note, velocity, pitch bend, aftertouch) of the last note.
    std::tuple<int, int, int, int> last() const {
        const auto& n = handler.lastNote();
        return {n.note, n.velocity, n.pitchBend, n.aftertouch};
    }

    MidiControlSettings settings;
    testing::FakeMidiTarget target;
    platform::MessageQueue queue;
    MidiInputHandler handler{settings, target, queue};
};

TEST_F(MidiInputHandlerTest, FirstNoteStartsPlayWithItsPitch) {
    target.exists[2] = true;
    send({0x90, 62, 100});
    EXPECT_EQ(target.frameClockResets, 1);
    EXPECT_EQ(target.snaps, (std::vector<int>{0, 2}));
    EXPECT_EQ(target.loopResets, (std::vector<int>{0, 2}));  // restart on a new note
    EXPECT_EQ(pitchChanges(), (std::vector<Change>{{0, engine::Pitch, 6881, 0.64}}));
    EXPECT_EQ(numbers(), Numbers{kMsgMidiPlayStart});
    EXPECT_EQ(last(), std::tuple(62, 101, 0, 0));
}

TEST_F(MidiInputHandlerTest, RunningStatusAndVelocityZeroReleaseNotesAndOnlyPlayStops) {
    send({0x80, 60, 0});  // a stray release while stopped
    EXPECT_TRUE(numbers().empty());
    send({0x90, 60, 100, 64, 90});  // two notes, the second by running status
    EXPECT_EQ(handler.heldNotes().count(), 2);
    target.playing = true;
    (void)numbers();
    send({60, 0});  // note-on with velocity 0 by running status: a release
    EXPECT_EQ(handler.heldNotes().count(), 1);
    EXPECT_TRUE(numbers().empty());  // one note still held: play goes on
    send({0x80, 64, 0});
    EXPECT_TRUE(handler.heldNotes().empty());
    EXPECT_EQ(numbers(), Numbers{kMsgMidiPlayStop});
    EXPECT_EQ(handler.lastNote().note, -1);  // the last note was released

    target.playing = false;
    send({0x90, 60, 100});
    (void)numbers();
    send({0x80, 60, 0});  // play did not start yet: nothing to stop
    EXPECT_TRUE(numbers().empty());
}

TEST_F(MidiInputHandlerTest, TiedNoteWhilePlayingKeepsPlayAndANoteDuringASoftStopRestartsIt) {
    target.playing = true;
    send({0x90, 72, 64});
    EXPECT_TRUE(numbers().empty());
    EXPECT_EQ(target.frameClockResets, 0);
    EXPECT_TRUE(target.snaps.empty());
    EXPECT_TRUE(target.loopResets.empty());  // restart on a tied note is off
    EXPECT_EQ(pitchChanges().back().value, 9830);
    EXPECT_EQ(handler.lastNote().velocity, 64);
    settings.restartOnTiedNote = true;
    send({0x90, 73, 1});
    EXPECT_EQ(target.loopResets, (std::vector<int>{0}));
    EXPECT_EQ(handler.lastNote().velocity, 0);

    target.stopping = true;
    send({0x90, 60, 127});
    EXPECT_EQ(numbers(), Numbers{kMsgMidiPlayStart});
    EXPECT_EQ(handler.lastNote().velocity, 128);
}

TEST_F(MidiInputHandlerTest, NewNoteStopsInToggleMode) {
    settings.noteStopMode = kNewNoteStops;
    send({0x90, 60, 100});
    EXPECT_EQ(numbers(), Numbers{kMsgMidiPlayStart});
    target.playing = true;
    target.changes.clear();
    send({0x90, 61, 100});
    EXPECT_EQ(numbers(), Numbers{kMsgMidiPlayStop});
    EXPECT_TRUE(target.changes.empty());
    send({0x80, 61, 0, 0x80, 60, 0});  // releases never stop in this mode
    EXPECT_TRUE(numbers().empty());
}

TEST_F(MidiInputHandlerTest, HeldNotesAreCountedPerChannel) {
    settings.channel = 0;
    target.exists[1] = true;
    target.playing = true;
    settings.rows[0] = withTo(withTargetIndex(withSourceIndex(0, 1), 12), 100);  // velocity -> Amp
    send({0x90, 60, 100, 0x91, 60, 100, 0x91, 62, 100});
    target.changes.clear();
    send({0x81, 60, 0});  // channel 2 still holds 62: no release response
    EXPECT_TRUE(target.changes.empty());
    send({0x81, 62, 0});  // channel 2 now empty: release response into stream 1
    EXPECT_EQ(target.changes, (std::vector<Change>{{1, engine::Amp, 0, 12.8}}));
    EXPECT_EQ(handler.heldNotes().count(), 1);
    send({0x80, 60, 0});
    EXPECT_TRUE(handler.heldNotes().empty());
    EXPECT_EQ(numbers().back(), kMsgMidiPlayStop);
}

TEST_F(MidiInputHandlerTest, OmniRoutesChannelsToExistingStreamsAndOneChannelToTheCurrentStream) {
    settings.channel = 0;
    target.exists[2] = true;
    send({0x98, 60, 100});  // channel 9: no stream 8
    send({0x91, 60, 100});  // channel 2: stream 1 does not exist
    EXPECT_TRUE(target.changes.empty());
    EXPECT_TRUE(numbers().empty());
    send({0x92, 60, 100});  // channel 3 plays into stream 2
    EXPECT_EQ(pitchChanges(), (std::vector<Change>{{2, engine::Pitch, 6144, 0.64}}));
    EXPECT_EQ(handler.lastNote().stream, 2);

    target.changes.clear();
    settings.channel = 5;
    target.exists[3] = true;
    target.current = 3;
    send({0x90, 60, 100, 0x93, 61, 100});  // channels 1 and 4: ignored
    EXPECT_TRUE(target.changes.empty());
    send({0x94, 60, 100});
    EXPECT_EQ(pitchChanges(), (std::vector<Change>{{3, engine::Pitch, 6144, 0.64}}));
}

TEST_F(MidiInputHandlerTest, PitchBendMovesThePitchAroundTheNoteAndAftertouchOnlyTheAftertouch) {
    settings.maxPitchBend = 2;
    settings.rows[0] = withTo(withTargetIndex(withSourceIndex(0, 3), 10), 100);  // aftertouch -> Attack
    send({0x90, 60, 100});
    send({0xE0, 0, 95});
    EXPECT_EQ(handler.lastNote().pitchBend, 8192);
    EXPECT_EQ(pitchChanges().back().value, 6512);
    target.changes.clear();
    send({0xD0, 64});
    EXPECT_EQ(last(), std::tuple(60, 101, 8192, 64));
    EXPECT_EQ(target.changes, (std::vector<Change>{{0, engine::Attack, 128, 12.8}}));
    send({0xA0, 61, 127});  // poly pressure of another key: ignored
    EXPECT_EQ(handler.lastNote().aftertouch, 64);
    send({0xA0, 60, 127});
    EXPECT_EQ(handler.lastNote().aftertouch, 128);
    EXPECT_EQ(target.changes.back().value, 256);

    send({0xE0, 0, 0});
    EXPECT_EQ(handler.lastNote().pitchBend, -16384);
    send({0xE0, 127, 127});
    EXPECT_EQ(handler.lastNote().pitchBend, 16511);
    send({0xE0, 0, 64});
    EXPECT_EQ(pitchChanges().back().value, 6144);
    settings.maxPitchBend = 0;
    const size_t before = pitchChanges().size();
    send({0xE0, 0, 95});  // no bend range: the pitch stays
    EXPECT_EQ(pitchChanges().size(), before);
}

TEST_F(MidiInputHandlerTest, ControllersSetParametersAndAllNotesOffStops) {
    send({0xB0, 7, 64});
    EXPECT_EQ(target.changes.back(), (Change{0, engine::LengthRnd, 130, 12.8}));
    send({0xB0, 70, 1, 0xB0, 3, 1});  // controllers outside both ranges
    EXPECT_EQ(target.changes.size(), 1u);
    send({0xB0, 123, 0});  // not playing: nothing to stop
    EXPECT_TRUE(numbers().empty());
    target.playing = true;
    send({0xB0, 120, 0});
    EXPECT_EQ(numbers(), Numbers{kMsgMidiPlayStop});
    target.stopping = true;  // a second stop would restart the fading play
    send({0xB0, 123, 0});
    EXPECT_TRUE(numbers().empty());
}

TEST_F(MidiInputHandlerTest, ProgramChangesRecallSlotsAndPressBankButtons) {
    target.exists[1] = true;
    send({0xC1, 0, 0xC1, 20, 0xC1, 21, 0xC1, 25, 0xC1, 29, 0xC1, 31, 0xC1, 37, 0xC1, 38});
    std::vector<std::pair<int64_t, int64_t>> changes;
    for (const auto& message : messages())
        if (message.number == platform::kMsgProgramChange)
            changes.emplace_back(message.first, message.second);
    EXPECT_EQ(changes,
              (std::vector<std::pair<int64_t, int64_t>>{{1400, 1}, {1420, 1}, {1601, 0}, {1607, 0}}));
    settings.programChangeOn = false;
    send({0xC1, 3});
    EXPECT_TRUE(numbers().empty());
}

TEST_F(MidiInputHandlerTest, SystemStartContinueAndStop) {
    send({0xFA});
    EXPECT_EQ(numbers(), Numbers{kMsgMidiPlayStart});
    EXPECT_TRUE(target.loopResets.empty());  // a system start is no new note
    EXPECT_TRUE(target.changes.empty());
    target.playing = true;
    send({0xFA});
    EXPECT_TRUE(numbers().empty());
    settings.restartOnTiedNote = true;
    send({0xFB});  // continue while playing: restarts the loops, no toggle
    EXPECT_TRUE(numbers().empty());
    EXPECT_EQ(target.loopResets, (std::vector<int>{0}));
    send({0xFC});
    EXPECT_EQ(numbers(), Numbers{kMsgMidiPlayStop});
    target.playing = false;
    send({0xFC});
    EXPECT_TRUE(numbers().empty());
}

TEST_F(MidiInputHandlerTest, StopShowsMidiValuesOnTheScrollBarsWhenTheyDidNotFollow) {
    settings.moveSliders = false;
    target.playing = true;
    target.targets[0][engine::Amp] = 1000;
    target.targets[0][engine::PanPos] = -300;  // outside the range: clamped
    send({0xFC});
    const auto posted = messages();
    ASSERT_EQ(posted.size(), 1u + engine::kParamCount);
    EXPECT_EQ(posted[0].number, kMsgMidiPlayStop);
    EXPECT_EQ(posted[1 + engine::Amp].number, platform::moveScrollBarMessage(engine::Amp));
    EXPECT_EQ(posted[1 + engine::Amp].first, 24);
    EXPECT_EQ(posted[1 + engine::PanPos].first, 256);
    EXPECT_EQ(posted[1 + engine::ChangeTime].first, 4096 - 64 + 1);
}

TEST_F(MidiInputHandlerTest, MonitorPostsOneLinePerChangeAndNothingHappensWhileTheDeviceIsOpening) {
    settings.monitorInput = 1;
    settings.moveSliders = true;
    for (int i = 0; i < 50; ++i)
        send({0xB0, 7, 64});
    send({0xB0, 7, 65});
    std::vector<int64_t> lines;
    int sliderMoves = 0;
    for (const auto& message : messages()) {
        if (message.number == platform::kMsgMidiMonitor)
            lines.push_back(message.first);
        if (message.number == platform::moveScrollBarMessage(engine::LengthRnd))
            ++sliderMoves;
    }
    // The first line still waits when the second is posted: only one reaches the window.
    EXPECT_EQ(lines, (std::vector<int64_t>{0x4007B0}));
    EXPECT_EQ(sliderMoves, 1);
    EXPECT_EQ(target.changes.size(), 51u);

    target.changes.clear();
    settings.monitorInput = kMonitorOpening;
    send({0x90, 60, 100, 0xFA, 0xB0, 7, 1});
    EXPECT_TRUE(messages().empty());
    EXPECT_TRUE(target.changes.empty());
    EXPECT_TRUE(handler.heldNotes().empty());
}

}  // namespace
}  // namespace midi
