// Play over play control as the program builds it: the console's play loop, and the I/O options
// dialog that edits the settings play uses.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "output/Recorder.h"
#include "shell/IoOptionsDialog.h"
#include "shell/PlayLoop.h"
#include "tests/audio/TestFiles.h"
#include "tests/shell/CoreTestSupport.h"

namespace shell {
namespace {

using namespace std::chrono_literals;

// Play on a manual sound server whose periods a thread of its own pulls, as a
// device's driver would, while the test's thread runs the message loop.
class PlayLoopTest : public ::testing::Test, public testing::PlayRig {
  protected:
    PlayLoopTest() : PlayRig(44100) { EXPECT_FALSE(control.allocateBuffers().has_value()); }
    ~PlayLoopTest() override {
        driverRunning = false;
        if (driver.joinable())
            driver.join();
    }

    void startDriver() {
        driver = std::thread([this] {
            while (driverRunning)
                if (server.runPeriod().empty())
                    std::this_thread::sleep_for(200us);
        });
    }
    void dispatch(uint32_t message) {
        queue.post(message);
        messages.dispatchWaiting();
    }

    MessageLoop messages{queue, control, nullptr};
    PlayLoop loop{messages, control};
    std::atomic<int> interrupts{0};
    std::atomic<bool> driverRunning{true};
    std::thread driver;
};

// Play ends at the end time or at a first Ctrl-C after a stop request, once the ring drains; a second
// Ctrl-C stops at once.
TEST_F(PlayLoopTest, TheEndTimeOrAFirstInterruptAskForAStopAndASecondInterruptStopsAtOnce) {
    ASSERT_TRUE(control.startPlay(0));
    // Without a driver the ring never drains: only the second Ctrl-C ends play.
    interrupts = 2;
    loop.run(PlayLoop::Clock::now() + 1h, interrupts, {});
    EXPECT_EQ(std::tuple(control.playing(), loop.interrupted(), server.streamState()),
              std::tuple(false, true, output::StreamState::kClosed));

    ASSERT_TRUE(control.startPlay(0));
    startDriver();
    interrupts = 0;
    int ticks = 0;
    PlayLoop timed{messages, control};
    timed.run(PlayLoop::Clock::now() + 50ms, interrupts, [&] { ++ticks; });
    // At the end time a soft stop lets the grains fade out, not cut.
    EXPECT_EQ(std::tuple(control.playing(), timed.interrupted(), engine.anyGrainActive(), ticks > 0),
              std::tuple(false, false, false, true));

    ASSERT_TRUE(control.startPlay(0));
    interrupts = 1;
    PlayLoop again{messages, control};
    again.run(PlayLoop::Clock::now() + 1h, interrupts, {});
    EXPECT_EQ(std::pair(control.playing(), again.interrupted()), std::pair(false, true));
}

// MIDI's play toggles reach the play toggle; the messages the loop does not handle go to the other
// handler, in order. With MIDI the loop outlasts a stop, and play may start again inside it.
TEST_F(PlayLoopTest, MidiPlayTogglesReachThePlayToggleOthersTheOtherHandlerAndTheLoopOutlastsAStop) {
    std::vector<uint32_t> others;
    messages.setOtherMessages([&](const platform::Message& message) { others.push_back(message.number); });
    sound.softStop = false;  // stops end play at once
    engine.setSoftStop(false);
    ASSERT_TRUE(control.startPlay(0));
    server.runPeriod();
    dispatch(platform::kMsgMidiPlayStop);
    EXPECT_FALSE(control.playing());
    queue.post(platform::kMsgProgramChange, 1403, 0);
    queue.post(platform::kMsgMidiMonitor, 0x644890);
    dispatch(platform::kMsgMidiPlayStart);
    EXPECT_TRUE(control.playing());
    EXPECT_EQ(others, (std::vector<uint32_t>{platform::kMsgProgramChange, platform::kMsgMidiMonitor}));

    startDriver();
    dispatch(platform::kMsgMidiPlayStop);
    ASSERT_FALSE(control.playing());
    loop.setRunWhileStopped(true);
    std::thread keyboard([this] {
        std::this_thread::sleep_for(30ms);
        queue.post(platform::kMsgMidiPlayStart);
    });
    int ticksWhilePlaying = 0;
    const auto begin = PlayLoop::Clock::now();
    loop.run(begin + 100ms, interrupts, [&] { ++ticksWhilePlaying; });
    keyboard.join();
    EXPECT_GE(PlayLoop::Clock::now() - begin, 100ms);
    EXPECT_GT(ticksWhilePlaying, 0);  // play started again inside the loop
    EXPECT_EQ(std::pair(control.playing(), loop.interrupted()), std::pair(false, false));
}

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
            dialog_.emplace(parts(),
                            [this](std::chrono::milliseconds wait) { pauses.push_back(wait.count()); });
        return *dialog_;
    }
    std::vector<long> pauses;
    std::optional<IoOptionsDialog> dialog_;
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

// Choices change the live settings; Cancel puts back what the dialog found. OK keeps them, and opens
// the MIDI device only when it changed; when that fails the dialog stays open.
TEST_F(IoOptionsDialogTest, ChoicesSetSelectionAndNameTheChannelEditTakesOnly0To16CancelPutsThemBackOkKeeps) {
    const output::SoundSettings before = sound;
    dialog().chooseDevice(1);
    EXPECT_EQ(std::tuple(sound.deviceSelection, sound.deviceName, audio.currentApi()),
              std::tuple(output::kRtDeviceBase + 1, "(PULSE0) PulseAudio", output::AudioApiId::kPulse));
    dialog().chooseDevice(2);
    EXPECT_EQ(std::tuple(sound.deviceSelection, sound.deviceName), std::tuple(0, "(ALSA) null"));
    for (const auto& [typed, shown] : std::vector<std::pair<std::string, std::string>>{
             {"16", "16"}, {"17", "16"}, {"x", "16"}, {"0", "0"}, {"9", "9"}})
        EXPECT_EQ(dialog().channelEditLostFocus(typed), shown) << typed;
    EXPECT_EQ(dialog().midiChannel(), 9);

    dialog().chooseRate(0);
    dialog().setStereo(false);
    dialog().chooseMidiDevice(2);
    dialog().cancel();
    EXPECT_EQ(std::tuple(sound, midi.channel.load(), midi.selectedDevice.load(), midiInput.openCalls),
              std::tuple(before, 3, 0, 0));

    dialog_.reset();
    std::string fatal;
    dialog().chooseRate(3);
    EXPECT_TRUE(dialog().ok(fatal));  // MIDI device unchanged: not reopened
    EXPECT_EQ(std::pair(midiInput.openCalls, engine.outputFormat().rate), std::pair(0, 44100u));
    dialog().chooseMidiDevice(2);
    midiInput.opens = false;
    EXPECT_FALSE(dialog().ok(fatal));
    EXPECT_EQ(std::pair(midiInput.openCalls, fatal), std::pair(1, std::string()));
}

TEST_F(IoOptionsDialogTest, TestPlayPlaysWithTheEditedSettingsStopsOnFocusLossAndNeverRecords) {
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

    const std::string path = audio::test::scratchDir() + "/fizz.wav";
    output::Recorder recorder(engine.lock());
    const std::array<bool, output::kRecordingSlots> streams{true};
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
    // The header, and one period: frames × channels × 16-bit.
    EXPECT_EQ(std::filesystem::file_size(path), 44u + 256 * 2 * 2);
}

}  // namespace
}  // namespace shell
