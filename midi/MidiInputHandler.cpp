#include "midi/MidiInputHandler.h"

#include "engine/ParamScroll.h"
#include "engine/ParamSpec.h"
#include "platform/MessageQueue.h"

namespace midi {
namespace {

enum StatusKind : uint8_t {
    kNoteOff = 0x80,
    kNoteOn = 0x90,
    kPolyPressure = 0xA0,
    kControlChange = 0xB0,
    kProgramChange = 0xC0,
    kChannelPressure = 0xD0,
    kPitchBend = 0xE0,
    kSystem = 0xF0,
};
constexpr uint8_t kKindMask = 0xF0;
constexpr uint8_t kChannelMask = 0x0F;

constexpr uint8_t kSystemStart = 0xFA;
constexpr uint8_t kSystemContinue = 0xFB;
constexpr uint8_t kSystemStop = 0xFC;

constexpr int kAllSoundOff = 120;
constexpr int kAllNotesOff = 123;

constexpr int kLastSlotProgram = 20;
constexpr int kFirstBankProgram = 30;
constexpr int kLastBankProgram = 37;
constexpr int kFirstPatchSlotId = 1400;    // slot 0, the default patch
constexpr int kBankButtonIdOffset = 1570;  // program 30 presses button 1600 (bank A)

constexpr int kBendMiddle = 64;
constexpr int kBendCoarseUnit = 256;

}  // namespace

MidiInputHandler::MidiInputHandler(MidiControlSettings& settings, MidiTarget& target,
                                   platform::MessageQueue& queue)
    : settings_(settings), target_(target), queue_(queue), response_(settings, target, queue) {}

void MidiInputHandler::handleBytes(std::span<const uint8_t> bytes) {
    assembler_.feed(bytes, [this](const ShortMessage& message) { handleShortMessage(message); });
}

void MidiInputHandler::handleShortMessage(const ShortMessage& message) {
    if (settings_.monitorInput == kMonitorOpening)
        return;
    monitor(message);

    const uint8_t kind = message.status & kKindMask;
    if (kind == kSystem) {
        handleSystem(message.status);
        return;
    }
    const int channel = message.status & kChannelMask;
    const auto stream = targetStream(channel);
    if (!stream)
        return;
    switch (kind) {
        case kNoteOn:
            if (message.data2 > 0) {
                noteOn(*stream, channel, message.data1, message.data2);
                break;
            }
            [[fallthrough]];  // a note-on with velocity 0 is a note-off
        case kNoteOff:
            noteOff(*stream, channel, message.data1);
            break;
        case kPolyPressure:
            if (message.data1 == lastNote_.note)
                channelPressure(*stream, message.data2);
            break;
        case kChannelPressure:
            channelPressure(*stream, message.data1);
            break;
        case kPitchBend:
            pitchBend(*stream, message.data1, message.data2);
            break;
        case kControlChange:
            controlChange(*stream, message.data1, message.data2);
            break;
        case kProgramChange:
            programChange(*stream, message.data1);
            break;
        default:
            break;
    }
}

// One line per change: a message repeated (a controller held at one value)
// is shown once.
void MidiInputHandler::monitor(const ShortMessage& message) {
    const uint32_t packed = message.packed();
    if (settings_.monitorInput != 0 && lastMonitored_ != packed)
        queue_.post(platform::kMsgMidiMonitor, packed);
    lastMonitored_ = packed;
}

void MidiInputHandler::handleSystem(uint8_t status) {
    switch (status) {
        case kSystemStart:
            if (!target_.isPlaying())
                startFromMidi(-1);
            break;
        case kSystemContinue:
            startFromMidi(-1);
            break;
        case kSystemStop:
            if (soundOn())
                stopFromMidi();
            break;
        default:
            break;
    }
}

// Omni: channels 1..8 play into streams 1..8 when those exist. One channel:
// only that channel is taken, into the current stream.
std::optional<int> MidiInputHandler::targetStream(int channel) const {
    const int selected = settings_.channel;
    if (selected == 0) {
        if (channel < kStreamSlots && target_.streamExists(channel))
            return channel;
        return std::nullopt;
    }
    if (channel == selected - 1)
        return target_.currentStream();
    return std::nullopt;
}

bool MidiInputHandler::soundOn() const {
    return target_.isPlaying() && !target_.isStopping();
}

void MidiInputHandler::noteOn(int stream, int channel, int note, int velocity) {
    heldNotes_.press(channel, note, velocity);
    lastNote_.stream = stream;
    lastNote_.note = note;
    lastNote_.velocity = centred(velocity);
    if (settings_.noteStopMode == kNewNoteStops && soundOn() && !target_.isRestartPending()) {
        stopFromMidi();
        return;
    }
    startFromMidi(stream);
}

void MidiInputHandler::noteOff(int stream, int channel, int note) {
    heldNotes_.release(channel, note);
    const bool stopOnRelease = settings_.noteStopMode == kLastNoteOffStops;
    // Only a sounding play is stopped: a toggle while stopped would start it.
    if (stopOnRelease && heldNotes_.empty() && soundOn())
        stopFromMidi();
    if (lastNote_.note < 0)
        return;
    if (target_.isPlaying() && note == lastNote_.note && stopOnRelease) {
        lastNote_.note = -1;
        lastNote_.velocity = -1;
        lastNote_.aftertouch = 0;
    }
    if (heldNotes_.channelHasNotes(channel))
        return;
    LastNote released = lastNote_;
    released.note = note;
    released.velocity = 0;
    response_.applyResponses(stream, released, ResponseEvent::NoteRelease);
}

void MidiInputHandler::channelPressure(int stream, int pressure) {
    lastNote_.aftertouch = centred(pressure);
    if (lastNote_.note > 0)
        response_.applyResponses(stream, lastNote_, ResponseEvent::Aftertouch);
}

void MidiInputHandler::pitchBend(int stream, int low, int high) {
    const int coarse = high > kBendMiddle ? high + 1 : high;
    lastNote_.pitchBend = (coarse - kBendMiddle) * kBendCoarseUnit + low;
    if (settings_.noteToPitch && settings_.maxPitchBend != 0)
        response_.notePitch(stream, lastNote_);
    response_.applyResponses(stream, lastNote_, ResponseEvent::PitchBend);
}

void MidiInputHandler::controlChange(int stream, int controller, int data) {
    if (controller == kAllSoundOff || controller == kAllNotesOff) {
        if (soundOn())
            stopFromMidi();
        return;
    }
    response_.controllerChange(stream, controller, data);
}

void MidiInputHandler::programChange(int stream, int program) {
    if (!settings_.programChangeOn)
        return;
    if (program <= kLastSlotProgram)
        queue_.post(platform::kMsgProgramChange, kFirstPatchSlotId + program, stream);
    else if (program >= kFirstBankProgram && program <= kLastBankProgram)
        queue_.post(platform::kMsgProgramChange, kBankButtonIdOffset + program, 0);
}

void MidiInputHandler::startFromMidi(int stream) {
    const bool playing = target_.isPlaying();
    const bool restartLoop =
        playing ? bool(settings_.restartOnTiedNote) : stream >= 0 && settings_.restartOnNewNote;
    // The frame clock restarts only with play: changes under way would
    // otherwise run on past their targets.
    if (!playing && !target_.isRecording())
        target_.resetFrameClock();
    for (int s = 0; s < kStreamSlots; ++s) {
        if (!target_.streamExists(s))
            continue;
        if (restartLoop)
            target_.resetLoop(s);
        if (!playing)
            target_.snapParameters(s);
    }
    if (stream >= 0) {
        if (settings_.noteToPitch)
            response_.notePitch(stream, lastNote_);
        response_.applyResponses(stream, lastNote_, ResponseEvent::NoteStart);
    }
    // A start while a soft stop runs makes the play toggle restart play.
    if ((!playing || target_.isStopping()) && !target_.isRestartPending())
        queue_.post(platform::kMsgMidiPlayStart);
}

void MidiInputHandler::stopFromMidi() {
    queue_.post(platform::kMsgMidiPlayStop);
    if (settings_.moveSliders)
        return;
    // The scroll bars did not follow MIDI while playing: show where it left them.
    const int stream = target_.currentStream();
    for (int param = 0; param < engine::kParamCount; ++param) {
        const int32_t position = engine::valueToPosition(param, target_.paramTarget(stream, param));
        queue_.post(platform::moveScrollBarMessage(static_cast<uint32_t>(param)), position);
    }
}

}  // namespace midi
