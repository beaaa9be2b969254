#include "shell/IoOptionsDialog.h"

#include <cmath>
#include <cstdio>

#include "engine/Engine.h"
#include "output/PlayControl.h"
#include "output/Recorder.h"

namespace shell {
namespace {

constexpr double kMillisecondsPerSecond = 1000.0;
constexpr std::size_t kLabelSize = 64;

// The buffer size of a track bar position: 2^(position - 1) frames.
std::uint32_t framesAt(int position) {
    return 1u << (position - 1);
}

}  // namespace

IoOptionsDialog::IoOptionsDialog(Parts parts, std::function<void(std::chrono::milliseconds)> pause)
    : parts_(parts),
      pause_(std::move(pause)),
      soundBackup_(parts.sound),
      midiBackup_(parts.midi),
      deviceChoices_(output::outputDeviceChoices(parts.audio.getDeviceList(), parts.alsaDevices)) {}

int IoOptionsDialog::selectedDevice() const {
    for (std::size_t i = 0; i < deviceChoices_.size(); ++i) {
        if (deviceChoices_[i].selection == parts_.sound.deviceSelection) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void IoOptionsDialog::chooseDevice(int entry) {
    if (entry < 0 || static_cast<std::size_t>(entry) >= deviceChoices_.size()) {
        return;
    }
    const output::DeviceChoice& choice = deviceChoices_[static_cast<std::size_t>(entry)];
    // A server device that cannot be found again is not taken.
    if (output::isRtDevice(choice.selection) && !parts_.audio.selectDeviceByName(choice.text)) {
        return;
    }
    parts_.sound.deviceName = choice.text;
    parts_.sound.deviceSelection = choice.selection;
}

int IoOptionsDialog::selectedRate() const {
    for (std::size_t i = 0; i < kSampleRates.size(); ++i) {
        if (kSampleRates[i] == parts_.sound.sampleRate) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void IoOptionsDialog::chooseRate(int entry) {
    if (entry >= 0 && static_cast<std::size_t>(entry) < kSampleRates.size()) {
        parts_.sound.sampleRate = kSampleRates[static_cast<std::size_t>(entry)];
    }
}

int IoOptionsDialog::trackPosition() const {
    const std::uint32_t frames = parts_.sound.bufferFrames == 0 ? 1 : parts_.sound.bufferFrames;
    return static_cast<int>(std::floor(std::log2(static_cast<double>(frames)))) + 1;
}

void IoOptionsDialog::moveTrackBar(int position) {
    if (position >= kMinTrackPosition && position <= kMaxTrackPosition) {
        parts_.sound.bufferFrames = framesAt(position);
    }
}

std::string IoOptionsDialog::bufferLabel() const {
    const std::uint32_t frames = parts_.sound.bufferCount * parts_.sound.bufferFrames;
    const double ms = static_cast<double>(frames) * kMillisecondsPerSecond / parts_.sound.sampleRate + 0.5;
    // Computed in double, then taken through single precision.
    const auto shown = static_cast<int>(std::trunc(static_cast<float>(ms)));
    char label[kLabelSize];
    std::snprintf(label, sizeof label, "%d frames, %d ms", static_cast<int>(frames), shown);
    return label;
}

void IoOptionsDialog::testPlayClicked() {
    if (!testPlaying_) {
        startTestPlay();
    } else {
        stopTestPlay();
    }
}

void IoOptionsDialog::testPlayLostFocus() {
    if (testPlaying_) {
        stopTestPlay();
    }
}

void IoOptionsDialog::startTestPlay() {
    pause_(kTestPlayPause);
    // A test never records.
    recordingSuspended_ = parts_.recorder != nullptr && parts_.recorder->recording();
    if (recordingSuspended_) {
        parts_.engine.setRecordingSink(nullptr);
    }
    testPlaying_ = !parts_.play.allocateBuffers().has_value() && parts_.play.startPlay(0);
    parts_.play.updatePlayButton();
    if (!testPlaying_) {
        resumeRecording();
    }
}

void IoOptionsDialog::stopTestPlay() {
    testPlaying_ = false;
    parts_.play.stopPlay();
    resumeRecording();
    pause_(kTestPlayPause);
}

void IoOptionsDialog::resumeRecording() {
    if (recordingSuspended_) {
        parts_.engine.setRecordingSink(parts_.recorder);
        recordingSuspended_ = false;
    }
}

std::vector<std::string> IoOptionsDialog::midiDeviceEntries() const {
    std::vector<std::string> entries{"None"};
    const std::vector<std::string> names = parts_.midiInput.deviceNames();
    entries.insert(entries.end(), names.begin(), names.end());
    return entries;
}

std::string IoOptionsDialog::channelEditLostFocus(const std::string& text) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    const bool whole = !text.empty() && end != nullptr && *end == '\0';
    if (whole && value >= 0 && value <= kMaxMidiChannel) {
        parts_.midi.channel.store(static_cast<std::int32_t>(value));
    }
    return std::to_string(parts_.midi.channel.load());
}

bool IoOptionsDialog::ok(std::string& fatal) {
    testPlayLostFocus();
    if (parts_.midi.selectedDevice.load() != midiBackup_.selectedDevice.load() &&
        !parts_.midiInput.openMidiInput()) {
        return false;
    }
    // The ring and the sounds' rate constants follow the new format.
    if (const auto error = parts_.play.allocateBuffers()) {
        fatal = *error;
    }
    return true;
}

void IoOptionsDialog::cancel() {
    testPlayLostFocus();
    parts_.sound = soundBackup_;
    parts_.midi = midiBackup_;
}

}  // namespace shell
