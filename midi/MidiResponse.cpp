#include "midi/MidiResponse.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/ParamScroll.h"
#include "engine/ParamSpec.h"
#include "midi/NotePitchTable.h"
#include "midi/ResponseRowFields.h"
#include "midi/ResponseTables.h"
#include "platform/MessageQueue.h"

namespace midi {
namespace {

constexpr int kFirstCoarseController = 4;
constexpr int kLastCoarseController = 32;
constexpr int kFirstFineController = 36;
constexpr int kLastFineController = 64;

constexpr int kControllerMiddle = 64;
constexpr int kControllerSteps = 128;       // a 7-bit value spread to 0..128
constexpr double kCoarseDivisions = 128.0;  // steps of a coarse controller
constexpr double kFineDivisions = 16384.0;  // steps of a 14-bit controller
constexpr int kRelativeAcceleration = 8;    // relative increments grow every 8 steps

constexpr int32_t kPitchBendUnits = 16384;  // a full bend range
constexpr int32_t kTopPitch = 16384;        // pitch above the last table note
constexpr int kBendToNoteShift = 7;         // bend / 128: a note-sized offset
constexpr int kBendToInputShift = 8;        // bend / 256: a 7-bit offset
constexpr int32_t kNoNoteMiddle = 64;       // note assumed when no note is held
constexpr int32_t kLargestInput = 128;
constexpr int32_t kInputDivisions = 128;

// 0..127 becomes 0..128: values above the middle move up by one.
int spreadControllerValue(int data) {
    return data > kControllerMiddle - 1 ? data + 1 : data;
}

// The value span of one step, kept in single precision as the controller
// scale tables are.
double stepOf(int param, double divisions) {
    const auto& limits = engine::paramSpec(param);
    return static_cast<float>((limits.max - limits.min) / divisions);
}

int32_t floorDiv(int32_t a, int32_t b) {
    const int32_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

MidiResponse::MidiResponse(const MidiControlSettings& settings, MidiTarget& target,
                           platform::MessageQueue& queue)
    : settings_(settings), target_(target), queue_(queue) {}

void MidiResponse::moveSlider(int stream, int param, int32_t position) {
    if (settings_.moveSliders && stream == target_.currentStream())
        queue_.post(platform::moveScrollBarMessage(static_cast<uint32_t>(param)), position);
}

void MidiResponse::controllerChange(int stream, int controller, int data) {
    bool fine = false;
    int param = 0;
    if (controller >= kFirstCoarseController && controller <= kLastCoarseController) {
        param = controller - kFirstCoarseController;
    } else if (controller >= kFirstFineController && controller <= kLastFineController) {
        param = controller - kFirstFineController;
        fine = true;
    } else {
        return;
    }
    const auto& limits = engine::paramSpec(param);
    const int spread = spreadControllerValue(data);
    // Pan runs the other way round: a controller at 0 puts the sound fully left.
    const bool reversed = param == engine::PanPos;

    int32_t value = 0;
    int32_t position = 0;
    if (!fine) {
        const double step = stepOf(param, kCoarseDivisions);
        value = static_cast<int32_t>(std::trunc(limits.min + step * spread));
        target_.setCoarseValue(stream, param, value);
        position = static_cast<int32_t>(std::trunc(limits.min + step * (kControllerSteps - spread)));
    } else {
        const double step = stepOf(param, kFineDivisions);
        int32_t base = 0;
        if (!settings_.relativeFine) {
            // The low half of a 14-bit value, added to the coarse value.
            base = target_.coarseValue(stream, param);
            value = static_cast<int32_t>(std::trunc(step * spread + 0.5 + base));
        } else {
            // A signed increment that grows faster the further it is from the middle.
            const int32_t offset = spread - kControllerMiddle;
            const int32_t increment = (std::abs(floorDiv(offset, kRelativeAcceleration)) + 1) * offset;
            base = target_.isPlaying() ? static_cast<int32_t>(std::trunc(target_.paramCurrent(stream, param)))
                                       : target_.paramTarget(stream, param);
            if (reversed)
                base = -base;  // work in the controller's direction
            value = static_cast<int32_t>(std::trunc(step * increment + base));
        }
        value = std::clamp(value, limits.min, limits.max);
        if (value == base)
            return;
        position = engine::valueToPosition(param, value);
    }
    if (reversed) {
        value = -value;
        position = -position;
    }
    target_.setParameter(stream, param, value, kControllerChangeTime);
    moveSlider(stream, param, position);
}

void MidiResponse::notePitch(int stream, const LastNote& input) {
    const int note = input.note;
    int32_t pitch = 0;
    if (note >= 0)
        pitch = notePitchValue(note);
    else
        pitch = std::abs(static_cast<int32_t>(std::trunc(target_.paramCurrent(stream, engine::Pitch))));

    const int32_t range = settings_.maxPitchBend;
    // Without a note there is no neighbouring note to bend towards: the bend
    // then leaves the current pitch alone.
    if (range > 0 && note >= 0) {
        const int32_t bend = input.pitchBend;
        const int32_t own = notePitchValue(note);
        if (bend > 0) {
            const int32_t upper = note + range >= kMidiNoteCount ? kTopPitch : notePitchValue(note + range);
            pitch += bend * (upper - own) / kPitchBendUnits;
        } else {
            const int32_t span =
                note - range < 0 ? own - notePitchValue(0) : own - notePitchValue(note - range);
            pitch += bend * span / kPitchBendUnits;
        }
    }
    if (target_.paramTarget(stream, engine::Pitch) < 0)
        pitch = -pitch;  // keep reverse playback
    target_.setParameter(stream, engine::Pitch, pitch, kNotePitchChangeTime);
    moveSlider(stream, engine::Pitch, engine::valueToPosition(engine::Pitch, pitch));
}

void MidiResponse::MapMIDIresponse(ResponseRow row, int stream, const LastNote& input, uint32_t kinds) {
    const auto param = responseTargetParam(row);
    if (!param)
        return;

    int32_t x = 0;
    if ((kinds & kSourceVelocity) && input.velocity > 0)
        x = input.velocity;
    if (kinds & kSourceAftertouch)
        x += input.aftertouch;
    if (kinds == (kSourceNote | kSourcePitchBend)) {
        // The note, bent up towards 127 or down towards 0.
        const int32_t note = input.note >= 0 ? input.note : kNoNoteMiddle;
        const int32_t bend = input.pitchBend >> kBendToNoteShift;
        if (bend > 0)
            x += note + (kMidiNoteCount - 1 - note) * bend / kInputDivisions;
        else
            x += note + note * bend / kInputDivisions;
    } else if (kinds == kSourcePitchBend) {
        x = (input.pitchBend >> kBendToInputShift) + kControllerMiddle;
    } else if (kinds == kSourceNote && input.note > 0) {
        x += input.note;
    }
    x = std::clamp(x, 0, kLargestInput);

    const auto& limits = engine::paramSpec(*param);
    int64_t span = limits.max - limits.min;
    int64_t base = limits.min;
    if (*param == engine::Rate || *param == engine::Pitch) {
        // Signed parameters scale their magnitude and keep their direction.
        span = target_.paramTarget(stream, *param) < 0 ? -limits.max : limits.max;
        base = 0;
    }
    // The dialog keeps percentages within 0..100; a row from edited settings
    // could hold up to 127, which would drive the parameter past its range.
    const int64_t from = std::min(responseFrom(row), kMaxPercent);
    const int64_t to = std::min(responseTo(row), kMaxPercent);
    const int64_t value64 = base + (span * from + (span * (to - from) * x) / kInputDivisions) / kMaxPercent;
    const int32_t value = std::max(static_cast<int32_t>(value64), limits.min);

    target_.setParameter(stream, *param, value, kControllerChangeTime);
    moveSlider(stream, *param, engine::valueToPosition(*param, value));
}

void MidiResponse::applyResponses(int stream, const LastNote& input, ResponseEvent event) {
    uint32_t wanted = 0;  // rows with any of these sources take part
    uint32_t passed = 0;  // the kinds handed on, from the row's own flags
    switch (event) {
        case ResponseEvent::NoteStart:
            wanted = passed = kSourceNote | kSourceVelocity;
            break;
        case ResponseEvent::NoteRelease:
            wanted = passed = kSourceVelocity;
            break;
        case ResponseEvent::Aftertouch:
            wanted = passed = kSourceAftertouch;
            break;
        case ResponseEvent::PitchBend:
            wanted = kSourcePitchBend;
            passed = kSourceNote | kSourcePitchBend;
            break;
    }
    for (const ResponseRow row : settings_.responseRows()) {
        if (event == ResponseEvent::NoteStart && row == 0)
            break;
        const uint32_t flags = responseSourceFlags(row);
        if (flags & wanted)
            MapMIDIresponse(row, stream, input, flags & passed);
    }
}

}  // namespace midi
