#include "shell/IoOptionsDialog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "output/Recorder.h"
#include "tests/shell/CoreTestSupport.h"

namespace shell {
namespace {

// Devices of JACK, PulseAudio and ALSA; 22050 Hz, periods of 256 frames; MIDI channel 3, the
// first MIDI device.
class IoOptionsDialogTest : public ::testing::Test, public testing::IoOptionsRig {
  protected:
    IoOptionsDialogTest() : IoOptionsRig(22050) {
        server.devices[output::AudioApiId::kPulse] = {testing::stereoDevice("PulseAudio")};
        alsaDevices.names = {"null"};
        midi.channel.store(3);
        midi.selectedDevice.store(0);
    }
    IoOptionsDialog& dialog() {
        if (!dialog_)
            dialog_ = std::make_unique<IoOptionsDialog>(
                parts(), [this](std::chrono::milliseconds wait) { pauses.push_back(wait.count()); });
        return *dialog_;
    }

    std::vector<long> pauses;
    std::unique_ptr<IoOptionsDialog> dialog_;
};

TEST_F(IoOptionsDialogTest, ShowsServerDevicesThenAlsaTheCurrentChoicesAndTheRingInFramesAndMilliseconds) {
    std::vector<std::string> texts;
    for (const auto& choice : dialog().deviceChoices())
        texts.push_back(choice.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"(JACK0) system", "(PULSE0) PulseAudio", "(ALSA) null"}));
    // 22050 Hz is rate 5, 256 frames track position 9.
    EXPECT_EQ(std::tuple(dialog().selectedDevice(), dialog().selectedRate(), dialog().trackPosition(),
                         dialog().midiDeviceEntries(), dialog().selectedMidiEntry()),
              std::tuple(0, 5, 9, std::vector<std::string>{"None", "Keyboard", "Pads"}, 1));

    // The label gives the ring's frames and milliseconds.
    EXPECT_EQ(dialog().bufferLabel(), "1024 frames, 46 ms");  // 1024 / 22050 s = 46.4 ms
    dialog().chooseRate(3);                                   // 44100
    EXPECT_EQ(dialog().bufferLabel(), "1024 frames, 23 ms");  // 23.2 ms
    dialog().moveTrackBar(15);                                // 1486.03 ms
    EXPECT_EQ(std::tuple(sound.bufferFrames, dialog().bufferLabel()),
              std::tuple(16384u, "65536 frames, 1486 ms"));
    dialog().moveTrackBar(3);
    EXPECT_EQ(sound.bufferFrames, 4u);
    dialog().moveTrackBar(16);  // outside the track bar: ignored
    EXPECT_EQ(sound.bufferFrames, 4u);
}

TEST_F(IoOptionsDialogTest, ChoosingDevicesSetsSelectionAndNameAndTheChannelEditTakesOnly0To16) {
    dialog().chooseDevice(1);
    EXPECT_EQ(std::tuple(sound.deviceSelection, sound.deviceName, audio.currentApi()),
              std::tuple(output::kRtDeviceBase + 1, "(PULSE0) PulseAudio", output::AudioApiId::kPulse));
    dialog().chooseDevice(2);
    EXPECT_EQ(std::tuple(sound.deviceSelection, sound.deviceName), std::tuple(0, "(ALSA) null"));

    for (const auto& [typed, shown] : std::vector<std::pair<std::string, std::string>>{
             {"16", "16"}, {"17", "16"}, {"x", "16"}, {"0", "0"}})
        EXPECT_EQ(dialog().channelEditLostFocus(typed), shown) << typed;
    EXPECT_EQ(dialog().midiChannel(), 0);
}

TEST_F(IoOptionsDialogTest, CancelPutsBackRateDeviceAndMidiChannel) {
    const output::SoundSettings before = sound;
    dialog().chooseRate(0);
    dialog().chooseDevice(2);
    dialog().setStereo(false);
    dialog().channelEditLostFocus("9");
    dialog().chooseMidiDevice(2);
    dialog().cancel();
    EXPECT_EQ(std::tuple(sound, midi.channel.load(), midi.selectedDevice.load(), midiInput.openCalls),
              std::tuple(before, 3, 0, 0));
}

TEST_F(IoOptionsDialogTest, OkOpensAChangedMidiDeviceAndStaysOpenWhenThatFails) {
    std::string fatal;
    dialog().chooseRate(3);
    EXPECT_TRUE(dialog().ok(fatal));  // MIDI device unchanged: not reopened
    EXPECT_EQ(std::pair(midiInput.openCalls, engine.outputFormat().rate), std::pair(0, 44100u));
    dialog().chooseMidiDevice(2);
    midiInput.opens = false;
    EXPECT_FALSE(dialog().ok(fatal));
    EXPECT_EQ(std::pair(midiInput.openCalls, fatal), std::pair(1, std::string()));
}

TEST_F(IoOptionsDialogTest, TestPlayPlaysWithTheEditedSettingsAndStopsOnFocusLoss) {
    server.openError = output::RtError("busy", output::RtError::kDriverError);
    dialog().testPlayClicked();  // a test play that cannot start leaves the button unchecked
    // Only the wait before starting.
    EXPECT_EQ(std::tuple(dialog().testPlayChecked(), control.playing(), pauses),
              std::tuple(false, false, std::vector<long>{200}));

    pauses.clear();
    dialog().chooseRate(3);
    dialog().testPlayClicked();
    EXPECT_EQ(std::tuple(dialog().testPlayChecked(), control.playing(), server.lastOpen().sampleRate),
              std::tuple(true, true, 44100u));
    dialog().testPlayLostFocus();
    EXPECT_EQ(std::tuple(dialog().testPlayChecked(), control.playing(), pauses),
              std::tuple(false, false, std::vector<long>{200, 200}));
}

TEST_F(IoOptionsDialogTest, ATestPlayNeverRecords) {
    const std::filesystem::path folder = std::filesystem::path(FRISSON_TEST_TMP) / "io-options";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "fizz.wav").string();
    output::Recorder recorder(engine.lock());
    std::array<bool, output::kRecordingSlots> streams{};
    streams[0] = true;
    ASSERT_TRUE(recorder.start(path, {22050, 2, output::recordingSampleFormat(16)}, false, streams, 0));
    engine.setRecordingSink(&recorder);
    IoOptionsDialog recordingDialog(parts(&recorder), [](std::chrono::milliseconds) {});
    recordingDialog.testPlayClicked();
    ASSERT_TRUE(control.playing());  // the ring is full: four periods were rendered
    recordingDialog.testPlayClicked();
    EXPECT_TRUE(recorder.recording());
    // Back on after the test: the next period rendered is recorded.
    engine.playStart(false, false);
    engine.renderStep();
    engine.setRecordingSink(nullptr);
    recorder.stop();
    constexpr std::uintmax_t kHeader = 44;
    constexpr std::uintmax_t kOnePeriod = 256 * 2 * 2;  // frames × channels × 16-bit
    EXPECT_EQ(std::filesystem::file_size(path), kHeader + kOnePeriod);
}

}  // namespace
}  // namespace shell
