#include "shell/SettingsWords.h"

namespace shell {

namespace {

constexpr uint32_t kByteMask = 0xFF;
constexpr uint32_t kNoDevice = 255;
constexpr uint32_t kRtDeviceBit = 1u << 16;
constexpr int kMidiDeviceShift = 8;
constexpr uint32_t kMidiDeviceMask = 0x7F;

constexpr uint32_t kStereoBit = 1u << 0;
constexpr uint32_t kSoftStopBit = 1u << 1;
constexpr uint32_t kResetLoopBit = 1u << 2;
constexpr uint32_t kUnnumberedBit = 1u << 3;
constexpr int kBytesPerSampleShift = 4;
constexpr uint32_t kBytesPerSampleMask = 0x7;
constexpr uint32_t kOneFilePerStreamBit = 1u << 7;
constexpr int kFileNumberShift = 8;
constexpr uint32_t kFileNumberMask = 0x7F;

constexpr int kBufferFramesShift = 8;
constexpr uint32_t kBufferFramesMask = 0x7FFF;
constexpr uint32_t kStoredBufferCount = 4;

}  // namespace

uint32_t encodeSelectedDevices(const StoredSettings& settings) {
    const output::DeviceSelection selection = settings.sound.deviceSelection;
    const uint32_t number =
        selection == output::kDefaultAlsaDevice ? kNoDevice : static_cast<uint32_t>(selection) & kByteMask;
    // The MIDI device is kept to its 7 bits: a device of -1 must not borrow from
    // the output bits (it reads back as 127, which the MIDI start-up check resets).
    const uint32_t midiDevice = static_cast<uint32_t>(settings.midi.selectedDevice) & kMidiDeviceMask;
    return number | (output::isRtDevice(selection) ? kRtDeviceBit : 0) | (midiDevice << kMidiDeviceShift);
}

void decodeSelectedDevices(uint32_t word, bool complete, StoredSettings& settings) {
    const uint32_t low = word & kByteMask;
    const int32_t number = low == kNoDevice ? output::kDefaultAlsaDevice : static_cast<int32_t>(low);
    if (!complete)
        settings.sound.deviceSelection = output::kRtDeviceBase;
    else if (word & kRtDeviceBit)
        settings.sound.deviceSelection = output::kRtDeviceBase + number;
    else
        settings.sound.deviceSelection = number;
    settings.midi.selectedDevice = static_cast<int32_t>((word >> kMidiDeviceShift) & kMidiDeviceMask);
}

uint32_t encodeSoundOptions(const StoredSettings& settings) {
    const auto& sound = settings.sound;
    return (sound.stereo ? kStereoBit : 0) | (sound.softStop ? kSoftStopBit : 0) |
           (sound.resetLoopOnPlay ? kResetLoopBit : 0) | (sound.numberedFiles ? 0 : kUnnumberedBit) |
           ((settings.recording.bytesPerSample & kBytesPerSampleMask) << kBytesPerSampleShift) |
           (sound.oneFilePerStream ? kOneFilePerStreamBit : 0) |
           ((settings.recording.lastFileNumber & kFileNumberMask) << kFileNumberShift);
}

void decodeSoundOptions(uint32_t word, StoredSettings& settings) {
    auto& sound = settings.sound;
    sound.stereo = (word & kStereoBit) != 0;
    sound.softStop = (word & kSoftStopBit) != 0;
    sound.resetLoopOnPlay = (word & kResetLoopBit) != 0;
    sound.numberedFiles = (word & kUnnumberedBit) == 0;
    sound.oneFilePerStream = (word & kOneFilePerStreamBit) != 0;
    const uint32_t bytes = (word >> kBytesPerSampleShift) & kBytesPerSampleMask;
    constexpr uint32_t kMinBytes = 2;
    constexpr uint32_t kMaxBytes = 4;
    settings.recording.bytesPerSample = (bytes >= kMinBytes && bytes <= kMaxBytes) ? bytes : kMinBytes;
    settings.recording.lastFileNumber = (word >> kFileNumberShift) & kFileNumberMask;
}

uint32_t encodeSoundBuffers(const StoredSettings& settings) {
    return (settings.sound.bufferFrames << kBufferFramesShift) + kStoredBufferCount;
}

void decodeSoundBuffers(uint32_t word, StoredSettings& settings) {
    const uint32_t frames = (word >> kBufferFramesShift) & kBufferFramesMask;
    settings.sound.bufferFrames = frames < 1 ? output::kDefaultBufferFrames : frames;
}

}  // namespace shell
