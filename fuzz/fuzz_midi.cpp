// libFuzzer target for MIDI input: any settings and any byte stream, decoded
// and acted on against a stand-in engine that checks every request. A value
// outside its parameter's range, a stream that does not exist or a message
// the main window does not know ends the run; the sanitizers catch the rest.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>

#include "engine/ParamSpec.h"
#include "midi/MidiInputHandler.h"
#include "platform/MessageQueue.h"

namespace {

// A note bent upwards may pass the top of the pitch range by a little less
// than 1 % of its bend span (the bend's top value is 8191/8192 of a span).
constexpr int32_t kPitchBendOvershoot = 64;

void check(bool condition) {
    if (!condition)
        std::terminate();
}

class CheckingTarget : public midi::MidiTarget {
  public:
    explicit CheckingTarget(uint8_t streams) : streams_(streams | 1u) {
        for (auto& stream : targets_)
            stream = engine::defaultParamSet();
    }

    bool streamExists(int stream) const override {
        check(stream >= 0 && stream < midi::kStreamSlots);
        return (streams_ >> stream) & 1u;
    }
    int currentStream() const override { return 0; }
    bool isPlaying() const override { return playing; }
    bool isStopping() const override { return stopping; }
    bool isRestartPending() const override { return false; }
    bool isRecording() const override { return false; }
    void resetFrameClock() override {}
    void resetLoop(int stream) override { check(streamExists(stream)); }
    void snapParameters(int stream) override { check(streamExists(stream)); }
    int32_t paramTarget(int stream, int param) const override { return slot(targets_, stream, param); }
    float paramCurrent(int stream, int param) const override {
        return static_cast<float>(slot(targets_, stream, param));
    }
    int32_t coarseValue(int stream, int param) const override { return slot(coarse_, stream, param); }
    void setCoarseValue(int stream, int param, int32_t value) override {
        checkValue(param, value);
        slot(coarse_, stream, param) = value;
    }
    void setParameter(int stream, int param, int32_t value, double changeTime) override {
        check(changeTime == midi::kControllerChangeTime || changeTime == midi::kNotePitchChangeTime);
        checkValue(param, value);
        slot(targets_, stream, param) = value;
    }

    bool playing = false;
    bool stopping = false;

  private:
    using Table = std::array<std::array<int32_t, engine::kParamCount>, midi::kStreamSlots>;

    int32_t& slot(Table& table, int stream, int param) const {
        check(streamExists(stream) && param >= 0 && param < engine::kParamCount);
        return table[static_cast<size_t>(stream)][static_cast<size_t>(param)];
    }
    int32_t slot(const Table& table, int stream, int param) const {
        check(streamExists(stream) && param >= 0 && param < engine::kParamCount);
        return table[static_cast<size_t>(stream)][static_cast<size_t>(param)];
    }
    static void checkValue(int param, int32_t value) {
        const auto& row = engine::paramSpec(param);
        const int32_t slack = param == engine::Pitch ? kPitchBendOvershoot : 0;
        check(value >= row.min - slack && value <= row.max + slack);
    }

    uint32_t streams_;
    Table targets_{};
    Table coarse_{};
};

// The main window's side: every message must be one it handles.
void drain(platform::MessageQueue& queue, CheckingTarget& target) {
    while (const auto message = queue.take()) {
        switch (message->number) {
            case platform::kMsgMidiPlayStart:
                target.playing = true;
                target.stopping = false;
                break;
            case platform::kMsgMidiPlayStop:
                target.stopping = target.playing;
                break;
            case platform::kMsgProgramChange:
                check((message->first >= 1400 && message->first <= 1420) ||
                      (message->first >= 1600 && message->first <= 1607));
                break;
            case platform::kMsgMidiMonitor:
                check(message->first >= 0 && message->first <= 0xFFFFFF);
                break;
            default: {
                check(platform::isMoveScrollBarMessage(message->number));
                const int param = static_cast<int>(message->number - platform::kMsgMoveScrollBar);
                check(param < engine::kParamCount);
                const auto& row = engine::paramSpec(param);
                check(message->first >= row.min && message->first <= row.max);
            }
        }
    }
}

constexpr size_t kSettingsBytes = 5 + 4 * midi::kResponseRowCount;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kSettingsBytes)
        return 0;
    midi::MidiControlSettings settings;
    settings.channel = data[0] % 17;
    settings.monitorInput = data[1] & 1;
    settings.moveSliders = (data[1] & 2) != 0;
    settings.relativeFine = (data[1] & 4) != 0;
    settings.setOptions(midi::decodeOptions(data[2] | (uint32_t{data[3]} << 8)));
    for (size_t i = 0; i < midi::kResponseRowCount; ++i) {
        const uint8_t* word = data + 5 + 4 * i;
        settings.rows[i] =
            word[0] | (uint32_t{word[1]} << 8) | (uint32_t{word[2]} << 16) | (uint32_t{word[3]} << 24);
    }
    CheckingTarget target(data[4]);
    platform::MessageQueue queue;
    midi::MidiInputHandler handler(settings, target, queue);

    // The stream arrives in deliveries of up to 7 bytes, as a port may cut it.
    std::span<const uint8_t> rest(data + kSettingsBytes, size - kSettingsBytes);
    while (!rest.empty()) {
        const size_t length = std::min<size_t>(rest.size(), 1 + rest[0] % 7);
        handler.handleBytes(rest.first(length));
        drain(queue, target);
        rest = rest.subspan(length);
    }
    return 0;
}
